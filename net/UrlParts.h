#pragma once
// Splitting a request URL into what the engine connects to and what it asks
// for, as the platform's URL parser does: scheme http or https, host, port
// (the scheme's default when none is given), and the object name (path and
// query; "/" alone when the path is empty, which drops a query).
#include "text/Text.h"

namespace fw {

struct UrlParts {
    bool secure = false;
    Text host;       // without brackets for IPv6
    int port = 0;
    Text objectName; // as it goes on the wire: blanks, controls and non-ASCII percent-encoded

    // The URL handed to curl: scheme, host, port and object name.
    Text curlUrl() const;
};

// 0 when the URL was split; 701 when it cannot be (no or another scheme,
// empty host, bad port); 703 when the host name is not one a connection can
// be made to.
int parseUrl(std::string_view url, UrlParts& parts);

} // namespace fw
