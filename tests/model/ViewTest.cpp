// The View and the listener registry under threads: a window removing its
// message handler or listener is never called afterwards, and a listener may
// write to the model it listens to.
#include "model/Grid.h"
#include "model/MainModels.h"
#include "model/View.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace fw {
namespace {

using namespace std::chrono_literals;

TEST(ViewListeners, AListenerMayWriteToItsOwnModelAndRemoveItself)
{
    View view;
    int calls = 0;
    int id = 0;
    id = view.addListener([&](const ViewChange& change) {
        ++calls;
        if (change.kind == ViewChange::Title && view.title() == "first") {
            view.setCaption(Control::Status, "echo"); // nested notification on this thread
            view.removeListener(id);
        }
    });
    view.setTitle("first");
    EXPECT_EQ(calls, 2); // the title, then the nested caption
    EXPECT_EQ(view.caption(Control::Status), "echo");
    view.setTitle("second");
    EXPECT_EQ(calls, 2);

    Grid grid(3, {"a", "b"});
    grid.addListener([&grid](const GridChange& change) {
        if (change.kind == GridChange::Cells && grid.cell(1, 0) == "x" && grid.cell(1, 1) != "y")
            grid.setCell(1, 1, "y");
    });
    grid.setCell(1, 0, "x");
    EXPECT_EQ(grid.cell(1, 1), "y");
}

TEST(ViewListeners, RemovingWaitsForACallRunningOnAnotherThread)
{
    View view;
    std::atomic<bool> inside {false}, released {false}, calledAfterRemoval {false}, removed {false};
    const int id = view.addListener([&](const ViewChange&) {
        if (removed)
            calledAfterRemoval = true;
        inside = true;
        while (!released)
            std::this_thread::sleep_for(1ms);
    });
    std::thread worker([&] { view.setTitle("from a worker"); });
    while (!inside)
        std::this_thread::sleep_for(1ms);
    std::thread remover([&] {
        view.removeListener(id);
        removed = true;
    });
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(removed); // still inside the worker's call
    released = true;
    remover.join();
    worker.join();
    EXPECT_TRUE(removed);
    view.setTitle("after");
    EXPECT_FALSE(calledAfterRemoval);
}

TEST(ViewMessages, ReplacingTheHandlerWaitsForWorkersInsideTheOldOne)
{
    View view;
    std::atomic<bool> inside {false}, released {false}, replaced {false};
    std::atomic<int> oldCalls {0}, newCalls {0};
    view.setMessageHandler([&](const Text&) {
        ++oldCalls;
        inside = true;
        while (!released)
            std::this_thread::sleep_for(1ms);
    });
    std::thread worker([&] { view.messageBox(gbk("板块信息加载失败，请重试")); });
    while (!inside)
        std::this_thread::sleep_for(1ms);
    std::thread window([&] {
        view.setMessageHandler([&](const Text&) { ++newCalls; });
        replaced = true;
    });
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(replaced);
    released = true;
    window.join();
    worker.join();
    view.messageBox("x");
    EXPECT_EQ(oldCalls, 1);
    EXPECT_EQ(newCalls, 1);
    EXPECT_EQ(view.messages().size(), 2u);
}

TEST(ViewMessages, AHandlerMayRemoveItselfOnItsOwnThread)
{
    View view;
    int calls = 0;
    view.setMessageHandler([&](const Text&) {
        ++calls;
        view.setMessageHandler({}); // a window closing from inside its own box
    });
    view.messageBox("a");
    view.messageBox("b");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(view.messages().size(), 2u);
}

TEST(ViewWindows, SecondaryWindowsStartClosedAndTheMainOneStaysShown)
{
    View view;
    std::vector<Window> told;
    view.addListener([&](const ViewChange& change) {
        if (change.kind == ViewChange::WindowOpen)
            told.push_back(change.window);
    });
    EXPECT_EQ(view.windowState(Window::Main), WindowState::Shown);
    EXPECT_EQ(view.windowState(Window::Sector), WindowState::Closed);
    EXPECT_EQ(view.windowState(Window::Step), WindowState::Closed);
    view.setWindowState(Window::Sector, WindowState::Shown);
    view.setWindowState(Window::Main, WindowState::Closed);
    EXPECT_EQ(view.windowState(Window::Sector), WindowState::Shown);
    EXPECT_EQ(view.windowState(Window::Main), WindowState::Shown);
    EXPECT_EQ(told, std::vector<Window>{Window::Sector});
}

TEST(Controls, EveryRoleHasADesignedNameUniqueWithinItsWindow)
{
    for (int a = 0; a < kControlCount; ++a) {
        const ControlInfo& first = controlInfo(Control(a));
        ASSERT_NE(first.designedName, nullptr);
        EXPECT_NE(std::string(first.designedName), "");
        for (int b = a + 1; b < kControlCount; ++b) {
            const ControlInfo& second = controlInfo(Control(b));
            if (first.window == second.window) {
                EXPECT_NE(std::string(first.designedName), second.designedName) << a << " " << b;
            }
        }
    }
    EXPECT_STREQ(designedName(Control::Status), "标签6");
    EXPECT_STREQ(designedName(Control::SectorButton), "选择板块钮");
    EXPECT_STREQ(designedName(Control::StepUsage), "标签6");
    EXPECT_EQ(windowOf(Control::StepUsage), Window::Step);
}

TEST(Controls, BoardsAndPeriodsCountFromOneAndOutOfRangeFallsToTheFirst)
{
    const struct { int n; Control board, period; } cases[] = {
        {1, Control::BoardDayGain, Control::Period1},   {2, Control::BoardMonthGain, Control::Period2},
        {3, Control::BoardDayLoss, Control::Period3},   {4, Control::BoardMonthLoss, Control::Period4},
        {5, Control::BoardDayGain, Control::Period5},   {7, Control::BoardDayGain, Control::Period7},
        {8, Control::BoardDayGain, Control::Period1},   {0, Control::BoardDayGain, Control::Period1},
        {-1, Control::BoardDayGain, Control::Period1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(boardControl(c.n), c.board) << c.n;
        EXPECT_EQ(periodControl(c.n), c.period) << c.n;
    }
}

} // namespace
} // namespace fw
