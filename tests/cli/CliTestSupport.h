#pragma once
// The command line against the sample service in this process: runCli with
// string streams, the market behind the answers, the executable in a child.
#include "cli/Cli.h"
#include "sample/Market.h"
#include "sample/SampleService.h"
#include "tests/store/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace fw::test {

struct CliRun {
    int status = -1;
    std::string out, err;
    nlohmann::ordered_json json() const { return nlohmann::ordered_json::parse(out); }
    std::vector<std::string> lines() const
    {
        std::vector<std::string> result;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);)
            result.push_back(line);
        return result;
    }
};

// On a terminal with colours wanted, or without (NO_COLOR, TERM=dumb).
enum class Shown { Piped, Terminal, Coloured };

class CliWorld {
public:
    explicit CliWorld(int funds = 600) : service(std::make_unique<sample::SampleService>(options(funds)))
    {
        service->start();
    }
    static sample::SampleOptions options(int funds)
    {
        sample::SampleOptions o;
        o.funds = funds;
        return o;
    }
    const sample::Market& market() const { return service->market(); }

    // fundwatch-cli ARGS --service <the sample service> --data-dir <a fresh one>
    // (or the one given).
    CliRun run(std::vector<std::string> args, Shown shown = Shown::Piped, const std::string& dataDir = {}) const
    {
        cli::resetCancel();
        args.insert(args.end(), {"--service", service->baseUrl(), "--data-dir", dataDir.empty() ? dir.path() : dataDir});
        std::ostringstream out, err;
        const bool terminal = shown != Shown::Piped;
        cli::CliIo io {out, err, terminal, terminal, shown == Shown::Coloured};
        CliRun result;
        result.status = cli::runCli(args, io);
        result.out = out.str();
        result.err = err.str();
        return result;
    }

    std::unique_ptr<sample::SampleService> service;
    TempDir dir;
};

// Splits a line at tabs, empty fields kept.
inline std::vector<std::string> fields(const std::string& line)
{
    std::vector<std::string> out(1);
    for (char c : line)
        if (c == '\t')
            out.emplace_back();
        else
            out.back().push_back(c);
    return out;
}

} // namespace fw::test
