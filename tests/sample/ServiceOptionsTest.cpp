// The sector routes and the switches that make the sample service behave as
// the real one does on its bad days: the old sector route withdrawn, quotes
// out of order, one huge sector; and the program's own flags.
#include "sample/Market.h"
#include "sample/SampleService.h"
#include "SampleTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <set>
#include <thread>
#include <sys/wait.h>

using namespace fw::sample;
using namespace fw::sample::testing;
using nlohmann::json;

namespace {

struct Running {
    explicit Running(SampleOptions options) : service(std::move(options)) { port = service.start(); }
    SampleService service;
    int port = -1;
};

SampleOptions small(int funds = 400)
{
    SampleOptions options;
    options.funds = funds;
    return options;
}

// The JSON inside "cb(…)" or the bare JSON.
json unwrap(const std::string& body, const std::string& callback)
{
    std::string text = body;
    if (!callback.empty()) {
        if (text.rfind(callback + "(", 0) != 0 || text.back() != ')')
            return json::value_t::discarded;
        text = text.substr(callback.size() + 1, text.size() - callback.size() - 2);
    }
    return json::parse(text, nullptr, false);
}

// ---------------------------------------------------------------- sector routes

TEST(SampleSectorRoutes, NewRouteListsTheOldRoutesSectorsAndFigures)
{
    Running r(small());
    ASSERT_GT(r.port, 0);
    const std::pair<const char*, const char*> keys[] = {{"W", "SYL_W"}, {"M", "SYL_M"}, {"Q", "SYL_Q"}, {"Y", "SYL_1N"}};
    std::set<std::string> eightCharacterCodes;
    for (const auto& [key, oldKey] : keys) {
        SCOPED_TRACE(key);
        const json old = unwrap(get(r.port, std::string("/ztjj/GetZTJJList?callback=cb&tt=0&dt=syl&st=") + oldKey + "&_=1").body, "cb");
        const Reply jsonp = get(r.port, std::string("/ztjj/GetZTJJListNew?callback=jQuery1830_16&tt=0&dt=syl&st=") + key + "&pn=500&_=2");
        const Reply plain = get(r.port, std::string("/ztjj/GetZTJJListNew?tt=0&dt=syl&st=") + key + "&pn=500");
        ASSERT_EQ(plain.status, 200);
        EXPECT_EQ(plain.body.front(), '{');
        const json fresh = unwrap(plain.body, "");
        ASSERT_FALSE(old.is_discarded());
        ASSERT_FALSE(fresh.is_discarded()) << plain.body.substr(0, 200);
        EXPECT_EQ(unwrap(jsonp.body, "jQuery1830_16"), fresh);

        EXPECT_EQ(fresh["ErrCode"], 0);
        EXPECT_EQ(fresh["Success"], true);
        EXPECT_EQ(fresh["TotalCount"], r.service.market().sectors().size());
        ASSERT_EQ(fresh["Data"].size(), old["Data"].size());
        for (size_t i = 0; i < fresh["Data"].size(); ++i) {
            const json& n = fresh["Data"][i];
            const json& o = old["Data"][i];
            EXPECT_EQ(n.size(), 3u);
            EXPECT_EQ(n["INDEXCODE"], o["BKCode"]);
            EXPECT_EQ(n["INDEXNAME"], o["BKName"]);
            EXPECT_EQ(n[key], o[oldKey]);
            EXPECT_TRUE(n[key].is_number() || n[key].is_null() || n[key] == "--");
            if (n["INDEXCODE"].get<std::string>().size() == 8)
                eightCharacterCodes.insert(n["INDEXCODE"]);
        }
        // The raw text keeps the numbers as the old route writes them.
        EXPECT_NE(plain.body.find("{\"INDEXCODE\":\""), std::string::npos);
    }
    EXPECT_TRUE(eightCharacterCodes.count("BK000651"));
    EXPECT_TRUE(eightCharacterCodes.count("BK000045"));
}

TEST(SampleSectorRoutes, NewRouteCapsByPnAndKnowsOnlyItsOwnKeys)
{
    Running r(small());
    const size_t all = r.service.market().sectors().size();
    const std::pair<std::string, size_t> cases[] = {
        {"st=W&pn=500", all}, {"st=W&pn=5", 5},     {"st=W&pn=1", 1},    {"st=Y&pn=0", 0},
        {"st=Q", all},        {"st=SYL_W&pn=500", 0}, {"st=w&pn=500", 0}, {"st=&pn=500", 0},
        {"pn=500", 0},
    };
    const std::string full = get(r.port, "/ztjj/GetZTJJListNew?tt=0&dt=syl&st=W&pn=500").body;
    for (const auto& [query, count] : cases) {
        SCOPED_TRACE(query);
        const json doc = unwrap(get(r.port, "/ztjj/GetZTJJListNew?tt=0&dt=syl&" + query).body, "");
        ASSERT_FALSE(doc.is_discarded());
        EXPECT_EQ(doc["Data"].size(), count);
        EXPECT_EQ(doc["Success"], true);
        // A known key counts every sector however many it returns; an unknown one none.
        const bool known = query.rfind("st=W&", 0) == 0 || query.rfind("st=Y&", 0) == 0 || query == "st=Q";
        EXPECT_EQ(doc["TotalCount"], known ? all : 0u);
    }
    // A capped list is the head of the full one.
    const json five = unwrap(get(r.port, "/ztjj/GetZTJJListNew?tt=0&dt=syl&st=W&pn=5").body, "");
    const json every = unwrap(full, "");
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(five["Data"][i], every["Data"][i]);
}

TEST(SampleSectorRoutes, WithdrawnOldRouteAnswers404WhileTheNewOneServes)
{
    for (bool withdrawn : {false, true}) {
        SCOPED_TRACE(withdrawn);
        SampleOptions options = small(50);
        options.withdrawOldSectorRoute = withdrawn;
        Running r(options);
        const Reply old = get(r.port, "/ztjj/GetZTJJList?callback=cb&tt=0&dt=syl&st=SYL_W&_=1");
        EXPECT_EQ(old.status, withdrawn ? 404 : 200);
        if (withdrawn) {
            EXPECT_EQ(old.contentType.rfind("text/html", 0), 0u);
            EXPECT_EQ(old.body.rfind("<html>", 0), 0u);
            EXPECT_LT(old.body.size(), 400u);
            EXPECT_EQ(old.body.find("cb("), std::string::npos);
        }
        const Reply fresh = get(r.port, "/ztjj/GetZTJJListNew?callback=cb&tt=0&dt=syl&st=M&pn=500&_=1");
        EXPECT_EQ(fresh.status, 200);
        EXPECT_FALSE(unwrap(fresh.body, "cb").is_discarded());
    }
}

TEST(SampleSectorRoutes, WholeMarketSectorPagesThroughEveryFund)
{
    SampleOptions options = small(2500);
    options.wholeMarketSector = true;
    Running on(options);
    Running off(small(2500));

    EXPECT_NE(get(on.port, "/ztjj/GetZTJJListNew?tt=0&dt=syl&st=W&pn=500").body.find(
                  "{\"INDEXCODE\":\"BK0999\",\"INDEXNAME\":\"全市场\","),
              std::string::npos);
    EXPECT_NE(get(on.port, "/ztjj/GetZTJJList?callback=cb&st=SYL_W").body.find("\"BKCode\":\"BK0999\",\"BKName\":\"全市场\""),
              std::string::npos);
    EXPECT_EQ(get(off.port, "/ztjj/GetZTJJListNew?tt=0&dt=syl&st=W&pn=500").body.find("BK0999"), std::string::npos);

    std::set<std::string> seen;
    const std::string family = "/data/FundGuideapi.aspx?dt=4&sd=&ed=&tp=BK0999&sc=3y&st=desc&pn=1000&pi=";
    for (int page = 1; page <= 3; ++page) {
        const std::string body = get(on.port, family + std::to_string(page)).body;
        const json doc = json::parse(textAfterLast(body, "var rankData ="), nullptr, false);
        ASSERT_FALSE(doc.is_discarded());
        EXPECT_EQ(doc["datacount"], "2500");
        EXPECT_EQ(doc["allPages"], "3");
        EXPECT_EQ(doc["datas"].size(), page < 3 ? 1000u : 500u);
        for (const auto& entry : doc["datas"])
            EXPECT_TRUE(seen.insert(splitFields(entry.get<std::string>())[0]).second);
    }
    EXPECT_EQ(seen.size(), 2500u);
    const json none = json::parse(textAfterLast(get(off.port, family + "1").body, "var rankData ="), nullptr, false);
    EXPECT_EQ(none["datacount"], "0");
}

// ---------------------------------------------------------------- quotes out of order

TEST(SampleQuotes, OutOfOrderAnswersReversedWithOneLeftOut)
{
    SampleOptions options = small(50);
    options.quotesOutOfOrder = true;
    Running r(options);
    const auto& stocks = r.service.market().stocks();
    std::vector<const Stock*> picked;
    const Stock* suspended = nullptr;
    for (const Stock& s : stocks) {
        if (s.suspended && !suspended)
            suspended = &s;
        else if (picked.size() < 8 && !s.suspended && s.market != 116)
            picked.push_back(&s);
    }
    ASSERT_TRUE(suspended);
    picked.insert(picked.begin() + 1, r.service.market().stock(116, "00700")); // comes back as "00700"
    picked.insert(picked.begin() + 4, suspended);
    ASSERT_EQ(picked.size(), 10u);

    // n asked -> codes answered
    for (size_t n : {size_t(1), size_t(2), size_t(3), size_t(10)}) {
        SCOPED_TRACE(n);
        std::string ids;
        std::vector<std::string> asked;
        for (size_t k = 0; k < n; ++k) {
            ids += picked[k]->id() + ",";
            asked.push_back(picked[k]->code);
        }
        std::vector<std::string> expected = asked;
        if (n >= 2)
            expected.erase(expected.begin() + std::ptrdiff_t(n / 2));
        std::reverse(expected.begin(), expected.end());
        if (n >= 2) {
            ASSERT_NE(expected, asked); // the program cannot match by position
        }

        const Reply reply = get(r.port, "/api/qt/ulist.np/get?fltt=2&invt=2&fields=f2,f3,f12,f14,f9&cb=cb&ut=x&secids="
                                            + ids + "&_=1");
        const json doc = unwrap(reply.body.substr(0, reply.body.size() - 1), "cb"); // "cb(…);"
        ASSERT_FALSE(doc.is_discarded()) << reply.body;
        EXPECT_EQ(doc["data"]["total"], expected.size());
        std::vector<std::string> got;
        for (const auto& item : doc["data"]["diff"]) {
            got.push_back(item["f12"]);
            const Stock* s = r.service.market().stockByCode(item["f12"].get<std::string>());
            ASSERT_TRUE(s);
            ASSERT_TRUE(item.contains("f3"));
            if (s->suspended) {
                EXPECT_EQ(item["f2"], "-");
                EXPECT_EQ(item["f3"], "-");
            } else {
                EXPECT_DOUBLE_EQ(item["f3"].get<double>(), s->change);
                EXPECT_DOUBLE_EQ(item["f2"].get<double>(), s->price);
            }
        }
        EXPECT_EQ(got, expected);
    }
}

// ---------------------------------------------------------------- the program's flags

// fundwatch-sample-service as a child process, its standard output read line by line.
class Program {
public:
    explicit Program(const std::vector<std::string>& args)
    {
        int out[2];
        if (::pipe(out) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<char*> argv{const_cast<char*>(SAMPLE_SERVICE_PROGRAM)};
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(SAMPLE_SERVICE_PROGRAM, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        m_out = out[0];
    }
    ~Program()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
        if (m_out >= 0)
            ::close(m_out);
    }

    // The next line without its line end; "" after the time-out.
    std::string line(int timeoutMs = 5000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const size_t end = m_buffer.find('\n');
            if (end != std::string::npos) {
                const std::string text = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 1);
                return text;
            }
            pollfd p{m_out, POLLIN, 0};
            if (std::chrono::steady_clock::now() >= deadline || ::poll(&p, 1, 50) < 0)
                return {};
            if (!(p.revents & (POLLIN | POLLHUP)))
                continue;
            char buf[4096];
            const ssize_t n = ::read(m_out, buf, sizeof buf);
            if (n <= 0)
                return {};
            m_buffer.append(buf, size_t(n));
        }
    }

    // The exit status once the program has ended on its own; -1 when it
    // still runs after three seconds or died of a signal.
    int exitCode()
    {
        for (int i = 0; i < 300 && m_pid > 0; ++i) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    // Port from "listening on http://127.0.0.1:PORT"; -1 when it did not start.
    int port()
    {
        const std::string first = line();
        const size_t colon = first.rfind(':');
        return first.rfind("listening on http://127.0.0.1:", 0) == 0 ? std::atoi(first.c_str() + colon + 1) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_buffer;
};

TEST(SampleProgram, LogPrintsOneLinePerRequestAsItArrives)
{
    Program program({"--port", "0", "--funds", "30", "--log"});
    const int port = program.port();
    ASSERT_GT(port, 0);
    const std::string targets[] = {
        "/data/FundGuideapi.aspx?dt=4&sd=&ed=&sc=3y&st=desc&pi=1&pn=20&zf=diy&sh=list",
        "/jbgk_000001.html%20",
        "/ztjj/GetZTJJListNew?tt=0&dt=syl&st=W&pn=500",
    };
    for (const std::string& target : targets) {
        get(port, target);
        EXPECT_EQ(program.line(), "GET " + target);
    }
    post(port, "/xm/app/ajax.php?c=add%20", "usr=demo&psw=demo&bs=1");
    EXPECT_EQ(program.line(), "POST /xm/app/ajax.php?c=add%20");
}

// With a connection cost, a connection serves any number of requests and only
// its first one pays the cost; --log names each connection as it opens.
TEST(SampleProgram, ConnectCostIsPaidOncePerConnectionAndLogged)
{
    Program program({"--port", "0", "--funds", "30", "--connect-cost-ms", "300", "--log"});
    const int port = program.port();
    ASSERT_GT(port, 0);
    for (int connection = 1; connection <= 2; ++connection) {
        SCOPED_TRACE(connection);
        httplib::Client client("127.0.0.1", port);
        client.set_keep_alive(true);
        for (int i = 0; i < 3; ++i) {
            const auto start = std::chrono::steady_clock::now();
            const auto res = client.Get("/jbgk_000001.html");
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
            ASSERT_TRUE(res);
            EXPECT_EQ(res->status, 200);
            if (i == 0) {
                EXPECT_GE(ms, 300);
                const std::string opened = program.line();
                EXPECT_TRUE(opened.starts_with("connection " + std::to_string(connection) + " from 127.0.0.1:")) << opened;
            } else {
                EXPECT_LT(ms, 200) << i;
            }
            EXPECT_EQ(program.line(), "GET /jbgk_000001.html");
        }
    }
}

TEST(SampleProgram, FlagsSwitchTheOptionsOn)
{
    const std::string quotes = "/api/qt/ulist.np/get?fltt=2&invt=2&fields=f2,f3,f12,f14,f9&cb=cb&secids="
                               "1.600519,0.000858,0.300750,&_=1";
    const struct {
        const char* flag;
        std::string target;
        std::string withFlag, without; // found in the answer (status for a number)
    } cases[] = {
        {"--withdraw-old-sectors", "/ztjj/GetZTJJList?callback=cb&tt=0&dt=syl&st=SYL_W", "404", "200"},
        {"--whole-market-sector", "/ztjj/GetZTJJListNew?tt=0&dt=syl&st=W&pn=500", "\"BK0999\"", "\"BK000651\""},
        {"--quotes-out-of-order", quotes, "\"diff\":[{\"f2\":", "\"f12\":\"600519\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flag);
        for (bool on : {true, false}) {
            std::vector<std::string> args{"--port", "0", "--funds", "30"};
            if (on)
                args.push_back(c.flag);
            Program program(args);
            const int port = program.port();
            ASSERT_GT(port, 0);
            const Reply r = get(port, c.target);
            const std::string& expected = on ? c.withFlag : c.without;
            if (std::isdigit(static_cast<unsigned char>(expected[0])))
                EXPECT_EQ(std::to_string(r.status), expected);
            else
                EXPECT_NE(r.body.find(expected), std::string::npos) << r.body.substr(0, 200);
            if (std::string(c.flag) == "--quotes-out-of-order") {
                // Reversed with the middle one left out: 300750 first, 000858 missing.
                const size_t first = r.body.find("\"f12\":\"");
                EXPECT_EQ(r.body.substr(first + 7, 6), on ? "300750" : "600519");
                EXPECT_EQ(r.body.find("000858") == std::string::npos, on);
            }
        }
    }
}

TEST(SampleProgram, FaultsFromTheCommandLineApplyToTheirRequests)
{
    Program program({"--port", "0", "--funds", "30",
                     "--fault", "/a-stall:stall:600",         "--fault", "/a-late:latency:400",
                     "--fault", "/a-503:http503:times=1:retry-after=7", "--fault", "/a-429:http429",
                     "--fault", "/jbgk_:truncated:10",        "--fault", "/a-garbage:garbage:64",
                     "--fault", "/a-huge:huge:100000",        "--fault", "/a:b:drop"});
    const int port = program.port();
    ASSERT_GT(port, 0);
    struct Exchange { std::string head, body; long ms; };
    const auto exchange = [port](const std::string& target) {
        const auto start = std::chrono::steady_clock::now();
        const std::string raw = rawExchange(port, "GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        const long ms = long(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
        const size_t end = raw.find("\r\n\r\n");
        return end == std::string::npos ? Exchange{raw, {}, ms} : Exchange{raw.substr(0, end), raw.substr(end + 4), ms};
    };
    const auto status = [](const Exchange& e) { return e.head.substr(0, 12); };

    const Exchange stalled = exchange("/a-stall");
    EXPECT_EQ(stalled.head, "");
    EXPECT_GE(stalled.ms, 550);
    const Exchange late = exchange("/a-late");
    EXPECT_EQ(status(late), "HTTP/1.1 404");
    EXPECT_GE(late.ms, 400);
    // Once with its Retry-After, then the route answers as it would.
    const Exchange unavailable = exchange("/a-503");
    EXPECT_EQ(status(unavailable), "HTTP/1.1 503");
    EXPECT_NE(unavailable.head.find("Retry-After: 7"), std::string::npos) << unavailable.head;
    EXPECT_EQ(status(exchange("/a-503")), "HTTP/1.1 404");
    for (int i = 0; i < 2; ++i) {
        const Exchange tooMany = exchange("/a-429");
        EXPECT_EQ(status(tooMany), "HTTP/1.1 429");
        EXPECT_EQ(tooMany.head.find("Retry-After"), std::string::npos);
    }
    const Exchange cut = exchange("/jbgk_000001.html");
    EXPECT_EQ(status(cut), "HTTP/1.1 200");
    EXPECT_EQ(cut.body.size(), 10u);
    EXPECT_EQ(exchange("/a-garbage").body.size(), 64u);
    const Exchange huge = exchange("/a-huge");
    EXPECT_NE(huge.head.find("Content-Length: 100000"), std::string::npos) << huge.head;
    EXPECT_EQ(huge.body.size(), 100000u);
    // A path part may hold a colon.
    const Exchange dropped = exchange("/a:b");
    EXPECT_EQ(dropped.head, "");
    EXPECT_LT(dropped.ms, 500);
    EXPECT_EQ(status(exchange("/a:c")), "HTTP/1.1 404");
}

TEST(SampleProgram, RefusesBadArguments)
{
    const std::vector<std::string> cases[] = {
        {"--port", "0", "--no-such-flag"}, {"--port", "70000"},          {"--port", "0", "--funds", "12x"},
        {"--port", "0", "--funds", "-1"},  {"--port", "0", "--seed"},    {"--port", "0", "--log", "extra"},
        {"--port", "0", "--fault"},        {"--port", "0", "--fault", "stall"},
        {"--port", "0", "--fault", "/x:boom"},
        {"--port", "0", "--fault", "/x:drop:5"},               // drop takes no number
        {"--port", "0", "--fault", "/x:http503:-1"},
        {"--port", "0", "--fault", "/x:stall:times=0"},
        {"--port", "0", "--fault", "/x:latency:retry-after=2"}, // only an HTTP error has one
        {"--port", "0", "--fault", "/x:stall:5:6"},
    };
    for (const auto& args : cases) {
        Program program(args);
        EXPECT_EQ(program.port(), -1) << args.back();
        EXPECT_EQ(program.exitCode(), 2) << args.back();
    }
    Program help({"--help"});
    EXPECT_EQ(help.port(), -1);
    EXPECT_EQ(help.exitCode(), 0);
}

} // namespace
