#pragma once
// A feature's world for the tests: the sample service in-process, the
// program's hosts pointing at it, the models, a settings file of its own.
#include "store/ConfigFile.h"
#include "model/MainModels.h"
#include "funds/FeatureContext.h"
#include "net/EventPump.h"
#include "net/ServiceHosts.h"
#include "sample/Market.h"
#include "sample/SampleService.h"
#include "tests/store/TempDir.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace fw::test {

inline sample::SampleOptions smallMarket(int funds = 600)
{
    sample::SampleOptions options;
    options.funds = funds;
    return options;
}

struct FeatureWorld {
    explicit FeatureWorld(sample::SampleOptions options = test::smallMarket(), int timeoutSeconds = 5)
        : service(std::make_unique<sample::SampleService>(options)),
          config(dir.file("配置.ini")),
          context(models, config, timeoutSeconds, dir.path())
    {
        resetTransferAbort();
        if (service->start() > 0)
            setServiceHosts(ServiceHosts::allAt(service->baseUrl()));
    }
    ~FeatureWorld() { setServiceHosts(ServiceHosts::defaults()); }

    static sample::SampleOptions smallMarket(int funds = 600) { return test::smallMarket(funds); }

    void setLoadAll(bool all) { config.write(gbk("加载数据"), gbk("是否全部加载"), gbk(all ? "真" : "假")); }

    // Targets of the requests whose path starts with `path`, in order.
    std::vector<std::string> targets(const std::string& path) const
    {
        std::vector<std::string> out;
        for (const auto& request : service->requests())
            if (request.target.rfind(path, 0) == 0)
                out.push_back(request.target);
        return out;
    }

    std::unique_ptr<sample::SampleService> service;
    TempDir dir;
    ConfigFile config;
    MainModels models;
    FeatureContext context;
};

} // namespace fw::test
