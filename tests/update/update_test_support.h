// What the update tests share: a scratch store that is the current
// directory for the test's duration, a fixed clock for the log, file and log
// readers, digests, and a scripted HTTP client.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include "update/download_log.h"
#include "update/http.h"
#include "update/sha256.h"

namespace tamber::test {

// A fresh folder under the system's temporary directory, made the current
// directory (the store) until the object is destroyed, then removed.
class scratch_store {
public:
    scratch_store() : previous_(std::filesystem::current_path()) {
        std::random_device seed;
        const auto base = std::filesystem::temp_directory_path();
        for (;;) {
            path_ = base / ("tamber-update-" + std::to_string(seed() % 100000000));
            std::error_code error;
            if (std::filesystem::create_directory(path_, error)) break;
            if (error) ADD_FAILURE() << "cannot make " << path_ << ": " << error.message();
            if (error) break;
        }
        std::filesystem::current_path(path_);
    }
    ~scratch_store() {
        std::error_code error;
        std::filesystem::current_path(previous_, error);
        std::filesystem::remove_all(path_, error);
    }
    scratch_store(const scratch_store&) = delete;
    scratch_store& operator=(const scratch_store&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

// Polls `request` as frames would, once a millisecond, until its reply's
// headers are in, it fails, or `limit` has passed: the last poll's answer.
inline open_status poll_until_answered(http_client& client, http_handle request, uint32_t& error,
                                       std::chrono::steady_clock::duration limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    open_status status = open_status::waiting;
    while ((status = client.poll_open(request, error)) == open_status::waiting &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return status;
}

// The names in the folder `path`, sorted; subfolders end in '/'.
inline std::vector<std::string> folder_names(const std::filesystem::path& path = ".") {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path))
        names.push_back(entry.path().filename().string() + (entry.is_directory() ? "/" : ""));
    std::sort(names.begin(), names.end());
    return names;
}

#if !defined(_WIN32)
// Runs `work` in a child process in which no file may grow past `limit`
// bytes (a write beyond it fails with EFBIG, as on a full disk) and returns
// the child's exit code, `work`'s result; -1 when the child did not exit.
template <typename Work>
int with_file_size_limit(rlim_t limit, Work work) {
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit bound{limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &bound) != 0) _exit(255);
        _exit(work());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}
#endif

// The log's clock, fixed at a local time that tests choose.
inline std::time_t& fixed_time() {
    static std::time_t value = 0;
    return value;
}
inline std::time_t read_fixed_time() { return fixed_time(); }

inline std::time_t local_time(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

// Fixes the log clock at Tuesday 8 December 2026, 03:37:42 local time, for
// the lifetime of the object.
class fixed_log_clock {
public:
    fixed_log_clock() {
        fixed_time() = local_time(2026, 12, 8, 3, 37, 42);
        set_log_clock(read_fixed_time);
    }
    ~fixed_log_clock() { set_log_clock(nullptr); }
    static constexpr const char* stamp = "[Tue Dec 08 03:37:42 2026] ";
};

inline std::optional<std::string> read_file(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void write_text(const std::string& name, const std::string& bytes) {
    const auto parent = std::filesystem::path(name).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent);
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// The lines of "download.log" in the current directory, without their
// newlines; empty when there is no log.
inline std::vector<std::string> log_lines() {
    std::vector<std::string> lines;
    std::ifstream in("download.log");
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

inline std::string sha256_hex(const std::string& bytes) {
    sha256_context context;
    sha256_init(context);
    sha256_update(context, bytes.data(), bytes.size());
    uint8_t digest[32];
    sha256_final(context, digest);
    return digest_to_hex(digest);
}

// A catalogue line listing `bytes` under `name` with its true size and digest.
inline std::string catalogue_line(const std::string& name, const std::string& bytes) {
    return name + " " + std::to_string(bytes.size()) + " " + sha256_hex(bytes) + "\n";
}

// `size` bytes of a pattern that differs from file to file.
inline std::string pattern_bytes(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + seed * 7 + (i >> 8)) & 0xFF);
    return bytes;
}

// One scripted reply of the fake client.
struct fake_reply {
    // open_url returns null with open_error.
    bool open_fails = false;
    uint32_t open_error = 0;
    // poll_open finds no headers this many times, then reports them, or
    // fails with open_error when connect_fails; with headers_never_come it
    // never finds them.
    uint32_t header_waits = 0;
    bool connect_fails = false;
    bool headers_never_come = false;
    bool status_readable = true;
    uint32_t status = 200;
    // Announced Content-Length; none when empty. fake_http::serve fills it
    // with the body size.
    std::optional<uint32_t> length;
    std::string body;
    // Bytes per successful read, in turn; the last size repeats. Every read
    // is also capped by the size the caller asks for.
    std::vector<uint32_t> chunks;
    // A read that would go past this many body bytes fails with read_error.
    std::optional<std::size_t> fail_after;
    uint32_t read_error = 0;
    // The body never ends: reads return `chunks` sizes of 'e' bytes forever.
    bool endless = false;
    // Before each read that gives bytes, this many reads find nothing yet.
    uint32_t waits_before_each_read = 0;
    // Once the body has been read, nothing more ever arrives: the body never
    // ends.
    bool stalls = false;
};

// A scripted HTTP client: replies by URL (404 without Content-Length for
// URLs it does not know), every request and handle recorded.
class fake_http final : public http_client {
public:
    std::map<std::string, fake_reply> replies;
    bool session_fails = false;
    uint32_t session_error = 0;

    std::vector<std::string> requests;     // URLs in request order
    std::vector<std::string> user_agents;  // of each open_session
    std::vector<std::string> closed;       // "session" / "request <url>", in order
    std::vector<uint32_t> read_sizes;      // the size of every read call
    int open_handles = 0;

    fake_reply& serve(const std::string& url, const std::string& body) {
        fake_reply& reply = replies[url];
        reply = fake_reply{};
        reply.body = body;
        reply.length = static_cast<uint32_t>(body.size());
        return reply;
    }

    http_handle open_session(const char* user_agent, uint32_t& error) override {
        user_agents.push_back(user_agent);
        if (session_fails) {
            error = session_error;
            return nullptr;
        }
        ++open_handles;
        return &session_;
    }

    http_handle open_url(http_handle session, const char* url, uint32_t& error) override {
        EXPECT_EQ(session, &session_);
        requests.push_back(url);
        auto found = replies.find(url);
        fake_reply reply;
        if (found != replies.end()) {
            reply = found->second;
        } else {
            reply.status = 404;
        }
        if (reply.open_fails) {
            error = reply.open_error;
            return nullptr;
        }
        ++open_handles;
        auto* request = new open_request{url, reply};
        return request;
    }

    open_status poll_open(http_handle handle, uint32_t& error) override {
        auto* request = as_request(handle);
        ++request->polls;
        const fake_reply& reply = request->reply;
        if (reply.headers_never_come || request->polls <= reply.header_waits) return open_status::waiting;
        if (reply.connect_fails) {
            error = reply.open_error;
            return open_status::failed;
        }
        request->headers_in = true;
        return open_status::ready;
    }

    bool query_status(http_handle handle, uint32_t& status) override {
        auto* request = as_request(handle);
        EXPECT_TRUE(request->headers_in) << "status asked for before the headers are in";
        if (!request->reply.status_readable) return false;
        status = request->reply.status;
        return true;
    }

    bool query_content_length(http_handle handle, uint32_t& length) override {
        auto* request = as_request(handle);
        EXPECT_TRUE(request->headers_in) << "length asked for before the headers are in";
        if (!request->reply.length) return false;
        length = *request->reply.length;
        return true;
    }

    read_status read(http_handle handle, void* buffer, uint32_t size, uint32_t& count, uint32_t& error) override {
        auto* request = as_request(handle);
        EXPECT_TRUE(request->headers_in) << "body read before the headers are in";
        read_sizes.push_back(size);
        const fake_reply& reply = request->reply;
        count = 0;
        if (request->waits < reply.waits_before_each_read) {
            ++request->waits;
            return read_status::waiting;
        }
        request->waits = 0;
        uint32_t chunk = size;
        if (!reply.chunks.empty()) {
            chunk = reply.chunks[std::min(request->reads, reply.chunks.size() - 1)];
            chunk = std::min(chunk, size);
        }
        ++request->reads;
        if (reply.endless) {
            std::memset(buffer, 'e', chunk);
            count = chunk;
            return read_status::bytes;
        }
        const std::size_t left = reply.body.size() - request->position;
        const std::size_t taken = std::min<std::size_t>(chunk, left);
        if (reply.fail_after && request->position + taken > *reply.fail_after) {
            error = reply.read_error;
            return read_status::failed;
        }
        std::memcpy(buffer, reply.body.data() + request->position, taken);
        request->position += taken;
        count = static_cast<uint32_t>(taken);
        if (count > 0) return read_status::bytes;
        return reply.stalls ? read_status::waiting : read_status::end;
    }

    void close(http_handle handle) override {
        --open_handles;
        if (handle == &session_) {
            closed.push_back("session");
            return;
        }
        auto* request = as_request(handle);
        closed.push_back("request " + request->url);
        delete request;
    }

private:
    struct open_request {
        std::string url;
        fake_reply reply;
        std::size_t position = 0;
        std::size_t reads = 0;
        uint32_t waits = 0;
        uint32_t polls = 0;
        bool headers_in = false;
    };
    static open_request* as_request(http_handle handle) { return static_cast<open_request*>(handle); }

    int session_ = 0;
};

}  // namespace tamber::test
