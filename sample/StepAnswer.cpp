// The step service: one form submission per account, answered in JSON whose
// non-ASCII message text arrives as \uXXXX escapes on success.
#include "sample/Answers.h"

#include "sample/Format.h"

namespace fw::sample {

namespace {

// The program sends the values as typed, not URL-encoded: split at '&' and
// the first '=' and take the values as they stand.
std::string formValue(const std::string& body, std::string_view key)
{
    size_t pos = 0;
    while (pos <= body.size()) {
        size_t end = body.find('&', pos);
        if (end == std::string::npos)
            end = body.size();
        const std::string_view item = std::string_view(body).substr(pos, end - pos);
        const size_t eq = item.find('=');
        if (eq != std::string_view::npos && item.substr(0, eq) == key)
            return std::string(item.substr(eq + 1));
        pos = end + 1;
    }
    return {};
}

Answer reply(int code, const std::string& message, bool escaped)
{
    return {200, "text/html; charset=utf-8",
            "{\"code\":" + std::to_string(code) + ",\"message\":\""
                + (escaped ? jsonEscapeAscii(message) : jsonEscape(message)) + "\"}"};
}

} // namespace

Answer stepAnswer(const ServiceSettings& settings, const Incoming& in)
{
    if (in.query.get("c") != "add")
        return reply(0, "参数错误", false);
    if (in.method != "POST")
        return reply(0, "请求方式错误", false);
    const std::string account = formValue(in.body, "usr");
    const std::string password = formValue(in.body, "psw");
    const std::string steps = formValue(in.body, "bs");
    if (account.empty() || account != settings.stepAccount || password != settings.stepPassword)
        return reply(0, "账号或密码错误", false);
    if (!isDigits(steps) || steps.size() > 6)
        return reply(0, "步数错误", false);
    return reply(1, "修改成功，步数：" + steps, true);
}

} // namespace fw::sample
