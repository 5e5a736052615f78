#include "net/LoadToken.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <ostream>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace fw {
namespace {

// ---- which ticket is current after a sequence of begins, cancels and finishes

enum class Op { Begin, TryBegin, Finish, Cancel, BeginOnOtherToken };

struct Step {
    Op op;
    int ticket = -1;     // which of the row's tickets the step takes or finishes
    bool result = true;  // TryBegin: a ticket was given; Finish: the load was still current
};

struct TicketState {
    bool taken;     // the ticket belongs to a load (operator bool)
    bool cancelled; // what a transfer of its load asks
    bool current;   // isCurrent, and whether a write through it runs
};

struct TokenCase {
    std::string name;
    std::vector<Step> steps;
    std::vector<TicketState> tickets; // by the steps' ticket numbers
    bool running;                     // a load is under way after the steps
};

void PrintTo(const TokenCase& c, std::ostream* os) { *os << c.name; }

class LoadTokenTable : public ::testing::TestWithParam<TokenCase> {};

TEST_P(LoadTokenTable, CurrentTicketAfterTheSteps)
{
    const TokenCase& c = GetParam();
    LoadToken token, other;
    std::vector<LoadTicket> tickets(c.tickets.size());
    for (size_t i = 0; i < c.steps.size(); ++i) {
        const Step& s = c.steps[i];
        SCOPED_TRACE("step " + std::to_string(i));
        switch (s.op) {
        case Op::Begin:
            tickets[size_t(s.ticket)] = token.begin();
            break;
        case Op::TryBegin:
            tickets[size_t(s.ticket)] = token.tryBegin();
            EXPECT_EQ(bool(tickets[size_t(s.ticket)]), s.result);
            break;
        case Op::Finish: {
            bool lastRan = false;
            EXPECT_EQ(token.finish(tickets[size_t(s.ticket)], [&] { lastRan = true; }), s.result);
            EXPECT_EQ(lastRan, s.result);
            break;
        }
        case Op::Cancel:
            token.cancel();
            break;
        case Op::BeginOnOtherToken:
            tickets[size_t(s.ticket)] = other.begin();
            break;
        }
    }
    for (size_t i = 0; i < c.tickets.size(); ++i) {
        SCOPED_TRACE("ticket " + std::to_string(i));
        const TicketState& want = c.tickets[i];
        EXPECT_EQ(bool(tickets[i]), want.taken);
        EXPECT_EQ(tickets[i].cancelled(), want.cancelled);
        EXPECT_EQ(token.isCurrent(tickets[i]), want.current);
        bool wrote = false;
        EXPECT_EQ(token.write(tickets[i], [&] { wrote = true; }), want.current);
        EXPECT_EQ(wrote, want.current);
    }
    EXPECT_EQ(token.running(), c.running);
}

// A ticket's three states: {taken, cancelled, current}.
constexpr TicketState kCurrent {true, false, true};
constexpr TicketState kEnded {true, true, false};
constexpr TicketState kNone {false, false, false}; // a default ticket: no load

INSTANTIATE_TEST_SUITE_P(
    Rules, LoadTokenTable,
    ::testing::Values(
        // The newest wins.
        TokenCase {"NewerBeginEndsTheOlder", {{Op::Begin, 0}, {Op::Begin, 1}}, {kEnded, kCurrent}, true},
        TokenCase {"CancelEndsEveryLoad",
                   {{Op::Begin, 0}, {Op::Begin, 1}, {Op::Begin, 2}, {Op::Cancel}},
                   {kEnded, kEnded, kEnded},
                   false},
        TokenCase {"BeginAfterCancelIsCurrent", {{Op::Begin, 0}, {Op::Cancel}, {Op::Begin, 1}}, {kEnded, kCurrent}, true},
        // The other token's load is under way, this token's is not its.
        TokenCase {"AnotherTokensTicketIsNeverCurrent", {{Op::BeginOnOtherToken, 0}}, {{true, false, false}}, false},
        TokenCase {"DefaultTicketIsNeverCancelledNorCurrent", {}, {kNone}, false},
        // Refuse while one runs.
        TokenCase {"TryBeginWhileOneRunsGivesNoTicket",
                   {{Op::TryBegin, 0}, {Op::TryBegin, 1, false}},
                   {kCurrent, kNone},
                   true},
        TokenCase {"TryBeginWhileABegunLoadRunsGivesNoTicket",
                   {{Op::Begin, 0}, {Op::TryBegin, 1, false}},
                   {kCurrent, kNone},
                   true},
        TokenCase {"FinishLetsTheNextTryBeginStart",
                   {{Op::TryBegin, 0}, {Op::Finish, 0}, {Op::TryBegin, 1}},
                   {kEnded, kCurrent},
                   true},
        TokenCase {"FinishedLoadIsNoLongerRunning", {{Op::TryBegin, 0}, {Op::Finish, 0}}, {kEnded}, false},
        TokenCase {"CancelLetsTheNextTryBeginStart",
                   {{Op::TryBegin, 0}, {Op::Cancel}, {Op::TryBegin, 1}},
                   {kEnded, kCurrent},
                   true},
        TokenCase {"FinishesOnlyOnce", {{Op::TryBegin, 0}, {Op::Finish, 0}, {Op::Finish, 0, false}}, {kEnded}, false},
        TokenCase {"FinishOfASupersededLoadLeavesTheNewerRunning",
                   {{Op::Begin, 0}, {Op::Begin, 1}, {Op::Finish, 0, false}},
                   {kEnded, kCurrent},
                   true},
        TokenCase {"FinishOfACancelledLoadDoesNotRun",
                   {{Op::TryBegin, 0}, {Op::Cancel}, {Op::Finish, 0, false}},
                   {kEnded},
                   false},
        TokenCase {"BeginOvertakesARefusingLoad", {{Op::TryBegin, 0}, {Op::Begin, 1}}, {kEnded, kCurrent}, true}),
    [](const ::testing::TestParamInfo<TokenCase>& info) { return info.param.name; });

// ---- a write runs under the lock that ends its load

// Once a call that ends the load under way returns, the older load's write
// that was already running has returned too (nothing of it lands after), and
// its later writes are refused. The write stalls until the ending call has
// been waiting for a while: without the lock the call returns at once, while
// the write is still stalled.
struct EndingCall {
    std::string name;
    std::function<void(LoadToken&, const LoadTicket& older)> end;
};

void PrintTo(const EndingCall& c, std::ostream* os) { *os << c.name; }

class LoadTokenLock : public ::testing::TestWithParam<EndingCall> {};

TEST_P(LoadTokenLock, EndingCallWaitsForAWriteUnderWay)
{
    using namespace std::chrono_literals;
    LoadToken token;
    const LoadTicket older = token.tryBegin();
    std::promise<void> inside;
    std::atomic<bool> writeEnded {false};
    std::thread worker([&] {
        token.write(older, [&] {
            inside.set_value();
            std::this_thread::sleep_for(300ms);
            writeEnded = true;
        });
    });
    inside.get_future().wait();
    GetParam().end(token, older);
    const bool endedFirst = writeEnded.load();
    worker.join();
    EXPECT_TRUE(endedFirst);
    EXPECT_FALSE(token.write(older, [] { ADD_FAILURE() << "an ended load wrote"; }));
}

// The last write of a finishing load (a refresh's `done`) is waited for in the same way.
TEST(LoadTokenLock, CancelWaitsForTheLastWriteOfAFinishingLoad)
{
    using namespace std::chrono_literals;
    LoadToken token;
    const LoadTicket load = token.tryBegin();
    std::promise<void> inside;
    std::atomic<bool> lastEnded {false};
    std::thread worker([&] {
        token.finish(load, [&] {
            inside.set_value();
            std::this_thread::sleep_for(300ms);
            lastEnded = true;
        });
    });
    inside.get_future().wait();
    EXPECT_FALSE(token.running()); // finished before its last write runs
    token.cancel();
    const bool endedFirst = lastEnded.load();
    worker.join();
    EXPECT_TRUE(endedFirst);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, LoadTokenLock,
    ::testing::Values(EndingCall {"Begin", [](LoadToken& t, const LoadTicket&) { t.begin(); }},
                      EndingCall {"Cancel", [](LoadToken& t, const LoadTicket&) { t.cancel(); }},
                      EndingCall {"Finish", [](LoadToken& t, const LoadTicket& older) { t.finish(older); }}),
    [](const ::testing::TestParamInfo<EndingCall>& info) { return info.param.name; });

} // namespace
} // namespace fw
