// The step service: one form submission per account, answered in JSON whose
// non-ASCII message text arrives as \uXXXX escapes on success.
#include "sample/Answers.h"

#include "sample/Format.h"

#include <iconv.h>

namespace fw::sample {

namespace {

// Split at '&' and the first '=' and take the value as it stands.
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

// A form value as sent: %XX (either letter case) is a byte, '+' a blank.
std::string formDecode(std::string_view value)
{
    std::string spaced(value);
    for (char& c : spaced) {
        if (c == '+')
            c = ' ';
    }
    return percentDecode(spaced);
}

// The decoded bytes are GBK; the configured account is UTF-8. "" when the
// bytes are not GBK.
std::string gbkToUtf8(const std::string& gbk)
{
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd == iconv_t(-1))
        return {};
    std::string out(gbk.size() * 2 + 4, '\0');
    char* in = const_cast<char*>(gbk.data());
    size_t inLeft = gbk.size();
    char* o = out.data();
    size_t outLeft = out.size();
    const size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    if (r == size_t(-1) || inLeft != 0)
        return {};
    out.resize(out.size() - outLeft);
    return out;
}

// The program percent-encodes the GBK bytes of each value; plain values are
// still taken as they stand.
bool sameValue(const std::string& sent, const std::string& expected)
{
    if (sent == expected)
        return true;
    const std::string decoded = formDecode(sent);
    return decoded == expected || (!decoded.empty() && gbkToUtf8(decoded) == expected);
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
    const std::string steps = formDecode(formValue(in.body, "bs"));
    if (account.empty() || !sameValue(account, settings.stepAccount) || !sameValue(password, settings.stepPassword))
        return reply(0, "账号或密码错误", false);
    if (!isDigits(steps) || steps.size() > 6)
        return reply(0, "步数错误", false);
    return reply(1, "修改成功，步数：" + steps, true);
}

} // namespace fw::sample
