#include "platform/native/curl_http.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tamber::native {
namespace {

constexpr long stall_time_s = 30;
constexpr long socket_buffer_bytes = 65536;
// A request's unread bytes beyond which libcurl is told to hold the rest
// (the transfer pauses until they are read): a body is never taken in faster
// than it is read.
constexpr std::size_t pending_cap_bytes = 1024 * 1024;
// The body of a redirect that is followed is read and dropped, so that its
// connection serves the next hop; one longer than this is cut off with its
// connection instead.
constexpr std::size_t redirect_body_cap_bytes = 65536;

struct curl_request;

// Sessions and requests are both handed out as http_handle; close() tells
// them apart through the virtual destructor.
struct curl_object {
    virtual ~curl_object() = default;
};

struct curl_session final : curl_object {
    std::string user_agent;
    std::string ca_file;  // empty: the system's CAs
    long connect_timeout_ms = 30000;
    CURLM* multi = nullptr;
    curl_slist* headers = nullptr;  // the no-cache request headers, shared by every request
    // An easy handle a closed request left behind, with the session's
    // options still set: setting them up anew costs more, per file, than a
    // small file's transfer.
    CURL* spare = nullptr;
    // Likewise the memory of a closed request's pending bytes: fresh memory
    // costs a page fault per page on every file.
    std::vector<char> spare_pending;
    std::vector<curl_request*> requests;
    ~curl_session() override;
};

struct curl_request final : curl_object {
    curl_session* session = nullptr;
    CURL* easy = nullptr;
    std::vector<char> pending;  // body bytes received but not yet read
    std::size_t pending_read = 0;
    // While read() drives the transfer with nothing pending, body bytes go
    // straight into the caller's buffer, up to its size.
    char* target = nullptr;
    std::size_t target_size = 0;
    std::size_t target_filled = 0;
    bool secure = false;         // the request started on https
    bool location_seen = false;  // the current reply carries a Location header
    std::string location;        // its value, as sent
    // The current reply is a redirect that is followed once its body has
    // been dropped (`hop_body` bytes of it so far; `hop_cut` when it was
    // longer than redirect_body_cap_bytes and the transfer was cut off).
    bool hop = false;
    std::size_t hop_body = 0;
    bool hop_cut = false;
    int redirects = 0;           // redirects followed so far
    bool headers_done = false;   // the final reply's headers are in
    bool paused = false;         // libcurl holds body bytes until pending is read
    bool finished = false;
    CURLcode result = CURLE_OK;

    std::size_t pending_size() const { return pending.size() - pending_read; }
    void detach();
    ~curl_request() override {
        curl_session* owner = session;
        detach();
        if (owner && pending.capacity() > owner->spare_pending.capacity()) {
            pending.clear();
            owner->spare_pending.swap(pending);
        }
        if (!easy) return;
        if (owner && !owner->spare)
            owner->spare = easy;  // its per-request pointers are set again before it is used
        else
            curl_easy_cleanup(easy);
    }
};

void curl_request::detach() {
    if (!session) return;
    curl_multi_remove_handle(session->multi, easy);
    auto& list = session->requests;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    session = nullptr;
}

curl_session::~curl_session() {
    // A request that outlives its session can no longer be driven; it then
    // reads as failed.
    while (!requests.empty()) {
        curl_request* request = requests.back();
        request->detach();
        if (!request->finished) {
            request->finished = true;
            request->result = CURLE_RECV_ERROR;
        }
    }
    if (spare) curl_easy_cleanup(spare);
    if (multi) curl_multi_cleanup(multi);
    if (headers) curl_slist_free_all(headers);
}

bool starts_with_no_case(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

bool is_https(std::string_view url) { return starts_with_no_case(url, "https://"); }

size_t on_header(char* data, size_t size, size_t items, void* user) {
    auto* request = static_cast<curl_request*>(user);
    const std::string_view line(data, size * items);
    if (starts_with_no_case(line, "http/")) {
        request->location_seen = false;
        request->location.clear();
    } else if (starts_with_no_case(line, "location:")) {
        request->location_seen = true;
        std::string_view value = line.substr(9);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
        while (!value.empty() && (value.back() == '\r' || value.back() == '\n' || value.back() == ' '))
            value.remove_suffix(1);
        request->location.assign(value);
    } else if (line == "\r\n" || line == "\n") {
        // End of one reply's headers: the final one unless it is interim
        // (1xx) or a redirect to follow once its body has been dropped.
        long status = 0;
        curl_easy_getinfo(request->easy, CURLINFO_RESPONSE_CODE, &status);
        if (status >= 100 && status < 200) return line.size();
        if (request->location_seen && status > 0 && is_followed_redirect(static_cast<uint32_t>(status)))
            request->hop = true;
        else
            request->headers_done = true;
    }
    return line.size();
}

size_t on_body(char* data, size_t size, size_t items, void* user) {
    auto* request = static_cast<curl_request*>(user);
    const std::size_t count = size * items;
    if (request->hop) {
        request->hop_body += count;
        if (request->hop_body <= redirect_body_cap_bytes) return count;
        request->hop_cut = true;
        return 0;  // ends the transfer (CURLE_WRITE_ERROR); follow() goes on
    }
    request->headers_done = true;
    if (request->pending_size() >= pending_cap_bytes) {
        request->paused = true;
        return CURL_WRITEFUNC_PAUSE;  // delivered again after curl_easy_pause(CURLPAUSE_CONT)
    }
    std::size_t direct = 0;
    if (request->target && request->pending_size() == 0) {
        direct = std::min(count, request->target_size - request->target_filled);
        std::memcpy(request->target + request->target_filled, data, direct);
        request->target_filled += direct;
    }
    if (direct < count) {
        if (request->pending_read == request->pending.size()) {
            request->pending.clear();
            request->pending_read = 0;
        }
        request->pending.insert(request->pending.end(), data + direct, data + count);
    }
    return count;
}

// The Location of the current reply resolved against its URL; empty when
// no URL can be made of it. libcurl resolves it when the transfer ends, but
// not for one cut off in its body (a redirect body past
// redirect_body_cap_bytes that came with a Content-Length): that one is
// resolved here, by libcurl's URL parser, from the header as it was sent.
std::string redirect_target(curl_request& request) {
    char* resolved = nullptr;
    if (curl_easy_getinfo(request.easy, CURLINFO_REDIRECT_URL, &resolved) == CURLE_OK && resolved) return resolved;
    char* base = nullptr;
    if (request.location.empty() || curl_easy_getinfo(request.easy, CURLINFO_EFFECTIVE_URL, &base) != CURLE_OK ||
        !base)
        return {};
    CURLU* url = curl_url();
    if (!url) return {};
    std::string target;
    char* joined = nullptr;
    if (curl_url_set(url, CURLUPART_URL, base, 0) == CURLUE_OK &&
        curl_url_set(url, CURLUPART_URL, request.location.c_str(), 0) == CURLUE_OK &&
        curl_url_get(url, CURLUPART_URL, &joined, 0) == CURLUE_OK && joined)
        target = joined;
    curl_free(joined);
    curl_url_cleanup(url);
    return target;
}

// Sends a request whose redirect reply has ended on to the redirect's
// target, on the same easy handle; its connection goes back to the cache
// for the next hop when the reply was read whole. A reply whose body
// failed, a chain longer than max_redirects and, for a request that started
// on https, a target that is not https leave the request finished with that
// failure, with `hop` still set. Returns whether the request was sent on.
bool follow(curl_request& request) {
    const bool dropped = request.result == CURLE_OK || (request.result == CURLE_WRITE_ERROR && request.hop_cut);
    if (!dropped) return false;
    if (++request.redirects > tamber::max_redirects) {
        request.result = CURLE_TOO_MANY_REDIRECTS;
        return false;
    }
    // The Location resolved against the reply's URL; none when no URL can
    // be made of it.
    const std::string resolved = redirect_target(request);
    if (resolved.empty()) {
        request.result = CURLE_URL_MALFORMAT;
        return false;
    }
    // A request made over https stays on https: a redirect to plain http
    // would fetch the file where anyone on the way can change it.
    if (request.secure && !is_https(resolved)) {
        request.result = CURLE_UNSUPPORTED_PROTOCOL;
        return false;
    }
    // libcurl copies the URL it is given.
    const CURLcode set = curl_easy_setopt(request.easy, CURLOPT_URL, resolved.c_str());
    curl_multi_remove_handle(request.session->multi, request.easy);
    if (set != CURLE_OK) {
        request.result = set;
        return false;
    }
    request.hop = false;
    request.location_seen = false;
    request.location.clear();
    request.hop_body = 0;
    request.hop_cut = false;
    request.finished = false;
    request.result = CURLE_OK;
    const CURLMcode added = curl_multi_add_handle(request.session->multi, request.easy);
    if (added != CURLM_OK) {
        request.finished = true;
        request.result = added == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_FAILED_INIT;
        return false;
    }
    return true;
}

// One pass over the session's transfers: takes in what has arrived, notes
// the transfers that have ended and sends followed redirects on. Never
// waits.
void perform(curl_request& request) {
    curl_session* session = request.session;
    if (!session) {
        request.finished = true;
        request.result = CURLE_RECV_ERROR;
        return;
    }
    int running = 0;
    CURLMcode code = curl_multi_perform(session->multi, &running);
    CURLMsg* message = nullptr;
    int left = 0;
    bool sent_on = false;
    while ((message = curl_multi_info_read(session->multi, &left)) != nullptr) {
        if (message->msg != CURLMSG_DONE) continue;
        curl_request* done = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &done);
        if (done) {
            done->finished = true;
            done->result = message->data.result;
            if (done->hop && follow(*done)) sent_on = true;
        }
    }
    // The next hops' connections are started in the same pass.
    if (sent_on && code == CURLM_OK) code = curl_multi_perform(session->multi, &running);
    if (code != CURLM_OK && !request.finished) {
        request.finished = true;
        request.result = code == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_RECV_ERROR;
    }
}

// Whether a transfer that ended with `result` ended its body. A connection
// that closes before the announced Content-Length does, as WinINet reports
// it: the fetcher compares the sizes ("partial download"). Without a length
// it could check (none, or one past 32 bits), a cut-off body, a chunked one
// without its last chunk, is a failure.
bool ended_cleanly(const curl_request& request) {
    if (request.result == CURLE_OK) return true;
    if (request.result != CURLE_PARTIAL_FILE) return false;
    curl_off_t announced = -1;
    if (curl_easy_getinfo(request.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) != CURLE_OK) return false;
    return announced >= 0 && announced <= static_cast<curl_off_t>(UINT32_MAX);
}

CURLcode global_init() {
    static std::once_flag once;
    static CURLcode result = CURLE_OK;
    std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
    return result;
}

// A new easy handle with everything a request of `session` shares.
CURL* new_easy_handle(const curl_session& session) {
    CURL* easy = curl_easy_init();
    if (!easy) return nullptr;
    curl_easy_setopt(easy, CURLOPT_USERAGENT, session.user_agent.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, session.headers);
    // Redirects are followed by follow(), under the same rule as WinINet's
    // (is_followed_redirect): libcurl would follow any 3xx with a Location.
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!session.ca_file.empty()) {
        curl_easy_setopt(easy, CURLOPT_CAINFO, session.ca_file.c_str());
        curl_easy_setopt(easy, CURLOPT_CAPATH, static_cast<const char*>(nullptr));  // that file alone
    }
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // A transfer removed while its host name is being looked up leaves the
    // lookup thread to finish on its own instead of joining it:
    // getaddrinfo can take as long as the system's resolver likes, and a
    // close, a connect timeout during the lookup or the session's end would
    // otherwise wait for it on the caller's thread.
    curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, session.connect_timeout_ms);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, stall_time_s);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, socket_buffer_bytes);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, on_header);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, on_body);
    return easy;
}

curl_request* as_request(http_handle handle) {
    return dynamic_cast<curl_request*>(static_cast<curl_object*>(handle));
}

}  // namespace

http_handle curl_http::open_session(const char* user_agent, uint32_t& error) {
    const CURLcode init = global_init();
    if (init != CURLE_OK) {
        error = static_cast<uint32_t>(init);
        return nullptr;
    }
    auto* session = new curl_session;
    session->user_agent = user_agent ? user_agent : "";
    session->ca_file = ca_file_;
    session->connect_timeout_ms = static_cast<long>(connect_timeout_.count());
    session->multi = curl_multi_init();
    session->headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    if (session->headers) session->headers = curl_slist_append(session->headers, "Pragma: no-cache");
    if (!session->multi || !session->headers) {
        delete session;
        error = CURLE_OUT_OF_MEMORY;
        return nullptr;
    }
    error = 0;
    return static_cast<curl_object*>(session);
}

http_handle curl_http::open_url(http_handle session_handle, const char* url, uint32_t& error) {
    auto* session = dynamic_cast<curl_session*>(static_cast<curl_object*>(session_handle));
    if (!session || !url) {
        error = CURLE_BAD_FUNCTION_ARGUMENT;
        return nullptr;
    }
    auto* request = new curl_request;
    request->easy = session->spare ? session->spare : new_easy_handle(*session);
    session->spare = nullptr;
    request->pending.swap(session->spare_pending);
    if (!request->easy) {
        delete request;
        error = CURLE_OUT_OF_MEMORY;
        return nullptr;
    }
    CURL* easy = request->easy;
    curl_easy_setopt(easy, CURLOPT_URL, url);
    request->secure = is_https(url);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, request);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, request);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, request);

    const CURLMcode added = curl_multi_add_handle(session->multi, easy);
    if (added != CURLM_OK) {
        delete request;
        error = added == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_FAILED_INIT;
        return nullptr;
    }
    request->session = session;
    session->requests.push_back(request);
    // Starts the transfer without waiting for anything: poll_open and read
    // drive it on.
    perform(*request);
    error = 0;
    return static_cast<curl_object*>(request);
}

open_status curl_http::poll_open(http_handle handle, uint32_t& error) {
    curl_request* request = as_request(handle);
    if (!request) {
        error = CURLE_BAD_FUNCTION_ARGUMENT;
        return open_status::failed;
    }
    if (!request->headers_done && !request->finished) perform(*request);
    if (request->headers_done) return open_status::ready;
    if (!request->finished) return open_status::waiting;
    // A redirect chain that failed (its reply's body, its length, its
    // target) is a failed open, whatever the reply's body did.
    if (!request->hop && ended_cleanly(*request)) return open_status::ready;
    error = static_cast<uint32_t>(request->result);
    return open_status::failed;
}

bool curl_http::query_status(http_handle handle, uint32_t& status) {
    curl_request* request = as_request(handle);
    if (!request) return false;
    long code = 0;
    if (curl_easy_getinfo(request->easy, CURLINFO_RESPONSE_CODE, &code) != CURLE_OK || code <= 0) return false;
    status = static_cast<uint32_t>(code);
    return true;
}

bool curl_http::query_content_length(http_handle handle, uint32_t& length) {
    curl_request* request = as_request(handle);
    if (!request) return false;
    curl_off_t announced = -1;
    if (curl_easy_getinfo(request->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) != CURLE_OK) return false;
    // No header (-1), or a length no 32-bit count can hold.
    if (announced < 0 || announced > static_cast<curl_off_t>(UINT32_MAX)) return false;
    length = static_cast<uint32_t>(announced);
    return true;
}

read_status curl_http::read(http_handle handle, void* buffer, uint32_t size, uint32_t& count, uint32_t& error) {
    count = 0;
    curl_request* request = as_request(handle);
    if (!request) {
        error = CURLE_BAD_FUNCTION_ARGUMENT;
        return read_status::failed;
    }
    if (size == 0) return request->finished ? read_status::end : read_status::waiting;
    if (request->pending_size() == 0 && !request->finished) {
        request->target = static_cast<char*>(buffer);
        request->target_size = size;
        request->target_filled = 0;
        if (request->paused) {
            request->paused = false;
            curl_easy_pause(request->easy, CURLPAUSE_CONT);  // may deliver the held bytes at once
        }
        if (request->target_filled == 0 && request->pending_size() == 0) perform(*request);
        request->target = nullptr;
        if (request->target_filled > 0) {
            count = static_cast<uint32_t>(request->target_filled);
            return read_status::bytes;
        }
    }
    const std::size_t available = request->pending_size();
    if (available > 0) {
        const std::size_t taken = std::min<std::size_t>(available, size);
        std::memcpy(buffer, request->pending.data() + request->pending_read, taken);
        request->pending_read += taken;
        count = static_cast<uint32_t>(taken);
        return read_status::bytes;
    }
    if (!request->finished) return read_status::waiting;
    if (ended_cleanly(*request)) return read_status::end;
    error = static_cast<uint32_t>(request->result);
    return read_status::failed;
}

void curl_http::close(http_handle handle) { delete static_cast<curl_object*>(handle); }

}  // namespace tamber::native
