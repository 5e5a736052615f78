#include "net/HttpClient.h"

#include "net/ConnectionPool.h"
#include "net/Cookies.h"
#include "net/EventPump.h"
#include "net/ResponseDecoder.h"
#include "net/UrlParts.h"
#include "text/CodePage.h"
#include "text/TextOps.h"

#include <curl/curl.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <mutex>

namespace fw {

namespace {

using Clock = std::chrono::steady_clock;

// A header block larger than this is not a real server's answer.
constexpr size_t kMaxHeaderBytes = 1u << 20;
// Longest wait in one pass of the transfer loop: short on the UI thread so the
// window stays lively, short elsewhere so an abort is seen at once.
constexpr int kUiPollMs = 20;
constexpr int kWorkerPollMs = 50;
constexpr long kMaxRedirects = 10;

enum Failure {
    kParse = 701,
    kSession = 702,
    kConnection = 703,
    kRequest = 704,
    kTimeouts = 705,
    kCredentials = 707,
    kCookieOption = 708,
    kRedirectOption = 709,
    kHeaders = 710,
    kSend = 711,
    kNoResponse = 712,
    kRead = 713,
};

const Text& failureMessage(int number)
{
    static const Text k701 = gbk("701 解析URL地址失败!");
    static const Text k702 = gbk("702 创建WinHttp会话失败!");
    static const Text k703 = gbk("703 创建WinHttp连接失败!");
    static const Text k704 = gbk("704 创建WinHttp请求失败!");
    static const Text k705 = gbk("705 设置超时时间失败!");
    static const Text k707 = gbk("707 设置代理凭证失败!");
    static const Text k708 = gbk("708 禁止自动设置Cookies失败!");
    static const Text k709 = gbk("709 重定向设置失败!");
    static const Text k710 = gbk("710 设置协议头失败!");
    static const Text k711 = gbk("711 发送请求失败!");
    static const Text k712 = gbk("712 服务器未响应!");
    static const Text k713 = gbk("713 读取数据失败!");
    switch (number) {
    case kParse: return k701;
    case kSession: return k702;
    case kConnection: return k703;
    case kRequest: return k704;
    case kTimeouts: return k705;
    case kCredentials: return k707;
    case kCookieOption: return k708;
    case kRedirectOption: return k709;
    case kHeaders: return k710;
    case kSend: return k711;
    case kNoResponse: return k712;
    default: return k713;
    }
}

std::mutex g_caFileMutex;
std::string g_caFileForTests;

std::string caFileForTests()
{
    std::lock_guard lock(g_caFileMutex);
    return g_caFileForTests;
}

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The default request headers, tested in this order against the header block
// built so far; a row is added when its search text is not found.
struct DefaultHeader {
    const char* search;
    bool ignoreCase;
    const char* line;
};
constexpr DefaultHeader kDefaultHeaders[] = {
    {"User-Agent: ", true, "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"},
    {"Accept: ", true, "Accept: text/html, application/xhtml+xml, */*\r\n"},
    {"Accept-Encoding: ", true, "Accept-Encoding: gbk, GB2312\r\n"},
    {"Accept-Language: ", true, "Accept-Language: zh-cn\r\n"},
    // Exact case and no blank: a caller's "content-type: " line does not
    // count, so the default line is sent as well. Added for every method.
    {"Content-Type:", false, "Content-Type: application/x-www-form-urlencoded\r\n"},
    {"Cache-Control: ", true, "Cache-Control: no-cache\r\n"},
};

// The cookie text goes into one header line: a line break inside it must not
// start a header of its own.
Text withoutLineBreaks(std::string_view text)
{
    Text out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != '\r' && c != '\n')
            out.push_back(c);
    }
    return out;
}

Text buildHeaderBlock(const HttpRequestOptions& options)
{
    Text block = options.extraHeaders;
    if (!block.empty())
        block.append("\r\n");
    for (const DefaultHeader& row : kDefaultHeaders) {
        if (findText(block, row.search, 1, row.ignoreCase) == -1)
            block.append(row.line);
    }
    if (options.cookies && !options.cookies->empty() && findText(block, "Cookie: ", 1, true) == -1) {
        block.append("Cookie: ");
        block.append(withoutLineBreaks(*options.cookies));
        block.append("\r\n");
    }
    return block;
}

// One curl list entry per header line. A stray CR or LF inside a line would
// let one header smuggle another onto the wire, so they are dropped.
curl_slist* headerList(const Text& block, bool& ok)
{
    curl_slist* list = nullptr;
    ok = true;
    auto add = [&](const std::string& line) {
        curl_slist* grown = curl_slist_append(list, line.c_str());
        if (!grown) {
            ok = false;
            return;
        }
        list = grown;
    };
    for (const Text& raw : splitText(block, "\r\n")) {
        Text line;
        line.reserve(raw.size());
        for (char c : raw) {
            if (c != '\r' && c != '\n' && c != '\0')
                line.push_back(c);
        }
        if (!line.empty())
            add(line);
    }
    // The engine never waits for "100 Continue" before sending a body.
    if (findText(block, "Expect:", 1, true) == -1)
        add("Expect:");
    return list;
}

// "Set-Cookie" in any letter case becomes exactly "Set-Cookie", anywhere in the block.
Text normaliseSetCookie(std::string_view block)
{
    static constexpr std::string_view kName = "Set-Cookie";
    Text out;
    out.reserve(block.size());
    int from = 1;
    for (;;) {
        const int at = findText(block, kName, from, true);
        if (at == -1)
            break;
        out.append(block.substr(from - 1, at - from));
        out.append(kName);
        from = at + static_cast<int>(kName.size());
    }
    out.append(block.substr(from - 1));
    return out;
}

// State the curl callbacks share with the transfer loop, for one exchange.
struct Exchange {
    CURL* easy = nullptr;
    bool noRedirect = false;
    bool headOnly = false;         // a HEAD sent with a body: the answer ends with its header block
    bool requestStarted = false;   // a connection is up and the request is going out
    bool headersComplete = false;  // the current response's header block has ended
    bool redirectPending = false;  // that response is a redirect curl is about to follow
    bool headerOverflow = false;
    bool bodyCut = false;
    bool abandoned = false;        // ended by the transfer loop before curl finished it
    bool responseBegun = false;    // a status line came since the latest request went out
    bool resendRefused = false;    // see onCloseSocket
    int statusCode = 0;
    std::string headerBlock;       // of the latest response, CR LF lines
    std::string body;
    Clock::time_point lastActivity = Clock::now();
    curl_off_t lastUp = -1, lastDown = -1;
    curl_off_t upTotal = 0, upNow = 0;
    const LoadTicket* load = nullptr;
};

// Appends one header line as a CR LF line: a server may end its lines with a
// line feed alone, and the block is read line by line on "\r\n".
void appendHeaderLine(std::string& block, std::string_view line)
{
    if (line.ends_with('\n') && !line.ends_with("\r\n")) {
        block.append(line.substr(0, line.size() - 1));
        block.append("\r\n");
    } else {
        block.append(line);
    }
}

size_t onHeader(char* data, size_t size, size_t count, void* user)
{
    auto& ex = *static_cast<Exchange*>(user);
    const size_t n = size * count;
    const std::string_view line(data, n);
    ex.lastActivity = Clock::now();

    if (line.starts_with("HTTP/")) {
        // A new response (after an interim 1xx or a followed redirect).
        ex.responseBegun = true;
        ex.headerBlock.clear();
        appendHeaderLine(ex.headerBlock, line);
        ex.headersComplete = false;
        ex.redirectPending = false;
        ex.body.clear();
        const size_t blank = line.find(' ');
        ex.statusCode = blank == std::string_view::npos ? 0 : std::atoi(Text(line.substr(blank + 1, 3)).c_str());
        return n;
    }
    if (ex.headersComplete)
        return n; // trailer lines of a chunked body are not part of the header block
    if (ex.headerBlock.size() + n > kMaxHeaderBytes) {
        ex.headerOverflow = true;
        return 0;
    }
    appendHeaderLine(ex.headerBlock, line);
    if ((line == "\r\n" || line == "\n") && ex.statusCode >= 200) {
        // An interim 1xx block is not the response; the next status line starts it.
        ex.headersComplete = true;
        ex.redirectPending = !ex.noRedirect && ex.statusCode >= 300 && ex.statusCode < 400 && ex.statusCode != 304 &&
                             findText(ex.headerBlock, "\nLocation:", 1, true) != -1;
        if (!ex.redirectPending) {
            curl_off_t length = -1;
            if (curl_easy_getinfo(ex.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length > 0)
                ex.body.reserve(static_cast<size_t>(std::min<curl_off_t>(length, HttpClient::kMaxBodyBytes)));
        }
    }
    return n;
}

size_t onBody(char* data, size_t size, size_t count, void* user)
{
    auto& ex = *static_cast<Exchange*>(user);
    const size_t n = size * count;
    ex.lastActivity = Clock::now();
    if (ex.headOnly)
        return n; // an answer to HEAD has no body, whatever the server sends
    const size_t room = HttpClient::kMaxBodyBytes - ex.body.size();
    if (n > room) {
        ex.body.append(data, room);
        ex.bodyCut = true;
        return 0; // ends the transfer
    }
    ex.body.append(data, n);
    return n;
}

int onProgress(void* user, curl_off_t, curl_off_t downNow, curl_off_t upTotal, curl_off_t upNow)
{
    auto& ex = *static_cast<Exchange*>(user);
    if (upNow != ex.lastUp || downNow != ex.lastDown) {
        ex.lastUp = upNow;
        ex.lastDown = downNow;
        ex.lastActivity = Clock::now();
    }
    ex.upTotal = upTotal;
    ex.upNow = upNow;
    // The load was cancelled: curl ends the transfer itself.
    return ex.load->cancelled() ? 1 : 0;
}

int onRequestStart(void* user, char*, char*, int, int)
{
    auto& ex = *static_cast<Exchange*>(user);
    // A resend onSocketOpen let through after all (see there) goes no further.
    if (ex.resendRefused)
        return CURL_PREREQFUNC_ABORT;
    ex.requestStarted = true;
    ex.responseBegun = false;
    ex.lastActivity = Clock::now();
    if (ex.redirectPending) {
        // The request that follows a redirect is under way.
        ex.redirectPending = false;
        ex.headersComplete = false;
    }
    return CURL_PREREQFUNC_OK;
}

// The exchange whose transfer curl is running on this thread (one at a time:
// a nested fetch runs between two turns of the outer one's transfer).
thread_local Exchange* t_running = nullptr;

// curl sends a request once more, on a new connection, when a kept one broke
// before any answer came. That is right only when the request never reached
// the server: the connection was reset (the server's end was gone when the
// request arrived), or the request could not be sent whole. A server that
// closed in order after the whole request went out has read it (and may have
// acted on it): the exchange then fails as it would have on a connection of
// its own, and no new connection is opened for it.
//
// Connections outlive the fetch that opened them, so these callbacks take no
// per-fetch pointer; they look at the exchange running on this thread.
int onCloseSocket(void*, curl_socket_t socket)
{
    if (Exchange* ex = t_running; ex && ex->requestStarted && !ex->responseBegun) {
        tcp_info info {};
        socklen_t size = sizeof info;
        if (::getsockopt(socket, IPPROTO_TCP, TCP_INFO, &info, &size) == 0 && info.tcpi_state == TCP_CLOSE_WAIT &&
            ex->upNow >= ex->upTotal)
            ex->resendRefused = true;
    }
    return ::close(socket);
}

curl_socket_t onSocketOpen(void*, curlsocktype, curl_sockaddr* address)
{
    if (Exchange* ex = t_running; ex && ex->resendRefused)
        return CURL_SOCKET_BAD;
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

// Failures are reported by the phase the exchange had reached, the way the
// platform engine's calls fail one after another:
//   no connection yet, or resolving, connecting, TLS or sending failed -> 711;
//   the request went out but no complete response header block came -> 712;
//   the header block arrived and the body broke off                  -> 713
//   (the body read so far is kept).
// A redirect being followed counts as a new request.
int failureByPhase(const Exchange& ex)
{
    if (!ex.requestStarted || ex.redirectPending)
        return kSend;
    if (!ex.headersComplete)
        return ex.upNow < ex.upTotal ? kSend : kNoResponse;
    return kRead;
}

bool isConnectFailure(CURLcode rc)
{
    switch (rc) {
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SEND_ERROR:
    case CURLE_PROXY:
        return true;
    default:
        return false;
    }
}

// Owns every curl resource of one call; all are released on every path. The
// multi handle (and the connection in it) goes back to the pool only when the
// exchange ran to its end: whatever ended it early closes its connection.
struct CurlCall {
    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    curl_slist* headers = nullptr;
    bool added = false;
    std::string keepFor; // the pool key when the connection may be kept
    ~CurlCall()
    {
        if (added)
            curl_multi_remove_handle(multi, easy);
        if (easy)
            curl_easy_cleanup(easy);
        if (multi && !keepFor.empty())
            net::returnMulti(keepFor, multi);
        else
            net::discardMulti(multi);
        curl_slist_free_all(headers);
    }
};

template <typename T>
bool setOpt(CURL* easy, CURLoption option, T value)
{
    return curl_easy_setopt(easy, option, value) == CURLE_OK;
}

// Runs the exchange to its end. Returns 0 when curl finished by itself (its
// result in `rc`), else the failure number of a stall, the deadline or an abort.
int runTransfer(CurlCall& call, Exchange& ex, long long timeoutMs, Clock::time_point deadline, CURLcode& rc)
{
    const bool ui = isUiThread();
    const auto stallLimit = std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int running = 0;
        t_running = &ex;
        const CURLMcode performed = curl_multi_perform(call.multi, &running);
        t_running = nullptr;
        if (performed != CURLM_OK)
            return failureByPhase(ex);
        if (running == 0)
            break;
        if (ex.headOnly && ex.headersComplete) {
            ex.abandoned = true;
            rc = CURLE_OK; // curl would wait for a body that never comes
            return 0;
        }
        if (transfersAborted() || ex.load->cancelled())
            return failureByPhase(ex);
        // A peer that trickles a byte now and then, or sends interim answers
        // without end, is never silent for T: the whole exchange has its end.
        if (Clock::now() >= deadline)
            return failureByPhase(ex);
        // Connecting is bounded by curl's connect time-out; from the request
        // on, a peer that sends and takes nothing for T is abandoned.
        if (ex.requestStarted && Clock::now() - ex.lastActivity > stallLimit)
            return failureByPhase(ex);
        // Bytes arriving (or room to send) on the connection count as activity
        // even when they complete no header line yet: a peer trickling its
        // answer is not silent.
        int ready = 0;
        curl_multi_poll(call.multi, nullptr, 0, ui ? kUiPollMs : kWorkerPollMs, &ready);
        if (ready > 0)
            ex.lastActivity = Clock::now();
        if (ui)
            pumpEvents();
    }
    rc = CURLE_OK;
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(call.multi, &queued)) {
        if (msg->msg == CURLMSG_DONE)
            rc = msg->data.result;
    }
    return 0;
}

struct PumpOnExit {
    ~PumpOnExit() { pumpEvents(); }
};

} // namespace

void HttpClient::setCaFileForTests(std::string path)
{
    std::lock_guard lock(g_caFileMutex);
    g_caFileForTests = std::move(path);
}

Text HttpClient::fetch(std::string_view url) const
{
    HttpRequestOptions options;
    return fetch(url, options);
}

Text HttpClient::fetch(std::string_view url, HttpRequestOptions& options) const
{
    PumpOnExit pumpOnExit;
    const Clock::time_point begun = Clock::now();
    options.bodyCut = false;
    auto fail = [&options](int number) {
        options.status = failureMessage(number);
        return Text();
    };

    UrlParts parts;
    if (const int parseFailure = parseUrl(url, parts))
        return fail(parseFailure);

    initCurlOnce();
    CurlCall call;
    call.easy = curl_easy_init();
    call.multi = net::borrowMulti(net::poolKey(parts.curlUrl(), options.proxy));
    if (!call.easy || !call.multi)
        return fail(kSession);
    CURL* easy = call.easy;

    Exchange ex;
    ex.easy = easy;
    ex.load = &options.load;

    // Session: only HTTP(S), HTTP/1.1, no signals (threads), the URL as built.
    bool ok = setOpt(easy, CURLOPT_URL, parts.curlUrl().c_str());
    if (!ok)
        return fail(kParse);
    ok = setOpt(easy, CURLOPT_PROTOCOLS_STR, "http,https") && setOpt(easy, CURLOPT_NOSIGNAL, 1L) &&
         setOpt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)) &&
         setOpt(easy, CURLOPT_PATH_AS_IS, 1L) && setOpt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    // A name lookup that hangs would otherwise hold the clean-up (and so a
    // time-out or an abort) until the system resolver gives up: its thread is
    // left to finish on its own instead.
    ok = ok && setOpt(easy, CURLOPT_QUICK_EXIT, 1L);
    // Connections are kept between calls (see ConnectionPool.h), none idle
    // for longer than a minute; name lookups and TLS sessions are shared.
    ok = ok && setOpt(easy, CURLOPT_MAXAGE_CONN, net::kMaxIdleSeconds) &&
         setOpt(easy, CURLOPT_CLOSESOCKETFUNCTION, onCloseSocket) &&
         setOpt(easy, CURLOPT_CLOSESOCKETDATA, static_cast<void*>(nullptr)) &&
         setOpt(easy, CURLOPT_OPENSOCKETFUNCTION, onSocketOpen) &&
         setOpt(easy, CURLOPT_OPENSOCKETDATA, static_cast<void*>(nullptr));
    if (CURLSH* share = net::sharedCaches())
        ok = ok && setOpt(easy, CURLOPT_SHARE, share);
    // An empty proxy is a direct connection: no proxy from the environment either.
    if (options.proxy.empty()) {
        ok = ok && setOpt(easy, CURLOPT_PROXY, "");
    } else {
        const Text proxy = containsText(options.proxy, "://") ? options.proxy : "http://" + options.proxy;
        ok = ok && setOpt(easy, CURLOPT_PROXY, proxy.c_str()) && setOpt(easy, CURLOPT_NOPROXY, "");
    }
    if (const std::string caFile = caFileForTests(); !caFile.empty())
        ok = ok && setOpt(easy, CURLOPT_CAINFO, caFile.c_str());
    if (!ok)
        return fail(kSession);

    // Request: the verb, and the body with every verb.
    int method = options.method;
    if (method < 0 || method > 3)
        method = 0;
    const auto bodySize = static_cast<curl_off_t>(options.body.size());
    switch (method) {
    case 1: // POST
        ok = setOpt(easy, CURLOPT_POSTFIELDSIZE_LARGE, bodySize) &&
             setOpt(easy, CURLOPT_POSTFIELDS, options.body.data());
        break;
    case 2: // HEAD: no response body is read
        if (options.body.empty()) {
            ok = setOpt(easy, CURLOPT_NOBODY, 1L);
        } else {
            // curl drops the body of a plain HEAD, so the body goes out as with
            // POST under the HEAD verb, and the transfer loop ends the exchange
            // at the first complete header block (no redirect is followed).
            ex.headOnly = true;
            ok = setOpt(easy, CURLOPT_POSTFIELDSIZE_LARGE, bodySize) &&
                 setOpt(easy, CURLOPT_POSTFIELDS, options.body.data()) && setOpt(easy, CURLOPT_CUSTOMREQUEST, "HEAD");
        }
        break;
    case 3: // PUT, with its body from memory
        ok = setOpt(easy, CURLOPT_POSTFIELDSIZE_LARGE, bodySize) &&
             setOpt(easy, CURLOPT_POSTFIELDS, options.body.data()) && setOpt(easy, CURLOPT_CUSTOMREQUEST, "PUT");
        break;
    default: // GET; a body goes out as with POST, under the GET verb
        if (options.body.empty())
            ok = setOpt(easy, CURLOPT_HTTPGET, 1L);
        else
            ok = setOpt(easy, CURLOPT_POSTFIELDSIZE_LARGE, bodySize) &&
                 setOpt(easy, CURLOPT_POSTFIELDS, options.body.data()) && setOpt(easy, CURLOPT_CUSTOMREQUEST, "GET");
        break;
    }
    ok = ok && setOpt(easy, CURLOPT_HEADERFUNCTION, onHeader) && setOpt(easy, CURLOPT_HEADERDATA, &ex) &&
         setOpt(easy, CURLOPT_WRITEFUNCTION, onBody) && setOpt(easy, CURLOPT_WRITEDATA, &ex) &&
         setOpt(easy, CURLOPT_NOPROGRESS, 0L) && setOpt(easy, CURLOPT_XFERINFOFUNCTION, onProgress) &&
         setOpt(easy, CURLOPT_XFERINFODATA, &ex) && setOpt(easy, CURLOPT_PREREQFUNCTION, onRequestStart) &&
         setOpt(easy, CURLOPT_PREREQDATA, &ex);
    if (!ok)
        return fail(kRequest);

    // Time-out T for each phase: resolving and connecting here, the stall
    // detector of the transfer loop for sending and receiving.
    const long long timeoutMs = (options.timeoutSeconds > 0 ? static_cast<long long>(options.timeoutSeconds) : 30) * 1000;
    if (!setOpt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs)))
        return fail(kTimeouts);

    // Basic credentials, each pair only when both halves are given.
    if (!options.serverUser.empty() && !options.serverPassword.empty()) {
        if (!(setOpt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC)) &&
              setOpt(easy, CURLOPT_USERNAME, options.serverUser.c_str()) &&
              setOpt(easy, CURLOPT_PASSWORD, options.serverPassword.c_str())))
            return fail(kCredentials);
    }
    if (!options.proxyUser.empty() && !options.proxyPassword.empty()) {
        if (!(setOpt(easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC)) &&
              setOpt(easy, CURLOPT_PROXYUSERNAME, options.proxyUser.c_str()) &&
              setOpt(easy, CURLOPT_PROXYPASSWORD, options.proxyPassword.c_str())))
            return fail(kCredentials);
    }

    // Cookies: without the option nothing is stored or sent by curl. With it,
    // an in-memory cookie store lives for this call only, so cookies a
    // redirect sets reach its target; it is dropped with the handle.
    if (options.cookies && !setOpt(easy, CURLOPT_COOKIEFILE, ""))
        return fail(kCookieOption);

    ex.noRedirect = options.noRedirect || ex.headOnly;
    // Redirects: followed like the platform (at most 10, never from HTTPS
    // down to HTTP), unless switched off.
    if (ex.noRedirect) {
        ok = setOpt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    } else {
        ok = setOpt(easy, CURLOPT_FOLLOWLOCATION, 1L) && setOpt(easy, CURLOPT_MAXREDIRS, kMaxRedirects) &&
             setOpt(easy, CURLOPT_REDIR_PROTOCOLS_STR, parts.secure ? "https" : "http,https");
    }
    if (!ok)
        return fail(kRedirectOption);

    bool listOk = false;
    call.headers = headerList(buildHeaderBlock(options), listOk);
    if (!listOk || !setOpt(easy, CURLOPT_HTTPHEADER, call.headers))
        return fail(kHeaders);

    const long long deadlineMs = options.deadlineSeconds > 0 ? static_cast<long long>(options.deadlineSeconds) * 1000
                                                             : 4 * timeoutMs;
    if (transfersAborted() || options.load.cancelled() || curl_multi_add_handle(call.multi, easy) != CURLM_OK)
        return fail(kSend);
    call.added = true;

    CURLcode rc = CURLE_OK;
    int failure = runTransfer(call, ex, timeoutMs, begun + std::chrono::milliseconds(deadlineMs), rc);
    if (failure == 0 && rc == CURLE_OK && !ex.abandoned) {
        const char* effective = nullptr;
        if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
            call.keepFor = net::poolKey(effective, options.proxy);
    }
    if (failure == 0 && rc != CURLE_OK) {
        if (ex.resendRefused) {
            failure = kNoResponse; // the request went out and the server closed without an answer
        }
        else if (rc == CURLE_WRITE_ERROR && ex.bodyCut) {
            failure = kRead; // cut at kMaxBodyBytes: the part read is kept
            options.bodyCut = true;
        }
        else if (rc == CURLE_WRITE_ERROR && ex.headerOverflow)
            failure = kNoResponse;
        else if (rc == CURLE_UNSUPPORTED_PROTOCOL && ex.redirectPending && ex.headersComplete)
            failure = 0; // a redirect to a refused scheme: the redirect itself is the answer
        else if (rc == CURLE_TOO_MANY_REDIRECTS)
            failure = kNoResponse;
        else if (rc == CURLE_OPERATION_TIMEDOUT && !ex.requestStarted)
            failure = kSend;
        else if (isConnectFailure(rc))
            failure = kSend;
        else
            failure = failureByPhase(ex);
    }
    if (failure == 0 && (ex.headerBlock.empty() || !ex.headersComplete))
        failure = kNoResponse;
    // Before a complete header block, nothing is reported but the failure.
    if (failure != 0 && failure != kRead)
        return fail(failure);

    // The response header block, with Set-Cookie in one spelling.
    options.responseHeaders = normaliseSetCookie(ex.headerBlock);
    {
        const size_t lineEnd = options.responseHeaders.find("\r\n");
        const std::string_view statusLine = std::string_view(options.responseHeaders).substr(0, lineEnd);
        const size_t blank = statusLine.find(' ');
        options.status = blank == std::string_view::npos ? Text() : Text(statusLine.substr(blank + 1));
    }
    // A broken-off body is reported as such; the part read is still returned.
    if (failure == kRead)
        options.status = failureMessage(kRead);

    static const Text kSetCookie = "Set-Cookie";
    bool cookieAdded = false;
    for (const Text& line : splitText(options.responseHeaders, "\r\n")) {
        if (containsText(line, kSetCookie)) {
            const Text cookie = trimBlanks(containsText(line, ";") ? cutBetween(line, "Set-Cookie:", ";")
                                                                   : replaceAll(line, "Set-Cookie:", ""));
            // An empty value (a malformed line) would leave an empty entry in the cookie text.
            if (!cookie.empty()) {
                options.receivedCookies.append(cookie);
                options.receivedCookies.append("; ");
                cookieAdded = true;
            }
        }
        if (line.size() >= 10 && findText(std::string_view(line).substr(0, 10), "Location: ", 1, true) == 1)
            options.location = line.substr(10);
        pumpEvents();
    }
    // Only the separator this call appended is removed; whatever the caller's
    // variable held stays whole.
    if (cookieAdded)
        options.receivedCookies.resize(options.receivedCookies.size() - 2);
    if (options.cookies)
        options.cookies = mergeCookies(*options.cookies, options.receivedCookies);

    const std::string_view bodyView(ex.body);
    Text text = decodeResponse(bodyView, bodyView.substr(0, bodyView.find('\0')));
    options.responseBytes = std::move(ex.body);
    return text;
}

} // namespace fw
