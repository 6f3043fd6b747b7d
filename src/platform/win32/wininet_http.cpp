#include "platform/win32/wininet_http.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace tamber::win32 {
namespace {

// Connection set-up and each wait for bytes give up after this long.
constexpr DWORD network_timeout_ms = 30000;
// The reader thread holds at most this many unread body bytes.
constexpr std::size_t reader_buffer_bytes = 1024 * 1024;
// One InternetReadFile of the reader thread.
constexpr DWORD reader_read_bytes = 65536;

// Closes `handle` on a thread of its own. WinINet reads the rest of a body
// when a request is closed before its end (to keep the connection), which
// for an endless or stalled body never finishes: that wait must never hold
// up the caller. The thread ends with the process if it is still reading.
DWORD WINAPI close_in_background(void* handle) {
    InternetCloseHandle(static_cast<HINTERNET>(handle));
    return 0;
}

void abandon_handle(HINTERNET handle) {
    if (!handle) return;
    HANDLE thread = CreateThread(nullptr, 64 * 1024, close_in_background, handle, 0, nullptr);
    if (thread)
        CloseHandle(thread);
    else
        InternetCloseHandle(handle);  // no thread to be had: close here, and wait
}

// Sessions and requests are both handed out as http_handle; close() tells
// them apart by their kind.
struct wininet_object {
    enum kind_type { session_kind, request_kind } kind;
    explicit wininet_object(kind_type k) : kind(k) {}
};

struct wininet_session final : wininet_object {
    HINTERNET handle = nullptr;
    wininet_session() : wininet_object(session_kind) {}
};

// A request and the thread that reads its body. WinINet's reads block until
// their buffer is full or the body ends; the reader thread does that waiting
// and the caller takes whatever it has gathered. Shared by the caller and
// the thread; whichever lets go last deletes it.
struct wininet_request final : wininet_object {
    HINTERNET handle = nullptr;
    CRITICAL_SECTION lock;
    CONDITION_VARIABLE space;  // signalled when the caller takes bytes or abandons
    std::vector<char> buffer;  // gathered bytes; [taken, size) are unread
    std::size_t taken = 0;
    bool started = false;    // the reader thread runs, or has run
    bool ended = false;      // the body ended completely
    bool failed = false;     // reading failed with `error`
    DWORD error = 0;
    bool abandoned = false;  // the caller closed the request
    LONG references = 1;

    wininet_request() : wininet_object(request_kind) {
        InitializeCriticalSection(&lock);
        InitializeConditionVariable(&space);
    }
    ~wininet_request() { DeleteCriticalSection(&lock); }
    wininet_request(const wininet_request&) = delete;
    wininet_request& operator=(const wininet_request&) = delete;

    void release() {
        if (InterlockedDecrement(&references) == 0) delete this;
    }
};

DWORD WINAPI read_body(void* argument) {
    auto* request = static_cast<wininet_request*>(argument);
    std::vector<char> chunk(reader_read_bytes);
    bool abandoned = false;
    for (;;) {
        EnterCriticalSection(&request->lock);
        while (!request->abandoned && request->buffer.size() - request->taken >= reader_buffer_bytes)
            SleepConditionVariableCS(&request->space, &request->lock, INFINITE);
        abandoned = request->abandoned;
        const std::size_t room = reader_buffer_bytes - (request->buffer.size() - request->taken);
        LeaveCriticalSection(&request->lock);
        if (abandoned) break;

        // Waits for at least one byte (or the end), then reads no more than
        // have arrived, so bytes are handed on as they come.
        DWORD available = 0;
        DWORD received = 0;
        BOOL ok = InternetQueryDataAvailable(request->handle, &available, 0, 0);
        if (ok && available > 0) {
            const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>({available, room, chunk.size()}));
            ok = InternetReadFile(request->handle, chunk.data(), wanted, &received);
        }
        const DWORD error = ok ? 0 : GetLastError();

        EnterCriticalSection(&request->lock);
        abandoned = request->abandoned;
        if (!ok) {
            request->failed = true;
            request->error = error;
        } else if (available == 0 || received == 0) {
            request->ended = true;
        } else {
            if (request->taken == request->buffer.size()) {
                request->buffer.clear();
                request->taken = 0;
            }
            request->buffer.insert(request->buffer.end(), chunk.data(), chunk.data() + received);
        }
        const bool done = request->failed || request->ended;
        LeaveCriticalSection(&request->lock);
        if (abandoned || done) break;
    }
    // The caller closed the request while this thread was reading: the
    // handle is this thread's to close, and only this thread waits on it.
    if (abandoned) {
        InternetCloseHandle(request->handle);
        request->handle = nullptr;
    }
    request->release();
    return 0;
}

bool is_followed_redirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

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

wininet_request* as_request(http_handle handle) {
    auto* object = static_cast<wininet_object*>(handle);
    return object && object->kind == wininet_object::request_kind ? static_cast<wininet_request*>(object) : nullptr;
}

}  // namespace

http_handle wininet_http::open_session(const char* user_agent, uint32_t& error) {
    HINTERNET handle = InternetOpenA(user_agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!handle) {
        error = GetLastError();
        return nullptr;
    }
    DWORD timeout = network_timeout_ms;
    InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
    auto* session = new wininet_session;
    session->handle = handle;
    error = 0;
    return static_cast<wininet_object*>(session);
}

http_handle wininet_http::open_url(http_handle session_handle, const char* url, uint32_t& error) {
    auto* object = static_cast<wininet_object*>(session_handle);
    if (!object || object->kind != wininet_object::session_kind || !url) {
        error = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    HINTERNET session = static_cast<wininet_session*>(object)->handle;
    // Redirects are followed here, not by WinINet, which follows them
    // without limit. The replies of the hops stay open until the chain ends:
    // closing one hands its connection back for the next request to reuse,
    // possibly before WinINet has drained the rest of its body, and the
    // next reply would then be read from the middle of it.
    std::vector<HINTERNET> hops;
    struct abandon_hops {
        std::vector<HINTERNET>& hops;
        ~abandon_hops() {
            for (HINTERNET hop : hops) abandon_handle(hop);
        }
    } abandon_at_end{hops};
    std::string address = url;
    for (;;) {
        HINTERNET handle =
            InternetOpenUrlA(session, address.c_str(), nullptr, 0,
                             INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT, 0);
        if (!handle) {
            error = GetLastError();
            return nullptr;
        }
        bool found = false;
        const DWORD status = query_number(handle, HTTP_QUERY_STATUS_CODE, found);
        std::string target;
        if (!found || !is_followed_redirect(status) || !redirect_target(handle, address, target)) {
            auto* request = new wininet_request;
            request->handle = handle;
            error = 0;
            return static_cast<wininet_object*>(request);
        }
        hops.push_back(handle);
        if (hops.size() > static_cast<std::size_t>(max_redirects)) {
            error = ERROR_HTTP_REDIRECT_FAILED;
            return nullptr;
        }
        address = target;
    }
}

bool wininet_http::query_status(http_handle handle, uint32_t& status) {
    wininet_request* request = as_request(handle);
    if (!request) return false;
    bool found = false;
    const DWORD value = query_number(request->handle, HTTP_QUERY_STATUS_CODE, found);
    if (found) status = value;
    return found;
}

bool wininet_http::query_content_length(http_handle handle, uint32_t& length) {
    wininet_request* request = as_request(handle);
    if (!request) return false;
    bool found = false;
    const DWORD value = query_number(request->handle, HTTP_QUERY_CONTENT_LENGTH, found);
    if (found) length = value;
    return found;
}

read_status wininet_http::read(http_handle handle, void* buffer, uint32_t size, uint32_t& count, uint32_t& error) {
    count = 0;
    wininet_request* request = as_request(handle);
    if (!request) {
        error = ERROR_INVALID_HANDLE;
        return read_status::failed;
    }
    if (!request->started) {
        request->started = true;
        InterlockedIncrement(&request->references);
        HANDLE thread = CreateThread(nullptr, 0, read_body, request, 0, nullptr);
        if (!thread) {
            error = GetLastError();
            request->release();
            EnterCriticalSection(&request->lock);
            request->failed = true;
            request->error = error;
            LeaveCriticalSection(&request->lock);
            return read_status::failed;
        }
        CloseHandle(thread);
    }
    EnterCriticalSection(&request->lock);
    const std::size_t unread = request->buffer.size() - request->taken;
    read_status result = read_status::waiting;
    if (unread > 0) {
        count = static_cast<uint32_t>(std::min<std::size_t>(unread, size));
        std::memcpy(buffer, request->buffer.data() + request->taken, count);
        request->taken += count;
        WakeConditionVariable(&request->space);
        result = read_status::bytes;
    } else if (request->failed) {
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
        auto* session = static_cast<wininet_session*>(object);
        InternetCloseHandle(session->handle);
        delete session;
        return;
    }
    wininet_request* request = as_request(handle);
    EnterCriticalSection(&request->lock);
    const bool reader_running = request->started && !request->ended && !request->failed;
    // A body read to its end, or a transfer that failed (its connection is
    // gone), has nothing left for WinINet to read.
    const bool finished = request->ended || request->failed;
    request->abandoned = true;
    WakeConditionVariable(&request->space);
    LeaveCriticalSection(&request->lock);
    if (!reader_running) {
        // The reader has stopped, or never ran: the handle is ours to close.
        // A finished transfer closes at once; anything else may wait on the
        // rest of the body, so it closes in the background.
        if (finished)
            InternetCloseHandle(request->handle);
        else
            abandon_handle(request->handle);
        request->handle = nullptr;
    }
    // Otherwise the reader closes the handle when its current read returns.
    request->release();
}

}  // namespace tamber::win32
