#pragma once
// The 提醒 dialog: the alert rules kept in fundwatch.db, to add, edit, switch
// off and remove, and the log of their firings. Each change is one write of
// the database, read again afterwards.
#include "store/ConfigFile.h"

#include <QDialog>

#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTabWidget;

namespace fw {

class AlertDialog : public QDialog {
    Q_OBJECT
public:
    AlertDialog(std::string dataDir, const ConfigFile& config, QWidget* parent = nullptr);

    // Reads the rules and the log again.
    void reload();

    QTableWidget* rulesTable() const { return m_rules; }
    QTableWidget* logTable() const { return m_log; }
    QComboBox* subjectBox() const { return m_subject; }
    QLineEdit* codeEdit() const { return m_code; }
    QComboBox* conditionBox() const { return m_condition; }
    QLineEdit* valueEdit() const { return m_value; }
    QLineEdit* windowEdit() const { return m_window; }
    QPushButton* addButton() const { return m_add; }
    QPushButton* editButton() const { return m_edit; }
    QPushButton* switchButton() const { return m_switch; }
    QPushButton* removeButton() const { return m_remove; }
    QLabel* problemLabel() const { return m_problem; }

private:
    void addOrEdit(bool edit);
    void switchSelected();
    void removeSelected();
    void fillForm();
    int64_t selectedId() const;

    std::string m_dataDir;
    const ConfigFile& m_config;
    QTabWidget* m_tabs = nullptr;
    QTableWidget* m_rules = nullptr;
    QTableWidget* m_log = nullptr;
    QComboBox* m_subject = nullptr;
    QLineEdit* m_code = nullptr;
    QComboBox* m_condition = nullptr;
    QLineEdit* m_value = nullptr;
    QLineEdit* m_window = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_edit = nullptr;
    QPushButton* m_switch = nullptr;
    QPushButton* m_remove = nullptr;
    QLabel* m_problem = nullptr;
};

} // namespace fw
