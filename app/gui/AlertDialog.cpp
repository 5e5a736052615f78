#include "app/gui/AlertDialog.h"

#include "funds/AlertRules.h"
#include "funds/LedgerCsv.h"
#include "funds/LedgerStart.h"
#include "store/LedgerDatabase.h"
#include "text/NumberText.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <ctime>

namespace fw {

using namespace fw::ledger;

namespace {

const AlertSubject kSubjects[] = {AlertSubject::Fund, AlertSubject::Stock, AlertSubject::Holding,
                                  AlertSubject::Portfolio};

// The column `wide` takes the room left; the others fit their texts.
QTableWidget* makeTable(const QStringList& header, int wide)
{
    auto* table = new QTableWidget(0, int(header.size()));
    table->setHorizontalHeaderLabels(header);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(wide, QHeaderView::Stretch);
    return table;
}

void setRow(QTableWidget* table, int row, const QStringList& cells)
{
    for (int c = 0; c < cells.size(); ++c)
        table->setItem(row, c, new QTableWidgetItem(cells[c]));
}

QString q(const std::string& utf8) { return QString::fromStdString(utf8); }

} // namespace

AlertDialog::AlertDialog(std::string dataDir, const ConfigFile& config, QWidget* parent)
    : QDialog(parent), m_dataDir(std::move(dataDir)), m_config(config)
{
    setWindowTitle(QStringLiteral("提醒"));
    resize(720, 420);
    m_tabs = new QTabWidget(this);
    auto* rulesPage = new QWidget;
    m_rules = makeTable({QStringLiteral("编号"), QStringLiteral("规则"), QStringLiteral("状态"),
                         QStringLiteral("上次触发")}, 1);
    m_subject = new QComboBox;
    m_subject->addItems({QStringLiteral("基金"), QStringLiteral("股票"), QStringLiteral("持仓"), QStringLiteral("组合")});
    m_code = new QLineEdit;
    m_code->setPlaceholderText(QStringLiteral("代码"));
    m_condition = new QComboBox;
    for (const AlertConditionChoice& c : alertConditionChoices())
        m_condition->addItem(q(c.label));
    m_value = new QLineEdit;
    m_value->setPlaceholderText(QStringLiteral("阈值"));
    m_window = new QLineEdit;
    m_window->setPlaceholderText(QStringLiteral("时段 14:40-14:55"));
    m_add = new QPushButton(QStringLiteral("添加"));
    m_edit = new QPushButton(QStringLiteral("修改"));
    m_switch = new QPushButton(QStringLiteral("停用/启用"));
    m_remove = new QPushButton(QStringLiteral("删除"));
    m_problem = new QLabel;
    auto* form = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*> {m_subject, m_code, m_condition, m_value, m_window})
        form->addWidget(w);
    auto* buttons = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*> {m_add, m_edit, m_switch, m_remove})
        buttons->addWidget(w);
    buttons->addStretch();
    auto* rulesLayout = new QVBoxLayout(rulesPage);
    rulesLayout->addWidget(m_rules);
    rulesLayout->addLayout(form);
    rulesLayout->addLayout(buttons);
    rulesLayout->addWidget(m_problem);
    m_log = makeTable({QStringLiteral("日期"), QStringLiteral("时间"), QStringLiteral("规则"), QStringLiteral("提醒")}, 3);
    m_tabs->addTab(rulesPage, QStringLiteral("规则"));
    m_tabs->addTab(m_log, QStringLiteral("记录"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);

    connect(m_add, &QPushButton::clicked, this, [this] { addOrEdit(false); });
    connect(m_edit, &QPushButton::clicked, this, [this] { addOrEdit(true); });
    connect(m_switch, &QPushButton::clicked, this, &AlertDialog::switchSelected);
    connect(m_remove, &QPushButton::clicked, this, &AlertDialog::removeSelected);
    connect(m_rules, &QTableWidget::itemSelectionChanged, this, &AlertDialog::fillForm);
    reload();
}

void AlertDialog::reload()
{
    LedgerDatabase db;
    m_rules->setRowCount(0);
    m_log->setRowCount(0);
    if (!openLedger(db, m_dataDir, m_config, chinaTime(std::time(nullptr)).day)) {
        m_problem->setText(QStringLiteral("持仓数据库无法打开：") + q(db.failure()));
        return;
    }
    const std::vector<AlertRule> rules = db.alertRules();
    m_rules->setRowCount(int(rules.size()));
    for (size_t i = 0; i < rules.size(); ++i) {
        const AlertRule& r = rules[i];
        const QString state = !r.enabled ? QStringLiteral("已关闭")
            : r.state.armed              ? QStringLiteral("待命")
                                         : QStringLiteral("已触发，待回落");
        setRow(m_rules, int(i),
               {QString::number(r.id), q(alertRuleText(r)), state,
                r.state.firedDay ? q(dayText(r.state.firedDay)) : QStringLiteral("--")});
    }
    const std::vector<AlertFiring> log = db.alertLog();
    m_log->setRowCount(int(log.size()));
    for (size_t i = 0; i < log.size(); ++i) {
        const AlertFiring& f = log[i];
        setRow(m_log, int(i),
               {q(dayText(f.day)), q(minuteText(f.minute)), f.ruleId ? QString::number(f.ruleId) : QStringLiteral("--"),
                q(f.message)});
    }
}

int64_t AlertDialog::selectedId() const
{
    const int row = m_rules->currentRow();
    if (row < 0 || !m_rules->item(row, 0) || m_rules->selectedItems().isEmpty())
        return 0;
    return m_rules->item(row, 0)->text().toLongLong();
}

void AlertDialog::fillForm()
{
    const int64_t id = selectedId();
    if (!id)
        return;
    LedgerDatabase db;
    if (!openLedger(db, m_dataDir, m_config, chinaTime(std::time(nullptr)).day))
        return;
    const auto rule = db.alertRule(id);
    if (!rule)
        return;
    for (int i = 0; i < 4; ++i)
        if (kSubjects[i] == rule->subject)
            m_subject->setCurrentIndex(i);
    m_code->setText(q(rule->code));
    const auto& choices = alertConditionChoices();
    for (size_t i = 0; i < choices.size(); ++i)
        if (choices[i].condition == rule->condition && choices[i].above == rule->above)
            m_condition->setCurrentIndex(int(i));
    m_value->setText(q(shortestText(unitsText(rule->threshold, 4))));
    m_window->setText(q(alertWindowText(*rule)));
}

void AlertDialog::addOrEdit(bool edit)
{
    AlertRule rule;
    if (edit && !(rule.id = selectedId())) {
        m_problem->setText(QStringLiteral("先选一条规则"));
        return;
    }
    rule.subject = kSubjects[std::max(0, m_subject->currentIndex())];
    rule.code = rule.subject == AlertSubject::Portfolio ? std::string() : m_code->text().trimmed().toStdString();
    const AlertConditionChoice& choice = alertConditionChoices()[size_t(std::max(0, m_condition->currentIndex()))];
    rule.condition = choice.condition;
    rule.above = choice.above;
    std::string problem = alertRuleProblem(rule);
    const auto threshold = parseAlertFigure(m_value->text().trimmed().toStdString());
    if (problem.empty() && !threshold)
        problem = "阈值须为最多四位小数的数";
    else if (threshold)
        rule.threshold = *threshold;
    const std::string window = m_window->text().trimmed().toStdString();
    if (problem.empty() && !window.empty() && !parseAlertWindow(window, rule.windowStart, rule.windowEnd))
        problem = "时段须为 HH:MM-HH:MM";
    if (!problem.empty()) {
        m_problem->setText(q(problem));
        return;
    }
    LedgerDatabase db;
    bool stored = openLedger(db, m_dataDir, m_config, chinaTime(std::time(nullptr)).day);
    if (stored && edit) {
        const auto old = db.alertRule(rule.id);
        rule.enabled = old ? old->enabled : true;
        stored = db.updateAlertRule(rule);
    } else if (stored) {
        stored = db.addAlertRule(rule).has_value();
    }
    m_problem->setText(stored ? QString() : QStringLiteral("提醒规则无法保存：") + q(db.failure()));
    reload();
}

void AlertDialog::switchSelected()
{
    const int64_t id = selectedId();
    if (!id)
        return;
    LedgerDatabase db;
    const bool open = openLedger(db, m_dataDir, m_config, chinaTime(std::time(nullptr)).day);
    const auto rule = open ? db.alertRule(id) : std::nullopt;
    if (!rule || !db.setAlertRuleEnabled(id, !rule->enabled))
        m_problem->setText(QStringLiteral("提醒规则无法保存：") + q(db.failure()));
    reload();
}

void AlertDialog::removeSelected()
{
    const int64_t id = selectedId();
    if (!id)
        return;
    LedgerDatabase db;
    if (!openLedger(db, m_dataDir, m_config, chinaTime(std::time(nullptr)).day) || !db.removeAlertRule(id))
        m_problem->setText(QStringLiteral("提醒规则无法删除：") + q(db.failure()));
    reload();
}

} // namespace fw
