#pragma once
// What every command works with: the service (the demo's sample service, a
// base URL, or the public hosts), the models the features write into, the
// settings file of the data directory, and the features' context.
#include "store/ConfigFile.h"
#include "model/MainModels.h"
#include "cli/Cli.h"
#include "cli/CliOptions.h"
#include "funds/FeatureContext.h"
#include "sample/SampleService.h"

#include <memory>
#include <string>

namespace fw::cli {

class CliSession {
public:
    CliSession(const CliOptions& options, CliIo& io);
    ~CliSession();

    // Sets the service hosts (and starts the demo service). False with a
    // message on the error stream when it cannot.
    bool start();

    const CliOptions& options;
    CliIo& io;
    std::string dataDir; // as the window finds it ("" when none is usable)
    MainModels models;
    ConfigFile config;
    FeatureContext context;

    // "fundwatch-cli: " + message on the error stream.
    void error(const std::string& utf8Message) const;
    // The same for a GBK text of the features (a failure title).
    void errorGbk(const std::string& gbkMessage) const;

private:
    std::unique_ptr<sample::SampleService> m_demo;
};

} // namespace fw::cli
