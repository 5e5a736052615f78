#pragma once
// Shared by the fund detail tests: the sample service for the whole suite,
// a loopback server that answers with stored service answers, and a few
// look-ups in the sample market.
#include "store/ConfigFile.h"
#include "model/MainModels.h"
#include "funds/FeatureContext.h"
#include "net/ServiceHosts.h"
#include "sample/Market.h"
#include "sample/SampleService.h"
#include "text/CodePage.h"

#include <httplib.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace fw::testing {

// A stored answer of tests/data/details as the service sends it (UTF-8).
inline std::string storedAnswer(const std::string& name)
{
    std::ifstream in(std::string(DETAILS_DATA_DIR) + "/" + name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    EXPECT_FALSE(out.str().empty()) << name;
    return out.str();
}

// The same page as fetch hands it over (HTML declaring its charset: GBK).
inline Text storedPage(const std::string& name) { return utf8ToGbk(storedAnswer(name)); }

// Answers each request with the body of the first route whose prefix the raw
// target starts with; 404 otherwise. Records the targets asked for.
class StoredService {
public:
    StoredService()
    {
        m_server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(m_mutex);
            m_targets.push_back(req.target);
            for (const auto& [prefix, answer] : m_routes) {
                if (req.target.rfind(prefix, 0) == 0) {
                    res.set_content(answer.body, answer.type);
                    return;
                }
            }
            res.status = 404;
        });
        // A worker asks for several answers at once, each on a connection kept open.
        m_server.new_task_queue = [] { return new httplib::ThreadPool(8); };
        m_port = m_server.bind_to_any_port("127.0.0.1");
        // Bound and listening already: early connections wait for the accept loop.
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~StoredService()
    {
        m_server.stop();
        m_thread.join();
    }

    std::string baseUrl() const { return "http://127.0.0.1:" + std::to_string(m_port); }

    void route(const std::string& prefix, const std::string& body, const std::string& type = "application/javascript")
    {
        std::lock_guard lock(m_mutex);
        m_routes.emplace_back(prefix, Answer {body, type});
    }
    void routeFile(const std::string& prefix, const std::string& file, const std::string& type = "application/javascript")
    {
        route(prefix, storedAnswer(file), type);
    }
    std::vector<std::string> targets() const
    {
        std::lock_guard lock(m_mutex);
        return m_targets;
    }

private:
    struct Answer {
        std::string body, type;
    };
    httplib::Server m_server;
    int m_port = -1;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<std::pair<std::string, Answer>> m_routes;
    std::vector<std::string> m_targets;
};

// Models, configuration and feature context of one test.
struct Window {
    MainModels models;
    ConfigFile config {"/nonexistent/fundwatch-details-test.ini"};
    FeatureContext context {models, config, 5};
};

// The sample service of a test suite, and every host role sent to it.
class SampleSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        sample::SampleOptions options;
        options.funds = 600;
        s_service = new sample::SampleService(options);
        ASSERT_GT(s_service->start(), 0);
    }
    static void TearDownTestSuite()
    {
        delete s_service;
        s_service = nullptr;
    }
    void SetUp() override
    {
        s_service->clearFaults();
        s_service->clearLog();
        setServiceHosts(ServiceHosts::allAt(s_service->baseUrl()));
    }

    static const sample::Market& market() { return s_service->market(); }
    // Targets the service saw whose path contains `part`.
    static std::vector<std::string> requestsFor(const std::string& part)
    {
        std::vector<std::string> out;
        for (const auto& r : s_service->requests())
            if (r.target.find(part) != std::string::npos)
                out.push_back(r.target);
        return out;
    }
    // The first fund that `pick` accepts.
    static const sample::Fund& fundWhere(const std::function<bool(const sample::Fund&)>& pick)
    {
        for (const sample::Fund& f : market().funds())
            if (pick(f))
                return f;
        ADD_FAILURE() << "no such fund in the sample market";
        return market().funds().front();
    }

    static sample::SampleService* s_service;
};

inline sample::SampleService* SampleSuite::s_service = nullptr;

} // namespace fw::testing
