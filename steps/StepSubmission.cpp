#include "steps/StepSubmission.h"

#include "net/HttpClient.h"
#include "net/ServiceHosts.h"
#include "text/CodePage.h"
#include "text/JsonDocument.h"
#include "text/TextOps.h"
#include "text/UrlCodec.h"

namespace fw {

namespace {

struct Keys {
    Text section = gbk("小米运动刷步"), account = gbk("账号"), password = gbk("密码"), steps = gbk("步数");
    Text timeSection = gbk("刷步时间"), time = gbk("刷步时间");
    Text success = gbk("成功");
    // Replies that say 成功 only to deny it.
    Text denials[3] = {gbk("不成功"), gbk("未成功"), gbk("失败")};
    Text noService = gbk("未设置刷步服务，步数未提交");
    Text usage = gbk("使用方法：\r\n1、在应用商店中下载小米运动app\r\n2、注册小米运动账号（小米账号≠小米运动账号）\r\n"
                     "3、打开小米运动，依次点击我的-第三方接入-绑定同步平台\r\n4、软件填入账号密码步数\r\n"
                     "5、支付宝偶尔不显示，朋友可以看到");
};

const Keys& keys()
{
    static const Keys k;
    return k;
}

// The service's path ends in one blank, which goes out as part of the URL.
constexpr std::string_view kSubmitPath = "/xm/app/ajax.php?c=add ";

bool keptInForm(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_' || c == '~';
}

} // namespace

Text formEncode(std::string_view gbkText)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    Text out;
    out.reserve(gbkText.size() * 3);
    for (char ch : gbkText) {
        const auto c = static_cast<unsigned char>(ch);
        if (keptInForm(c)) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0x0F]);
        }
    }
    return out;
}

Text stepReplyMessage(std::string_view utf8Reply)
{
    // The reply is data: the JSON reader applies the string escapes (\uXXXX
    // among them) and evaluates nothing; the message's own %uXXXX and %XX
    // escapes are undone after that.
    JsonDocument reply;
    if (!reply.parse(utf8ToGbk(utf8Reply)))
        return {};
    const JsonType type = reply.typeOf("message");
    // An object or array would read as its JSON text: no message.
    if (type != JsonType::String && type != JsonType::Number)
        return {};
    // Percent bytes that do not make whole GBK characters would show as
    // garbage: the message then stays as the service wrote it.
    const Text message = reply.getText("message");
    const Text unescaped = unescapeText(message);
    return isWellFormedGbk(unescaped) ? unescaped : message;
}

bool isStepSuccess(std::string_view message)
{
    const Keys& k = keys();
    if (!containsText(message, k.success))
        return false;
    for (const Text& denial : k.denials) {
        if (containsText(message, denial))
            return false;
    }
    return true;
}

StepSubmission::StepSubmission(FeatureContext& context, Clock clock) : m_context(context)
{
    setClock(std::move(clock));
}

void StepSubmission::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(currentLocalDateTime);
}

bool StepSubmission::isDue(std::string_view storedTime, int todayDayOfMonth)
{
    static const Text month = gbk("月"), day = gbk("日");
    const Text storedDay = cutBetween(storedTime, month, day);
    return !storedDay.empty() && storedDay != std::to_string(todayDayOfMonth);
}

void StepSubmission::openWindow()
{
    View& view = m_context.models.view;
    // Not a second window, and not while a submission is on its way.
    if (m_submissions.running() || view.windowState(Window::Step) != WindowState::Closed)
        return;
    view.setWindowState(Window::Step, WindowState::Shown);
}

void StepSubmission::windowCreated()
{
    const Keys& k = keys();
    const ConfigFile& config = m_context.config;
    View& view = m_context.models.view;
    view.setEditText(Control::StepAccount, config.read(k.section, k.account));
    view.setEditText(Control::StepPassword, urlDecode(config.read(k.section, k.password)));
    view.setEditText(Control::StepTarget, config.read(k.section, k.steps));
}

void StepSubmission::saveClicked()
{
    if (m_submissions.running())
        return;
    const Keys& k = keys();
    const View& view = m_context.models.view;
    m_context.saveSetting(k.section, k.account, view.editText(Control::StepAccount));
    // Every byte of the password is stored as %XX: no literal character is left.
    m_context.saveSetting(k.section, k.password, urlEncode(view.editText(Control::StepPassword)));
    m_context.saveSetting(k.section, k.steps, view.editText(Control::StepTarget));
    submitSteps();
    m_context.models.view.setWindowState(Window::Step, WindowState::Closed);
}

void StepSubmission::usageHovered() { m_context.models.view.showTooltip(Control::StepUsage, keys().usage); }

void StepSubmission::windowClosed()
{
    View& view = m_context.models.view;
    view.setWindowState(Window::Step, WindowState::Closed);
    clearBoxes();
    view.setCaption(Control::Status, m_lastMessage);
}

void StepSubmission::submitAtStart(int todayDayOfMonth)
{
    const Keys& k = keys();
    windowCreated();
    if (isDue(m_context.config.read(k.timeSection, k.time), todayDayOfMonth))
        submitSteps();
    m_context.models.view.setCaption(Control::Status, m_lastMessage);
    clearBoxes();
}

void StepSubmission::clearBoxes()
{
    View& view = m_context.models.view;
    for (Control box : {Control::StepAccount, Control::StepPassword, Control::StepTarget})
        view.setEditText(box, "");
}

void StepSubmission::submitSteps()
{
    const Keys& k = keys();
    const View& view = m_context.models.view;
    const Text url = serviceHosts().url(HostRole::StepService, kSubmitPath);
    const LoadTicket submission = m_submissions.tryBegin();
    if (!submission)
        return;
    if (url.empty()) {
        // The step service is the user's own: without one nothing is sent.
        m_lastMessage = k.noService;
        m_submissions.finish(submission);
        return;
    }
    HttpRequestOptions options = m_context.requestOptions();
    options.method = 1; // POST; the engine adds the form content type
    options.body = "usr=" + formEncode(view.editText(Control::StepAccount))
        + "&psw=" + formEncode(view.editText(Control::StepPassword))
        + "&bs=" + formEncode(view.editText(Control::StepTarget));
    HttpClient().fetch(url, options);
    // A failed request leaves an empty body: an empty message, no success.
    m_lastMessage = stepReplyMessage(options.responseBytes);
    if (isStepSuccess(m_lastMessage))
        m_context.saveSetting(k.timeSection, k.time, dateTimeText(m_clock()));
    m_submissions.finish(submission);
}

} // namespace fw
