// The step settings, their submission to the step service (the sample
// service, or a loopback server answering stored replies) and the daily
// submission at start-up.
#include "app/MainController.h"
#include "net/EventPump.h"
#include "net/ServiceHosts.h"
#include "sample/SampleService.h"
#include "steps/StepSubmission.h"
#include "tests/store/TempDir.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <thread>

using namespace fw;
using fw::test::readBytes;
using fw::test::writeBytes;

namespace {

const LocalDateTime kNow {2024, 3, 30, 8, 5, 7};

// A step world: settings file, models, the step feature with a fixed clock,
// every service role (the step service too) at the sample service.
struct StepWorld {
    explicit StepWorld(sample::SampleOptions options = {})
        : service([&] {
              options.funds = 0;
              return options;
          }()),
          config(dir.file("配置.ini")),
          context(models, config, 5),
          steps(context, [] { return kNow; })
    {
        resetTransferAbort();
        if (service.start() > 0)
            setServiceHosts(ServiceHosts::allAt(service.baseUrl()));
    }
    ~StepWorld() { setServiceHosts(ServiceHosts::defaults()); }

    void type(const std::string& account, const std::string& password, const std::string& target)
    {
        models.view.setEditText(Control::StepAccount, gbk(account));
        models.view.setEditText(Control::StepPassword, gbk(password));
        models.view.setEditText(Control::StepTarget, gbk(target));
    }
    Text setting(const char* section, const char* key) const { return config.read(gbk(section), gbk(key)); }
    Text lastSuccess() const { return setting("刷步时间", "刷步时间"); }

    sample::SampleService service;
    test::TempDir dir;
    ConfigFile config;
    MainModels models;
    FeatureContext context;
    StepSubmission steps;
};

// Answers every step submission with the body set last, as UTF-8 JSON would come.
class ReplyServer {
public:
    ReplyServer()
    {
        m_server.Post("/xm/app/ajax.php", [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard lock(m_mutex);
            res.set_content(m_body, "text/html; charset=utf-8");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~ReplyServer()
    {
        m_server.stop();
        m_thread.join();
    }
    void answer(std::string body)
    {
        std::lock_guard lock(m_mutex);
        m_body = std::move(body);
    }
    std::string baseUrl() const { return "http://127.0.0.1:" + std::to_string(m_port); }

private:
    httplib::Server m_server;
    std::mutex m_mutex;
    std::string m_body;
    int m_port = 0;
    std::thread m_thread;
};

TEST(DateTimeTextTest, TimePartIsShortenedByItsZeros)
{
    const struct { LocalDateTime time; const char* text; } cases[] = {
        {{2024, 3, 30, 8, 5, 7}, "2024年3月30日8时5分7秒"},
        {{2024, 3, 30, 8, 0, 7}, "2024年3月30日8时0分7秒"},
        {{2024, 3, 30, 8, 5, 0}, "2024年3月30日8时5分"},
        {{2024, 3, 30, 0, 5, 0}, "2024年3月30日0时5分"},
        {{2024, 3, 30, 8, 0, 0}, "2024年3月30日8时"},
        {{2024, 12, 1, 23, 0, 0}, "2024年12月1日23时"},
        {{2024, 1, 9, 0, 0, 0}, "2024年1月9日"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dateTimeText(c.time), gbk(c.text)) << c.text;

    // The clock reads the local calendar: months from 1, years in full.
    const std::time_t now = std::time(nullptr);
    const LocalDateTime read = currentLocalDateTime();
    char expected[32];
    std::tm local {};
    localtime_r(&now, &local);
    std::strftime(expected, sizeof expected, "%Y-%m-%d %H", &local);
    char got[64];
    std::snprintf(got, sizeof got, "%04d-%02d-%02d %02d", read.year, read.month, read.day, read.hour);
    EXPECT_EQ(std::string(got), std::string(expected));
}

TEST(StepSubmissionTest, SavingStoresThePasswordPercentEncodedSubmitsAndCloses)
{
    sample::SampleOptions options;
    options.stepPassword = "a%b";
    StepWorld world(options);
    world.steps.openWindow();
    EXPECT_EQ(world.models.view.windowState(Window::Step), WindowState::Shown);
    world.type("demo", "a%b", "12345");
    world.steps.saveClicked();

    EXPECT_EQ(world.setting("小米运动刷步", "账号"), "demo");
    EXPECT_EQ(world.setting("小米运动刷步", "密码"), "%61%25%62");
    EXPECT_EQ(world.setting("小米运动刷步", "步数"), "12345");
    EXPECT_EQ(world.steps.lastMessage(), gbk("修改成功，步数：12345"));
    EXPECT_EQ(world.lastSuccess(), gbk("2024年3月30日8时5分7秒"));
    EXPECT_EQ(world.models.view.windowState(Window::Step), WindowState::Closed);

    // The window closed: its boxes are gone and the status label shows the answer.
    world.steps.windowClosed();
    EXPECT_EQ(world.models.view.editText(Control::StepPassword), "");
    EXPECT_EQ(world.models.view.caption(Control::Status), gbk("修改成功，步数：12345"));

    // The next window reads the password back.
    world.steps.openWindow();
    world.steps.windowCreated();
    EXPECT_EQ(world.models.view.editText(Control::StepAccount), "demo");
    EXPECT_EQ(world.models.view.editText(Control::StepPassword), "a%b");
    EXPECT_EQ(world.models.view.editText(Control::StepTarget), "12345");
    EXPECT_TRUE(world.models.view.messages().empty());
}

TEST(StepSubmissionTest, ClosingWithoutSavingChangesNoSetting)
{
    StepWorld world;
    writeBytes(world.config.path(), gbk("[小米运动刷步]\r\n账号=me\r\n密码=%78\r\n步数=1\r\n"));
    const std::string before = readBytes(world.config.path());
    world.steps.openWindow();
    world.steps.openWindow(); // a second click while it is open opens nothing more
    world.steps.windowCreated();
    world.steps.usageHovered();
    EXPECT_NE(world.models.view.lastTooltip(Control::StepUsage).find(gbk("绑定同步平台")), std::string::npos);
    world.type("other", "y", "2");
    world.steps.windowClosed();
    EXPECT_EQ(readBytes(world.config.path()), before);
    EXPECT_EQ(world.models.view.caption(Control::Status), "");
    EXPECT_EQ(world.models.view.windowState(Window::Step), WindowState::Closed);
    EXPECT_TRUE(world.service.requests().empty());
}

TEST(StepSubmissionTest, FormValuesReachTheServiceIntact)
{
    sample::SampleOptions options;
    options.stepAccount = "张三 a+b";
    options.stepPassword = "p&s=1% 密码~_.-";
    StepWorld world(options);
    world.type("张三 a+b", "p&s=1% 密码~_.-", "20000");
    world.steps.submitSteps();

    const auto requests = world.service.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, "/xm/app/ajax.php?c=add%20");
    EXPECT_EQ(requests[0].body, "usr=%D5%C5%C8%FD%20a%2Bb&psw=p%26s%3D1%25%20%C3%DC%C2%EB~_.-&bs=20000");
    EXPECT_EQ(world.steps.lastMessage(), gbk("修改成功，步数：20000"));
    EXPECT_EQ(world.lastSuccess(), gbk("2024年3月30日8时5分7秒"));
}

TEST(StepSubmissionTest, FormEncodingKeepsOnlyUnreservedCharacters)
{
    const std::pair<std::string, std::string> cases[] = {
        {"AZaz09-._~", "AZaz09-._~"},
        // The neighbours of each kept range.
        {"@[`{/:", "%40%5B%60%7B%2F%3A"},
        {" +&=%", "%20%2B%26%3D%25"},
        {std::string("\x00\x7f\x80\xff", 4), "%00%7F%80%FF"},
        {"", ""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(formEncode(in), out) << in;
}

TEST(StepSubmissionTest, OnlyAStringMessageClaimingSuccessCounts)
{
    ReplyServer server;
    const struct { const char* file; const char* message; bool success; } cases[] = {
        {"escaped-success.json", "修改成功，步数：20000", true},
        {"plain-success.json", "步数已提交，同步成功", true},
        {"wrong-password.json", "账号或密码错误", false},
        {"not-json.html", "", false},
        {"empty.txt", "", false},
        {"jsonp.js", "", false},
        {"number-message.json", "1", false},
        {"object-message.json", "", false},
        {"cut-escape.json", "", false},
        // After the string escapes, %uXXXX is a character and %XX a GBK byte.
        {"percent-escape.json", "修改成功", true},
        {"percent-bytes.json", "成功", true},
        // Bytes that end inside a character are no text: the message as sent.
        {"percent-cut-character.json", "%B3%C9%B9 成功", true},
        // The emoji GBK cannot hold is one "?", not one per surrogate.
        {"percent-surrogates.json", "?成功", true},
        {"percent-literal.json", "成功率100%，%zz%u12", true},
        // A doubled backslash is a backslash: no escape is left to decode.
        {"doubled-backslash.json", "\\u6210\\u529f", false},
        // 俺晒Α: the bytes of 成功 lie across three characters.
        {"straddling-bytes.json", "俺晒Α", false},
        // Replies that deny the success they name.
        {"not-success.json", "提交不成功", false},
        {"not-yet-success.json", "同步未成功", false},
        {"failed.json", "登录成功，同步失败", false},
        {"percent-denial.json", "不成功", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        StepWorld world;
        ServiceHosts hosts = serviceHosts();
        hosts.setBaseUrl(HostRole::StepService, server.baseUrl());
        setServiceHosts(hosts);
        server.answer(readBytes(std::string(STEPS_TEST_DATA) + "/" + c.file));
        world.config.write(gbk("刷步时间"), gbk("刷步时间"), gbk("2024年3月29日"));
        world.type("demo", "demo", "20000");
        world.steps.submitSteps();
        EXPECT_EQ(world.steps.lastMessage(), gbk(c.message));
        EXPECT_EQ(world.lastSuccess(), gbk(c.success ? "2024年3月30日8时5分7秒" : "2024年3月29日"));
    }
}

TEST(StepSubmissionTest, WithoutAStepServiceNothingIsSentOrStored)
{
    StepWorld world;
    ServiceHosts hosts = serviceHosts();
    hosts.setBaseUrl(HostRole::StepService, "");
    setServiceHosts(hosts);
    world.steps.openWindow();
    world.type("demo", "demo", "20000");
    world.steps.saveClicked();
    world.steps.windowClosed();
    EXPECT_EQ(world.models.view.caption(Control::Status), gbk("未设置刷步服务，步数未提交"));
    EXPECT_EQ(world.lastSuccess(), "");
    EXPECT_EQ(world.setting("小米运动刷步", "账号"), "demo"); // the settings themselves are kept
    EXPECT_TRUE(world.service.requests().empty());
}

TEST(StepSubmissionTest, UnwritableSettingsAreReportedOncePerRun)
{
    StepWorld world;
    EXPECT_TRUE(world.context.saveSetting(gbk("加载数据"), gbk("是否全部加载"), gbk("假")));
    std::filesystem::permissions(world.config.path(), std::filesystem::perms::owner_read);
    EXPECT_FALSE(world.context.saveSetting(gbk("加载数据"), gbk("是否全部加载"), gbk("真")));
    const std::string before = readBytes(world.config.path());
    world.type("demo", "demo", "20000");
    world.steps.saveClicked(); // three settings and the success time: four failed writes
    world.steps.openWindow();
    world.steps.saveClicked();
    EXPECT_EQ(world.steps.lastMessage(), gbk("修改成功，步数：20000"));
    EXPECT_EQ(world.models.view.messages(), std::vector<Text>{gbk("配置文件无法保存，更改不会保留")});
    EXPECT_EQ(readBytes(world.config.path()), before);
}

// --- the daily submission at start-up

TEST(StepStartupTest, DueWhenTheStoredDayOfTheMonthDiffers)
{
    const struct { const char* stored; int today; bool due; } cases[] = {
        {"2024年3月30日8时5分", 30, false}, {"2024年3月30日8时5分", 29, true},
        {"2024年3月30日", 3, true},         {"2024年4月5日", 5, false}, // the 5th of another month
        {"", 5, false},                     {"2024年4月5", 6, false},   // no "日"
        {"2024年4日5月", 6, false},         // nothing between the markers
    };
    for (const auto& c : cases)
        EXPECT_EQ(StepSubmission::isDue(gbk(c.stored), c.today), c.due) << c.stored << " on " << c.today;
}

TEST(StepStartupTest, StartUpSubmitsOnceADayThroughTheHiddenWindow)
{
    StepWorld world;
    writeBytes(world.config.path(),
               gbk("[刷步时间]\r\n刷步时间=2024年3月30日12时\r\n[小米运动刷步]\r\n账号=demo\r\n密码=%64%65%6D%6F\r\n步数=20000\r\n"));
    const auto startOn = [&](int day, LocalDateTime now) {
        MainModels models;
        MainController controller(models, world.config, ControllerEnvironment{[day] { return day; }, ""});
        controller.steps().setClock([now] { return now; });
        controller.onCreated();
        // The hidden step window is gone again: its password is not kept.
        EXPECT_EQ(models.view.editText(Control::StepPassword), "");
        return models.view.caption(Control::Status);
    };

    EXPECT_EQ(startOn(30, {2024, 4, 30, 9, 0, 0}), ""); // the 30th of the next month: done already
    EXPECT_TRUE(world.service.requests().empty());

    EXPECT_EQ(startOn(1, {2024, 5, 1, 0, 0, 0}), gbk("修改成功，步数：20000"));
    EXPECT_EQ(world.service.requests().size(), 1u);
    EXPECT_EQ(world.lastSuccess(), gbk("2024年5月1日"));

    EXPECT_EQ(startOn(1, {2024, 5, 1, 18, 0, 0}), ""); // the same day again
    EXPECT_EQ(startOn(2, {2024, 5, 2, 7, 30, 0}), gbk("修改成功，步数：20000"));
    EXPECT_EQ(world.service.requests().size(), 2u);
    EXPECT_EQ(world.lastSuccess(), gbk("2024年5月2日7时30分"));
}

} // namespace
