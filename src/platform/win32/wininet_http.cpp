#include "platform/win32/wininet_http.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/body_window.h"

namespace tamber::win32 {
namespace {

// Connection set-up and each wait for bytes give up after this long.
constexpr DWORD network_timeout_ms = 30000;
// One InternetReadFile of the reader thread.
constexpr DWORD reader_read_bytes = 65536;
// The reader thread holds at most this many body bytes the caller has not
// taken, four of the caller's reads ahead, however fast the link.
constexpr std::size_t reader_window_bytes = 4 * reader_read_bytes;

// Owns one WinINet handle and closes it when it goes.
class internet_handle {
public:
    explicit internet_handle(HINTERNET handle) noexcept : handle_(handle) {}
    ~internet_handle() { reset(); }
    internet_handle(const internet_handle&) = delete;
    internet_handle& operator=(const internet_handle&) = delete;
    void reset() noexcept {
        if (handle_) InternetCloseHandle(std::exchange(handle_, nullptr));
    }
    HINTERNET get() const noexcept { return handle_; }
    HINTERNET release() noexcept { return std::exchange(handle_, nullptr); }
    explicit operator bool() const noexcept { return handle_ != nullptr; }

private:
    HINTERNET handle_;
};

// Owns a thread's handle (not the thread, which runs on) and closes it.
class thread_handle {
public:
    explicit thread_handle(HANDLE handle) noexcept : handle_(handle) {}
    ~thread_handle() {
        if (handle_) CloseHandle(handle_);
    }
    thread_handle(const thread_handle&) = delete;
    thread_handle& operator=(const thread_handle&) = delete;
    explicit operator bool() const noexcept { return handle_ != nullptr; }

private:
    HANDLE handle_;
};

// The closer: handles whose close may wait on the network, closed one after
// another on one thread of its own. WinINet reads the rest of a body when a
// request is closed before its end (to keep the connection), which for an
// endless or stalled body never finishes: that wait must hold up neither
// the caller nor the chain of redirects. The thread starts when a handle
// comes and none is running, and ends when the queue is empty, so at most
// one runs at a time; while a close hangs, the handles after it wait their
// turn (a thread still closing ends with the process).
constexpr SIZE_T closer_stack_bytes = 64 * 1024;

struct closer_item {
    HINTERNET handle;
    closer_item* next;
};

SRWLOCK closer_lock = SRWLOCK_INIT;
closer_item* closer_first = nullptr;  // guarded by closer_lock, as are the two below
closer_item* closer_last = nullptr;
bool closer_running = false;

DWORD WINAPI serve_closer(void*) {
    for (;;) {
        AcquireSRWLockExclusive(&closer_lock);
        closer_item* item = closer_first;
        if (item) {
            closer_first = item->next;
            if (!closer_first) closer_last = nullptr;
        } else {
            closer_running = false;
        }
        ReleaseSRWLockExclusive(&closer_lock);
        if (!item) return 0;
        InternetCloseHandle(item->handle);
        delete item;
    }
}

void abandon_handle(HINTERNET handle) {
    if (!handle) return;
    auto* item = new (std::nothrow) closer_item{handle, nullptr};
    if (!item) {
        InternetCloseHandle(handle);  // no memory for the queue: close here, and wait
        return;
    }
    AcquireSRWLockExclusive(&closer_lock);
    if (closer_last)
        closer_last->next = item;
    else
        closer_first = item;
    closer_last = item;
    const bool start = !closer_running;
    closer_running = true;
    ReleaseSRWLockExclusive(&closer_lock);
    if (!start) return;
    const thread_handle thread(
        CreateThread(nullptr, closer_stack_bytes, serve_closer, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (!thread) serve_closer(nullptr);  // no thread to be had: close the queue here, and wait
}

// Sessions and requests are both handed out as http_handle; close() tells
// them apart by their kind.
struct wininet_object {
    enum kind_type { session_kind, request_kind } kind;
    explicit wininet_object(kind_type k) : kind(k) {}
};

struct wininet_request;

// What a session's requests share: the internet handle and the threads
// that carry the requests out, each serving one request after another from
// the queue, so that consecutive files cost no thread each. A thread is
// started only when a request comes and none is free (one that still waits
// on an abandoned request's server is not); a thread with nothing to do for
// a while, or whose session has been closed, ends.
//
// The internet handle is closed when the last of the session, its threads
// and its requests lets go: never while a thread or request may still use
// its raw value, which WinINet would hand out again to a later handle. The
// close goes to the closer, after every hop of the session's requests
// queued there before it.
struct session_core {
    HINTERNET internet = nullptr;
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE work = CONDITION_VARIABLE_INIT;  // a request was queued, or the session closed
    // Guarded by `lock`: the queue of requests no thread has taken yet, and
    // the counts that tell whether a new thread is needed.
    wininet_request* first = nullptr;
    wininet_request* last = nullptr;
    int queued = 0;
    int idle = 0;     // threads waiting for a request
    int threads = 0;  // threads running
    bool closed = false;
    LONG references = 1;  // the session's, each thread's and each request's

    void add_reference() { InterlockedIncrement(&references); }
    void release() {
        if (InterlockedDecrement(&references) != 0) return;
        abandon_handle(internet);
        delete this;
    }
};

struct wininet_session final : wininet_object {
    session_core* core = nullptr;
    wininet_session() : wininet_object(session_kind) {}
};

// A request and the thread that carries it out: the thread makes the
// request (InternetOpenUrlA and the redirect chain, which wait for the
// server's replies), then reads its body, while the caller takes whatever
// has arrived. WinINet's reads block until their buffer is full or the body
// ends. Shared by the caller and the thread; whichever lets go last deletes
// it. Everything from `lock` on is guarded by it.
struct wininet_request final : wininet_object {
    session_core* core = nullptr;  // a reference, let go with the request
    HINTERNET session = nullptr;   // the core's internet handle
    std::string url;
    wininet_request* next = nullptr;  // in the core's queue
    // The final reply, once the thread has it; closed by the caller or the
    // thread, whichever is last to be done with it (see run_request).
    HINTERNET handle = nullptr;
    CRITICAL_SECTION lock;
    CONDITION_VARIABLE space;  // signalled when the caller takes bytes or abandons
    bool headers_ready = false;  // `handle` and the fields below are set
    bool open_failed = false;    // no reply, with `error`
    bool status_found = false;
    DWORD status = 0;
    bool length_found = false;
    DWORD length = 0;
    body_window window;      // the gathered bytes the caller has not taken
    bool ended = false;      // the body ended completely
    bool failed = false;     // reading failed with `error`
    // Set by the status callback (on the thread, inside a WinINet call) when
    // a receive of a chunked body found the connection closed.
    volatile LONG connection_closed = 0;
    DWORD error = 0;
    bool stopped = false;    // the thread is done with `handle`: the caller closes it
    bool abandoned = false;  // the caller closed the request
    LONG references = 1;

    wininet_request() : wininet_object(request_kind) {
        InitializeCriticalSection(&lock);
        InitializeConditionVariable(&space);
    }
    ~wininet_request() {
        DeleteCriticalSection(&lock);
        if (core) core->release();
    }
    wininet_request(const wininet_request&) = delete;
    wininet_request& operator=(const wininet_request&) = delete;

    void release() {
        if (InterlockedDecrement(&references) == 0) delete this;
    }
    bool is_abandoned() {
        EnterCriticalSection(&lock);
        const bool result = abandoned;
        LeaveCriticalSection(&lock);
        return result;
    }
};

bool is_https(const std::string& url) { return _strnicmp(url.c_str(), "https://", 8) == 0; }

DWORD query_number(HINTERNET request, DWORD what, bool& found) {
    DWORD value = 0;
    DWORD length = sizeof value;
    found = HttpQueryInfoW(request, what | HTTP_QUERY_FLAG_NUMBER, &value, &length, nullptr) != FALSE;
    return value;
}

// The Location of a redirect reply, resolved against the URL it answered.
bool redirect_target(HINTERNET request, const std::string& from, std::string& to) {
    std::vector<char> location(2048);
    DWORD length = static_cast<DWORD>(location.size());
    if (!HttpQueryInfoA(request, HTTP_QUERY_LOCATION, location.data(), &length, nullptr)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
        location.resize(length + 1);
        length = static_cast<DWORD>(location.size());
        if (!HttpQueryInfoA(request, HTTP_QUERY_LOCATION, location.data(), &length, nullptr)) return false;
    }
    std::vector<char> combined(from.size() + length + 1024);
    DWORD size = static_cast<DWORD>(combined.size());
    if (!InternetCombineUrlA(from.c_str(), location.data(), combined.data(), &size, ICU_NO_ENCODE)) return false;
    to.assign(combined.data(), size);
    return true;
}

// WinINet ends a chunked body where the connection closes, last chunk or
// not, and reports a complete body either way. What tells the two apart is
// that a body cut off made WinINet receive from a closed connection (a
// receive of 0 bytes), while a whole one ends with its last chunk. The
// request's context value is the request itself while its chunked body is
// read (0 otherwise: WinINet makes no callbacks for a context of 0).
void CALLBACK on_status(HINTERNET, DWORD_PTR context, DWORD status, void* information, DWORD length) {
    if (status != INTERNET_STATUS_RESPONSE_RECEIVED || !context || !information || length < sizeof(DWORD)) return;
    DWORD received = 0;
    std::memcpy(&received, information, sizeof received);
    if (received == 0) InterlockedExchange(&reinterpret_cast<wininet_request*>(context)->connection_closed, 1);
}

void set_context(HINTERNET handle, DWORD_PTR context) {
    InternetSetOptionA(handle, INTERNET_OPTION_CONTEXT_VALUE, &context, sizeof context);
}

bool is_chunked(HINTERNET handle) {
    char value[64] = {};
    DWORD length = sizeof value - 1;
    if (!HttpQueryInfoA(handle, HTTP_QUERY_TRANSFER_ENCODING, value, &length, nullptr)) return false;
    for (char& c : value) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return std::strstr(value, "chunked") != nullptr;
}

// Reads the body of a redirect reply to its end, if it ends within `bound`
// bytes: whether it did. A redirect's body is a line or two as a rule. One
// that announces a length is read to its end when that is at most
// redirect_body_bytes, far above any honest one, so that its connection
// serves the next hop; any other is given up past redirect_peek_bytes (an
// endless one costs no more than that).
constexpr DWORD redirect_body_bytes = 1024 * 1024;
constexpr DWORD redirect_peek_bytes = 65536;

bool read_to_end(HINTERNET handle, DWORD bound) {
    char scratch[16384];
    DWORD total = 0;
    for (;;) {
        DWORD received = 0;
        if (!InternetReadFile(handle, scratch, sizeof scratch, &received)) return false;
        if (received == 0) return true;
        total += received;
        if (total > bound) return false;
    }
}

// Makes the request: InternetOpenUrlA, and the redirects followed here, not
// by WinINet, which follows them without limit. Null on failure, with the
// error in `error`. A redirect's body is read to its end and the hop closed
// at once: nothing is left for the close to drain, and its connection goes
// back to WinINet's pool for the next hop, so a chain of such hops needs
// one connection. A hop whose body goes on past the bound (read_to_end),
// or fails, goes to the closer at once: WinINet's close reads the rest of it
// before the connection is pooled again or dropped (so no later reply is
// read from the middle of it), and the next hop has a second connection
// meanwhile. A chain never holds its hops open until it ends: WinINet caps
// the connections to one server (INTERNET_OPTION_MAX_CONNS_PER_SERVER, 2
// by default on older Windows), and a chain that held more would wait for
// one of its own to be freed. Only a body that never ends keeps its
// connection for good: WinINet's close reads it for as long as the server
// sends without a pause, and the closer's later handles wait behind it.
HINTERNET open_reply(wininet_request& request, DWORD& error) {
    int redirects = 0;
    std::string address = request.url;
    const bool secure = is_https(request.url);
    for (;;) {
        // A caller that has gone needs no more of the chain, nor its start.
        if (request.is_abandoned()) {
            error = ERROR_INTERNET_OPERATION_CANCELLED;
            return nullptr;
        }
        // Nothing is read from WinINet's cache nor written to it: a file is
        // kept in the store alone, and writing the cache's copy (a file and
        // an index entry per request) cost more than the request itself
        // under Wine, some 3 ms of the 4 a small file took.
        // An https request checks the server's certificate (its chain up to
        // a trusted root, its name, its dates); no flag that ignores any of
        // that is ever set.
        const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES |
                            INTERNET_FLAG_NO_AUTO_REDIRECT | (is_https(address) ? INTERNET_FLAG_SECURE : 0);
        internet_handle handle(InternetOpenUrlA(request.session, address.c_str(), nullptr, 0, flags, 0));
        if (!handle) {
            error = GetLastError();
            return nullptr;
        }
        bool found = false;
        const DWORD status = query_number(handle.get(), HTTP_QUERY_STATUS_CODE, found);
        std::string target;
        if (!found || !is_followed_redirect(status) || !redirect_target(handle.get(), address, target))
            return handle.release();
        ++redirects;
        bool announced = false;
        const DWORD length = query_number(handle.get(), HTTP_QUERY_CONTENT_LENGTH, announced);
        if (read_to_end(handle.get(), announced && length <= redirect_body_bytes ? redirect_body_bytes
                                                                                   : redirect_peek_bytes))
            handle.reset();
        else
            abandon_handle(handle.release());
        // A request made over https stays on https, as WinINet's own
        // redirect handling keeps it: plain http would fetch the file where
        // anyone on the way can change it.
        if (secure && !is_https(target)) {
            error = ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR;
            return nullptr;
        }
        if (redirects > max_redirects) {
            error = ERROR_HTTP_REDIRECT_FAILED;
            return nullptr;
        }
        address = target;
    }
}

// Reads the body into the request's window until it ends, fails or the
// caller abandons it.
void read_body(wininet_request& request) {
    const bool chunked = is_chunked(request.handle);
    if (chunked) set_context(request.handle, reinterpret_cast<DWORD_PTR>(&request));
    struct clear_context {
        HINTERNET handle;
        bool set;
        ~clear_context() {
            if (set) set_context(handle, 0);
        }
    } clear_at_end{request.handle, chunked};
    // The window and one read's scratch space are had once, up front;
    // without them the request fails as out of memory.
    const std::unique_ptr<char[]> chunk(new (std::nothrow) char[reader_read_bytes]);
    EnterCriticalSection(&request.lock);
    const bool allocated = chunk && request.window.allocate(reader_window_bytes);
    if (!allocated) {
        request.failed = true;
        request.error = ERROR_NOT_ENOUGH_MEMORY;
    }
    LeaveCriticalSection(&request.lock);
    if (!allocated) return;
    for (;;) {
        // A full window waits for the caller to take bytes; until then the
        // rest of the body stays in the socket.
        EnterCriticalSection(&request.lock);
        while (!request.abandoned && request.window.room() == 0)
            SleepConditionVariableCS(&request.space, &request.lock, INFINITE);
        const bool abandoned = request.abandoned;
        const std::size_t room = request.window.room();
        LeaveCriticalSection(&request.lock);
        if (abandoned) return;

        // Waits for at least one byte (or the end), then reads no more than
        // have arrived, so bytes are handed on as they come.
        DWORD available = 0;
        DWORD received = 0;
        BOOL ok = InternetQueryDataAvailable(request.handle, &available, 0, 0);
        if (ok && available > 0) {
            const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>({available, room, reader_read_bytes}));
            ok = InternetReadFile(request.handle, chunk.get(), wanted, &received);
        }
        const DWORD error = ok ? 0 : GetLastError();

        EnterCriticalSection(&request.lock);
        if (!ok) {
            request.failed = true;
            request.error = error;
        } else if (available == 0 || received == 0) {
            // A chunked body that ended on a closed connection was cut off.
            if (chunked && InterlockedCompareExchange(&request.connection_closed, 0, 0)) {
                request.failed = true;
                request.error = ERROR_INTERNET_CONNECTION_ABORTED;
            } else {
                request.ended = true;
            }
        } else {
            // The room only grew while the read ran: all of it fits.
            request.window.put(chunk.get(), received);
        }
        const bool done = request.failed || request.ended;
        LeaveCriticalSection(&request.lock);
        if (done) return;
    }
}

// Makes the request and reads its reply's body.
void carry_out(wininet_request* request) {
    DWORD error = 0;
    HINTERNET handle = open_reply(*request, error);
    bool found_status = false, found_length = false;
    DWORD status = 0, length = 0;
    if (handle) {
        status = query_number(handle, HTTP_QUERY_STATUS_CODE, found_status);
        length = query_number(handle, HTTP_QUERY_CONTENT_LENGTH, found_length);
    }
    EnterCriticalSection(&request->lock);
    request->handle = handle;
    if (handle) {
        request->headers_ready = true;
        request->status_found = found_status;
        request->status = status;
        request->length_found = found_length;
        request->length = length;
    } else {
        request->open_failed = true;
        request->error = error;
    }
    LeaveCriticalSection(&request->lock);

    if (handle) read_body(*request);
}

// Carries out one request taken from the queue, and lets go of it.
void run_request(wininet_request* request) noexcept {
    // No exception leaves the thread: memory that cannot be had fails the
    // request, its open if the reply is not in yet, else its read.
    try {
        carry_out(request);
    } catch (...) {
        EnterCriticalSection(&request->lock);
        if (!request->headers_ready)
            request->open_failed = true;
        else
            request->failed = true;
        request->error = ERROR_NOT_ENOUGH_MEMORY;
        LeaveCriticalSection(&request->lock);
    }

    // The caller closes a handle whose body has ended or failed (nothing is
    // left to read, so that is quick). A request it has abandoned is closed
    // here: WinINet waits on the rest of an unfinished body when it is
    // closed, which must never hold up the caller.
    EnterCriticalSection(&request->lock);
    const bool close_here = request->abandoned;
    if (!close_here) request->stopped = true;
    LeaveCriticalSection(&request->lock);
    if (close_here && request->handle) {
        InternetCloseHandle(request->handle);
        request->handle = nullptr;
    }
    request->release();
}

// How long a request thread with nothing to do waits for the next request
// before it ends.
constexpr DWORD idle_thread_ms = 5000;

DWORD WINAPI serve_requests(void* argument) {
    auto* core = static_cast<session_core*>(argument);
    for (;;) {
        AcquireSRWLockExclusive(&core->lock);
        ++core->idle;
        bool waited_out = false;
        while (!core->first && !core->closed && !waited_out)
            waited_out = !SleepConditionVariableSRW(&core->work, &core->lock, idle_thread_ms, 0);
        --core->idle;
        wininet_request* request = core->first;
        if (request) {
            core->first = request->next;
            if (!core->first) core->last = nullptr;
            --core->queued;
        } else {
            --core->threads;
        }
        ReleaseSRWLockExclusive(&core->lock);
        if (!request) break;
        run_request(request);
    }
    core->release();
    return 0;
}

wininet_request* as_request(http_handle handle) {
    auto* object = static_cast<wininet_object*>(handle);
    return object && object->kind == wininet_object::request_kind ? static_cast<wininet_request*>(object) : nullptr;
}

}  // namespace

http_handle wininet_http::open_session(const char* user_agent, uint32_t& error) {
    internet_handle handle(InternetOpenA(user_agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!handle) {
        error = GetLastError();
        return nullptr;
    }
    InternetSetStatusCallbackA(handle.get(), on_status);
    DWORD timeout = network_timeout_ms;
    InternetSetOptionA(handle.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionA(handle.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionA(handle.get(), INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
    if (connections_per_server_ != 0) {
        DWORD connections = connections_per_server_;
        InternetSetOptionA(handle.get(), INTERNET_OPTION_MAX_CONNS_PER_SERVER, &connections, sizeof connections);
    }
    auto* session = new (std::nothrow) wininet_session;
    auto* core = session ? new (std::nothrow) session_core : nullptr;
    if (!core) {
        delete session;
        error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    core->internet = handle.release();
    session->core = core;
    error = 0;
    return static_cast<wininet_object*>(session);
}

http_handle wininet_http::open_url(http_handle session_handle, const char* url, uint32_t& error) {
    auto* object = static_cast<wininet_object*>(session_handle);
    if (!object || object->kind != wininet_object::session_kind || !url) {
        error = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    session_core* core = static_cast<wininet_session*>(object)->core;
    // Memory that cannot be had fails the open; nothing is thrown.
    auto* request = new (std::nothrow) wininet_request;
    if (request) {
        try {
            request->url = url;
        } catch (...) {
            delete std::exchange(request, nullptr);
        }
    }
    if (!request) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    core->add_reference();
    request->core = core;
    request->session = core->internet;
    request->references = 2;  // the caller's and the thread's that takes it

    // Queued for a free thread; a new one starts when none is free.
    AcquireSRWLockExclusive(&core->lock);
    if (core->last)
        core->last->next = request;
    else
        core->first = request;
    core->last = request;
    ++core->queued;
    const bool start = core->queued > core->idle;
    if (start) {
        ++core->threads;
        core->add_reference();  // the new thread's
    }
    WakeConditionVariable(&core->work);
    ReleaseSRWLockExclusive(&core->lock);
    if (!start) {
        error = 0;
        return static_cast<wininet_object*>(request);
    }
    const thread_handle thread(CreateThread(nullptr, 0, serve_requests, core, 0, nullptr));
    if (thread) {
        error = 0;
        return static_cast<wininet_object*>(request);
    }
    // No thread to be had: the request waits for a running one, and fails
    // when there is none.
    error = GetLastError();
    AcquireSRWLockExclusive(&core->lock);
    --core->threads;
    bool unqueued = false;
    if (core->threads == 0) {
        for (wininet_request** link = &core->first; *link; link = &(*link)->next) {
            if (*link != request) continue;
            *link = request->next;
            if (core->last == request) {
                core->last = nullptr;
                for (wininet_request* r = core->first; r; r = r->next) core->last = r;
            }
            --core->queued;
            unqueued = true;
            break;
        }
    }
    ReleaseSRWLockExclusive(&core->lock);
    core->release();  // the thread that never started
    if (!unqueued) {
        error = 0;
        return static_cast<wininet_object*>(request);
    }
    delete request;
    return nullptr;
}

open_status wininet_http::poll_open(http_handle handle, uint32_t& error) {
    wininet_request* request = as_request(handle);
    if (!request) {
        error = ERROR_INVALID_HANDLE;
        return open_status::failed;
    }
    EnterCriticalSection(&request->lock);
    open_status result = open_status::waiting;
    if (request->headers_ready) {
        result = open_status::ready;
    } else if (request->open_failed) {
        error = request->error;
        result = open_status::failed;
    }
    LeaveCriticalSection(&request->lock);
    return result;
}

namespace {
// A number of the reply's headers, once they are in.
bool header_number(http_handle handle, bool wininet_request::*found, DWORD wininet_request::*value, uint32_t& out) {
    wininet_request* request = as_request(handle);
    if (!request) return false;
    EnterCriticalSection(&request->lock);
    const bool known = request->headers_ready && request->*found;
    if (known) out = request->*value;
    LeaveCriticalSection(&request->lock);
    return known;
}
}  // namespace

bool wininet_http::query_status(http_handle handle, uint32_t& status) {
    return header_number(handle, &wininet_request::status_found, &wininet_request::status, status);
}

bool wininet_http::query_content_length(http_handle handle, uint32_t& length) {
    return header_number(handle, &wininet_request::length_found, &wininet_request::length, length);
}

read_status wininet_http::read(http_handle handle, void* buffer, uint32_t size, uint32_t& count, uint32_t& error) {
    count = 0;
    wininet_request* request = as_request(handle);
    if (!request) {
        error = ERROR_INVALID_HANDLE;
        return read_status::failed;
    }
    EnterCriticalSection(&request->lock);
    read_status result = read_status::waiting;
    if (request->window.size() > 0) {
        count = static_cast<uint32_t>(request->window.take(buffer, size));
        WakeConditionVariable(&request->space);
        result = read_status::bytes;
    } else if (request->failed || request->open_failed) {
        error = request->error;
        result = read_status::failed;
    } else if (request->ended) {
        result = read_status::end;
    }
    LeaveCriticalSection(&request->lock);
    return result;
}

void wininet_http::close(http_handle handle) {
    auto* object = static_cast<wininet_object*>(handle);
    if (!object) return;
    if (object->kind == wininet_object::session_kind) {
        // The session's idle threads end; its internet handle is closed
        // once its threads and requests are done with it (session_core).
        auto* session = static_cast<wininet_session*>(object);
        session_core* core = session->core;
        AcquireSRWLockExclusive(&core->lock);
        core->closed = true;
        WakeAllConditionVariable(&core->work);
        ReleaseSRWLockExclusive(&core->lock);
        core->release();
        delete session;
        return;
    }
    wininet_request* request = as_request(handle);
    EnterCriticalSection(&request->lock);
    request->abandoned = true;
    WakeConditionVariable(&request->space);
    // Once the thread has stopped, its body has ended or failed (or there
    // never was a reply): nothing is left for WinINet to read, and the
    // handle closes at once. Otherwise the thread closes it when its
    // current call returns.
    const bool close_here = request->stopped;
    LeaveCriticalSection(&request->lock);
    if (close_here && request->handle) {
        InternetCloseHandle(request->handle);
        request->handle = nullptr;
    }
    request->release();
}

}  // namespace tamber::win32
