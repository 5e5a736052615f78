#pragma once
// The step window: account, password and target step count of the step
// service, the usage hint and 保存配置. A dialog without owner, run modal by
// the main window. It shows the step controls of the View and forwards its
// events to the MainController; it holds no logic of its own.
#include "app/MainController.h"
#include <QDialog>

namespace fw {

class StepWindow : public QDialog {
    Q_OBJECT
public:
    explicit StepWindow(MainController& controller);
    ~StepWindow() override;

    QWidget* control(Control control) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyChange(const ViewChange& change);
    // Characters a user may type into the box; 0 for no limit.
    static int typedLimit(Control control);

    MainController& m_controller;
    MainModels& m_models;
    QWidget* m_usage = nullptr;
    int m_viewListener = 0;
};

} // namespace fw
