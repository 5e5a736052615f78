#include "net/UrlParts.h"

#include "text/CodePage.h"

namespace fw {

namespace {

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlnum(char c) { return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool isUsableHostName(std::string_view host)
{
    if (host.size() > 253)
        return false;
    for (char c : host) {
        if (!(isAlnum(c) || c == '-' || c == '.' || c == '_'))
            return false;
    }
    return true;
}

bool isUsableIpv6(std::string_view host)
{
    if (host.empty())
        return false;
    for (char c : host) {
        const bool hex = isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!(hex || c == ':' || c == '.'))
            return false;
    }
    return true;
}

// The object name is sent as given, except what may not stand in a request
// line: blanks (a trailing blank is part of the path), control bytes, and
// non-ASCII text, which goes out as percent-encoded UTF-8.
Text encodeObjectName(std::string_view object)
{
    bool wide = false;
    for (char c : object)
        wide = wide || static_cast<unsigned char>(c) >= 0x80;
    const std::string utf8 = wide ? gbkToUtf8(object) : std::string(object);

    static constexpr char kHex[] = "0123456789ABCDEF";
    Text out;
    out.reserve(utf8.size());
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7F) {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0x0F]);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

} // namespace

int parseUrl(std::string_view url, UrlParts& parts)
{
    constexpr int kParse = 701;
    constexpr int kConnection = 703;

    // The URL is a C string for the platform: it ends at a zero byte.
    url = url.substr(0, url.find('\0'));

    const size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos)
        return kParse;
    const std::string_view scheme = url.substr(0, schemeEnd);
    if (equalsIgnoreCase(scheme, "https"))
        parts.secure = true;
    else if (equalsIgnoreCase(scheme, "http"))
        parts.secure = false;
    else
        return kParse;

    const std::string_view rest = url.substr(schemeEnd + 3);
    const size_t authorityEnd = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, authorityEnd);
    const std::string_view object = authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);

    // User information is not used to connect.
    if (const size_t at = authority.rfind('@'); at != std::string_view::npos)
        authority = authority.substr(at + 1);

    std::string_view host, port;
    bool ipv6 = false;
    if (!authority.empty() && authority.front() == '[') {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return kParse;
        host = authority.substr(1, close - 1);
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return kParse;
            port = after.substr(1);
        }
        ipv6 = true;
    } else {
        const size_t colon = authority.find(':');
        host = authority.substr(0, colon);
        if (colon != std::string_view::npos)
            port = authority.substr(colon + 1);
    }
    if (host.empty())
        return kParse;

    parts.port = parts.secure ? 443 : 80;
    if (!port.empty()) {
        if (port.size() > 5)
            return kParse;
        int value = 0;
        for (char c : port) {
            if (!isDigit(c))
                return kParse;
            value = value * 10 + (c - '0');
        }
        if (value < 1 || value > 65535)
            return kParse;
        parts.port = value;
    }
    if (ipv6 ? !isUsableIpv6(host) : !isUsableHostName(host))
        return kConnection;
    parts.host = Text(host);

    // Path and query; a fragment never goes to the server. An empty path
    // requests "/" and takes no query with it.
    std::string_view request = object.substr(0, object.find('#'));
    const size_t query = request.find('?');
    if (query == 0 || request.empty())
        parts.objectName.assign(1, '/');
    else
        parts.objectName = encodeObjectName(request);
    return 0;
}

Text UrlParts::curlUrl() const
{
    Text url = secure ? "https://" : "http://";
    const bool ipv6 = host.find(':') != Text::npos;
    if (ipv6)
        url.push_back('[');
    url.append(host);
    if (ipv6)
        url.push_back(']');
    url.push_back(':');
    url.append(std::to_string(port));
    url.append(objectName);
    return url;
}

} // namespace fw
