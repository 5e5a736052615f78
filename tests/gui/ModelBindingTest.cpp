#include "model/Grid.h"
#include "model/ListModel.h"
#include "app/gui/GridTableModel.h"
#include "app/gui/ListTableModel.h"
#include "tests/gui/GuiTests.h"
#include "text/CodePage.h"

#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTreeView>
#include <string>
#include <thread>

using namespace fw;

namespace {
TextList header3() { return {gbk("股票名称"), gbk("代码"), gbk("占比")}; }
} // namespace

void ModelBindingTest::workerWritesReachTheView()
{
    Grid grid(11, header3());
    GridTableModel model(grid);
    QTableView view;
    view.setModel(&model);

    std::thread worker([&grid] {
        for (int row = 1; row <= 10; ++row)
            grid.setCell(row, 0, gbk("贵州茅台") + std::to_string(row));
        grid.setCellColour(10, 2, kRed);
        grid.setCellColour(9, 2, kBlue);
    });
    worker.join();

    QTRY_COMPARE(view.model()->index(9, 0).data().toString(), QStringLiteral("贵州茅台10"));
    QCOMPARE(view.model()->index(0, 0).data().toString(), QStringLiteral("贵州茅台1"));
    // 0x00BBGGRR colours; uncoloured cells keep the view's own colour.
    QCOMPARE(view.model()->index(9, 2).data(Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));
    QCOMPARE(view.model()->index(8, 2).data(Qt::ForegroundRole).value<QColor>(), QColor(0, 0x60, 0xC0));
    QVERIFY(!view.model()->index(0, 2).data(Qt::ForegroundRole).isValid());
}

void ModelBindingTest::manyWritesCoalesceIntoOneNotification()
{
    Grid grid(20001, header3());
    GridTableModel model(grid);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    std::thread worker([&grid] {
        for (int row = 1; row <= 20000; ++row)
            grid.setCell(row, 1, std::to_string(row));
    });
    worker.join();

    QTRY_COMPARE(changed.count(), 1);
    const auto args = changed.first();
    QCOMPARE(args[0].toModelIndex().row(), 0);
    QCOMPARE(args[1].toModelIndex().row(), 19999);
    QCOMPARE(model.index(19999, 1).data().toString(), QStringLiteral("20000"));
}

void ModelBindingTest::rowCountChangesFollowTheGrid()
{
    Grid grid(21, header3());
    GridTableModel model(grid);
    QCOMPARE(model.rowCount(), 20);

    std::thread([&grid] {
        grid.setRowCount(141);
        grid.setCell(140, 0, "last");
    }).join();
    QTRY_COMPARE(model.rowCount(), 140);
    QCOMPARE(model.index(139, 0).data().toString(), QStringLiteral("last"));

    std::thread([&grid] { grid.setRowCount(3); }).join();
    QTRY_COMPARE(model.rowCount(), 2);
    // A view reading past the new end between change and notification gets empty text.
    QCOMPARE(model.index(1, 0).data().toString(), QString());
}

void ModelBindingTest::listModelFollowsItsListAndSelection()
{
    ListModel list({{gbk("名称"), 180}, {"ID", 0}});
    ListTableModel model(list);
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("名称"));

    std::thread([&list] {
        for (int i = 0; i < 10; ++i)
            list.addRow({gbk("易方达蓝筹精选"), "00" + std::to_string(i)});
    }).join();
    QTRY_COMPARE(model.rowCount(), 10);
    QCOMPARE(model.index(3, 0).data().toString(), QStringLiteral("易方达蓝筹精选"));
    QCOMPARE(model.index(3, 1).data().toString(), QStringLiteral("003"));
    // A short row reads as empty text, not past its end.
    list.addRow({"only"});
    model.flushChanges();
    QCOMPARE(model.index(10, 1).data().toString(), QString());

    // Moving the current row or renumbering keeps the view's rows (no reset).
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy applied(&model, &ListTableModel::changesApplied);
    list.setCurrentRow(4);
    list.setText(4, 0, "renamed");
    QTRY_VERIFY(applied.count() >= 1);
    QCOMPARE(resets.count(), 0);
    QCOMPARE(model.index(4, 0).data().toString(), QStringLiteral("renamed"));

    std::thread([&list] { list.clear(); }).join();
    QTRY_COMPARE(model.rowCount(), 0);
    QCOMPARE(resets.count(), 1);
}
