#pragma once
// The sector window: a caption line, four period buttons and one coloured
// tile per theme sector, cloned from a hidden template label. It shows the
// SectorTiles model and the sector controls of the View and forwards clicks
// to the MainController; it holds no logic of its own.
#include "app/MainController.h"
#include <QWidget>
#include <vector>

class QLabel;
class QPushButton;

namespace fw {

class SectorWindow : public QWidget {
    Q_OBJECT
public:
    explicit SectorWindow(MainController& controller);
    ~SectorWindow() override;

    QWidget* control(Control control) const;
    const std::vector<QLabel*>& tiles() const { return m_tiles; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void rebuildTiles();
    void applyTile(int tile);
    void applyCaption();

    MainController& m_controller;
    MainModels& m_models;
    QLabel* m_caption = nullptr;
    QLabel* m_template = nullptr;
    std::vector<QPushButton*> m_buttons;
    std::vector<QLabel*> m_tiles;
    int m_tilesListener = 0;
    int m_viewListener = 0;
};

} // namespace fw
