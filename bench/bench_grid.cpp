// The fund grid's Qt binding with 20,000 rows: filling through the model,
// reading a visible page, a full scroll, and painting one page. Runs offscreen.
#include "model/MainModels.h"
#include "app/gui/GridTableModel.h"
#include "text/CodePage.h"

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <string>

using namespace fw;

namespace {

constexpr int kRows = 20000;

// One fund row as the ranking loaders write it: names in GBK, figures in ASCII.
void fillRow(Grid& grid, int row)
{
    static const Text name = gbk("易方达蓝筹精选混合"), type = gbk("混合型");
    TextList texts{name, std::to_string(100000 + row), type, "2024-05-17"};
    for (int c = 4; c <= 12; ++c)
        texts.push_back(std::to_string((row * 7 + c) % 200 - 100) + ".12%");
    for (int c = 13; c <= 16; ++c)
        texts.push_back("1.23");
    grid.setRow(row, 0, texts);
    grid.setColourRange(row, 4, row, 12, row % 2 ? kRed : kGreen);
}

struct FilledGrid {
    Grid grid{kRows + 1, fundGridHeader()};
    GridTableModel model{grid};
    FilledGrid()
    {
        for (int row = 1; row <= kRows; ++row)
            fillRow(grid, row);
        model.flushChanges();
    }
};

FilledGrid& filled()
{
    static FilledGrid f;
    return f;
}

void BM_FillThroughModel(benchmark::State& state)
{
    for (auto _ : state) {
        Grid grid(21, fundGridHeader());
        GridTableModel model(grid);
        grid.setRowCount(kRows + 1);
        for (int row = 1; row <= kRows; ++row)
            fillRow(grid, row);
        model.flushChanges();
        benchmark::DoNotOptimize(model.rowCount());
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_FillThroughModel)->Unit(benchmark::kMillisecond);

// What one repaint of the 408-pixel-high grid asks: ~17 rows of 17 columns.
void BM_VisiblePageData(benchmark::State& state)
{
    GridTableModel& model = filled().model;
    int top = 0;
    for (auto _ : state) {
        for (int r = top; r < top + 17; ++r)
            for (int c = 0; c < 17; ++c) {
                benchmark::DoNotOptimize(model.data(model.index(r, c), Qt::DisplayRole));
                benchmark::DoNotOptimize(model.data(model.index(r, c), Qt::ForegroundRole));
            }
        top = (top + 997) % (kRows - 17);
    }
    state.SetItemsProcessed(state.iterations() * 17 * 17);
}
BENCHMARK(BM_VisiblePageData)->Unit(benchmark::kMicrosecond);

// Every cell of every row once, as a scroll from top to bottom reads them.
void BM_FullScrollData(benchmark::State& state)
{
    GridTableModel& model = filled().model;
    for (auto _ : state) {
        for (int r = 0; r < kRows; ++r)
            for (int c = 0; c < 17; ++c) {
                benchmark::DoNotOptimize(model.data(model.index(r, c), Qt::DisplayRole));
                benchmark::DoNotOptimize(model.data(model.index(r, c), Qt::ForegroundRole));
            }
    }
    state.SetItemsProcessed(state.iterations() * kRows * 17);
}
BENCHMARK(BM_FullScrollData)->Unit(benchmark::kMillisecond);

// A real view of the designed size painting one page after a scroll.
void BM_PaintPageAfterScroll(benchmark::State& state)
{
    GridTableModel& model = filled().model;
    QTableView view;
    view.setModel(&model);
    view.verticalHeader()->hide();
    view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view.verticalHeader()->setDefaultSectionSize(24);
    view.resize(1368, 408);
    view.show();
    QScrollBar* bar = view.verticalScrollBar();
    int value = 0;
    for (auto _ : state) {
        value = (value + 4999) % bar->maximum();
        bar->setValue(value);
        benchmark::DoNotOptimize(view.viewport()->grab());
    }
}
BENCHMARK(BM_PaintPageAfterScroll)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
