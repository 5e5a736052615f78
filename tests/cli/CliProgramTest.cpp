// The built fundwatch-cli in a child process: what a script sees in a pipe,
// the progress bar on a terminal, Ctrl-C.
#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <regex>
#include <pty.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fw {
namespace {

struct Child {
    int status = -1; // exit status, or 128 + signal
    std::string out, err;
};

// Runs the program with its output in pipes (standard error on a terminal
// when asked); `whileRunning` gets the child's id once it started.
Child runProgram(const std::vector<std::string>& args, bool errOnTerminal = false,
                 const std::function<void(pid_t)>& whileRunning = {})
{
    int out[2], err[2];
    if (::pipe(out) != 0)
        return {};
    if (errOnTerminal) {
        if (::openpty(&err[0], &err[1], nullptr, nullptr, nullptr) != 0)
            return {};
    } else if (::pipe(err) != 0) {
        return {};
    }
    std::vector<char*> argv {const_cast<char*>(CLI_PROGRAM)};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::close(out[0]), ::close(err[0]), ::close(out[1]), ::close(err[1]);
        ::execv(CLI_PROGRAM, argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    if (whileRunning)
        whileRunning(pid);
    Child child;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&child.out, &child.err};
    for (int open = 2; open > 0;) {
        if (::poll(fds, 2, 20000) <= 0)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, size_t(n));
            } else { // end of file (a terminal reports EIO once the child is gone)
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    child.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    return child;
}

class CliProgram : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_world = new test::CliWorld(3000);
        s_world->service->addFault({sample::Fault::Latency, "FundGuideapi", 15});
    }
    static void TearDownTestSuite() { delete s_world; }

    std::vector<std::string> withService(std::vector<std::string> args)
    {
        args.insert(args.end(), {"--service", s_world->service->baseUrl(), "--data-dir", s_world->dir.path()});
        return args;
    }

    static test::CliWorld* s_world;
};

test::CliWorld* CliProgram::s_world = nullptr;

TEST_F(CliProgram, InAPipeEveryPageArrivesAndStandardErrorStaysEmpty)
{
    const Child child = runProgram(withService({"five-star", "--all"}));
    EXPECT_EQ(child.status, 0);
    EXPECT_EQ(child.err, "");
    const auto& funds = s_world->market().funds();
    const auto stars = std::count_if(funds.begin(), funds.end(), [](const sample::Fund& f) { return f.stars == 5; });
    EXPECT_EQ(std::count(child.out.begin(), child.out.end(), '\n'), stars + 1);
    EXPECT_EQ(child.out.find('\x1b'), std::string::npos);
}

TEST_F(CliProgram, OnATerminalTheBarShowsTheCountsAndIsClearedAtTheEnd)
{
    const Child child = runProgram(withService({"five-star", "--all"}), true);
    EXPECT_EQ(child.status, 0);
    EXPECT_NE(child.err.find("\r五星基金 [#"), std::string::npos) << child.err;
    EXPECT_NE(child.err.find("/"), std::string::npos);
    // The last thing written returns to the start of a blanked line.
    ASSERT_FALSE(child.err.empty());
    EXPECT_EQ(child.err.back(), '\r');
    // One page only: no bar.
    EXPECT_EQ(runProgram(withService({"five-star"}), true).err, "");
}

TEST_F(CliProgram, TheExportShowsItsPhasesOnATerminalOnly)
{
    const test::CliWorld small(200);
    // Pages slow enough for the bar to show some of the ten.
    small.service->addFault({sample::Fault::Latency, "FundGuideapi", 40});
    auto args = [&](const std::string& file) {
        return std::vector<std::string> {"export", "--out", small.dir.file(file), "--service", small.service->baseUrl()};
    };
    const Child piped = runProgram(args("piped.xlsx"));
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.err, "");
    const Child shown = runProgram(args("shown.xlsx"), true);
    EXPECT_EQ(shown.status, 0);
    EXPECT_TRUE(std::regex_search(shown.err, std::regex("\r排行页 \\[#+\\.*\\] [1-9]/10"))) << shown.err;
    EXPECT_NE(shown.err.find("\r基金概况 [#"), std::string::npos) << shown.err;
    EXPECT_NE(shown.err.find(" 200/200"), std::string::npos);
}

TEST_F(CliProgram, ABadOptionExitsWithTwo)
{
    const Child child = runProgram(withService({"five-star", "--colour"}));
    EXPECT_EQ(child.status, 2);
    EXPECT_EQ(child.out, "");
    EXPECT_NE(child.err.find("unknown option --colour"), std::string::npos);
}

TEST_F(CliProgram, CtrlCStopsALongLoadWithoutOutput)
{
    const auto start = std::chrono::steady_clock::now();
    const Child child = runProgram(withService({"five-star", "--all", "--timeout", "20"}), false, [](pid_t pid) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        ::kill(pid, SIGINT);
    });
    EXPECT_EQ(child.status, 130);
    EXPECT_EQ(child.out, "");
    EXPECT_EQ(child.err, "fundwatch-cli: interrupted\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

} // namespace
} // namespace fw
