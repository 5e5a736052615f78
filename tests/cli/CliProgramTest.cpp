// The built fundwatch-cli in a child process: what a script sees in a pipe,
// the progress bar on a terminal, Ctrl-C.
#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <regex>
#include <string_view>
#include <pty.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fw {
namespace {

using namespace std::string_view_literals;

struct Child {
    int status = -1; // exit status, or 128 + signal
    std::string out, err;
};

enum class Stream { Pipe, Terminal };

struct Launch {
    Stream out = Stream::Pipe;
    Stream err = Stream::Pipe;
    // Set in the child's environment; an empty value removes the variable.
    std::vector<std::pair<std::string, std::string>> environment {};
    // Gets the child's id once it started.
    std::function<void(pid_t)> whileRunning {};
};

bool openStream(Stream kind, int ends[2])
{
    return kind == Stream::Terminal ? ::openpty(&ends[0], &ends[1], nullptr, nullptr, nullptr) == 0
                                    : ::pipe(ends) == 0;
}

// Runs the program with its output in pipes or on terminals.
Child runProgram(const std::vector<std::string>& args, const Launch& launch = {})
{
    int out[2], err[2];
    if (!openStream(launch.out, out) || !openStream(launch.err, err))
        return {};
    std::vector<char*> argv {const_cast<char*>(CLI_PROGRAM)};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const auto& [name, value] : launch.environment) {
            if (value.empty())
                ::unsetenv(name.c_str());
            else
                ::setenv(name.c_str(), value.c_str(), 1);
        }
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::close(out[0]), ::close(err[0]), ::close(out[1]), ::close(err[1]);
        ::execv(CLI_PROGRAM, argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    if (launch.whileRunning)
        launch.whileRunning(pid);
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
    const Child child = runProgram(withService({"five-star", "--all"}), {.err = Stream::Terminal});
    EXPECT_EQ(child.status, 0);
    EXPECT_NE(child.err.find("\r五星基金 [#"), std::string::npos) << child.err;
    // The bar counts against the rows the probe announced: whole pages of 20.
    const auto& funds = s_world->market().funds();
    const auto stars = std::count_if(funds.begin(), funds.end(), [](const sample::Fund& f) { return f.stars == 5; });
    const std::regex count(" ([0-9]+)/([0-9]+)");
    long long lastTotal = 0;
    for (auto m = std::sregex_iterator(child.err.begin(), child.err.end(), count); m != std::sregex_iterator(); ++m) {
        EXPECT_LE(std::stoll((*m)[1]), std::stoll((*m)[2]));
        lastTotal = std::stoll((*m)[2]);
    }
    EXPECT_EQ(lastTotal, (stars + 19) / 20 * 20) << child.err;
    // The last thing written returns to the start of a blanked line.
    ASSERT_FALSE(child.err.empty());
    EXPECT_EQ(child.err.back(), '\r');
    // One page only: no bar.
    EXPECT_EQ(runProgram(withService({"five-star"}), {.err = Stream::Terminal}).err, "");
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
    const Child shown = runProgram(args("shown.xlsx"), {.err = Stream::Terminal});
    EXPECT_EQ(shown.status, 0);
    EXPECT_TRUE(std::regex_search(shown.err, std::regex("\r排行页 \\[#+\\.*\\] [1-9]/10"))) << shown.err;
    EXPECT_NE(shown.err.find("\r基金概况 [#"), std::string::npos) << shown.err;
    EXPECT_NE(shown.err.find(" 200/200"), std::string::npos);
}

TEST_F(CliProgram, ColoursOnlyOnATerminalThatWantsThem)
{
    const struct {
        Stream out;
        std::string term, noColor;
        bool coloured;
    } cases[] = {
        {Stream::Terminal, "xterm", "", true},
        {Stream::Pipe, "xterm", "", false},
        {Stream::Terminal, "xterm", "1", false},
        {Stream::Terminal, "dumb", "", false},
        {Stream::Terminal, "", "", true}, // no TERM at all
    };
    for (const auto& c : cases) {
        const Child child = runProgram(withService({"five-star"}),
                                       {.out = c.out, .environment = {{"TERM", c.term}, {"NO_COLOR", c.noColor}}});
        EXPECT_EQ(child.status, 0);
        EXPECT_EQ(child.out.find("\x1b["sv) != std::string::npos, c.coloured)
            << "TERM=" << c.term << " NO_COLOR=" << c.noColor << (c.out == Stream::Terminal ? " on a terminal" : "");
    }
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
    const Child child = runProgram(withService({"five-star", "--all", "--timeout", "20"}), {.whileRunning = [](pid_t pid) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        ::kill(pid, SIGINT);
    }});
    EXPECT_EQ(child.status, 130);
    EXPECT_EQ(child.out, "");
    EXPECT_EQ(child.err, "fundwatch-cli: interrupted\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

} // namespace
} // namespace fw
