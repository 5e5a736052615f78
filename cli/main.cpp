// fundwatch-cli: the features of the window on the command line.
#include "cli/Cli.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

namespace {

void onInterrupt(int) { fw::cli::requestCancel(); }

} // namespace

int main(int argc, char** argv)
{
    // Ctrl-C ends the transfers and lets the command stop cleanly; a second
    // one ends the program at once.
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader that went away (| head) ends the output, not the program with a signal.
    std::signal(SIGPIPE, SIG_IGN);

    std::ios::sync_with_stdio(false);
    fw::cli::CliIo io {std::cout, std::cerr};
    io.outIsTerminal = ::isatty(STDOUT_FILENO) == 1;
    io.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    const char* noColour = std::getenv("NO_COLOR");
    const char* term = std::getenv("TERM");
    io.colours = io.outIsTerminal && !(noColour && *noColour) && !(term && std::string(term) == "dumb");

    const int status = fw::cli::runCli(std::vector<std::string>(argv + 1, argv + argc), io);
    std::cout.flush();
    std::cerr.flush();
    // Workers of the features are joined by now; nothing else needs tearing down.
    std::_Exit(status);
}
