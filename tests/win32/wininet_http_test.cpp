// The WinINet client and the updater on top of it, against the real test
// server, as Wine's WinINet serves them in this project's runs.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include "platform/win32/wininet_http.h"
#include "server/http_client_suite.h"

namespace tamber::test {
namespace {

struct wininet_traits {
    using client = win32::wininet_http;
    static constexpr uint32_t refused_error = 12029;  // ERROR_INTERNET_CANNOT_CONNECT
    // Windows reports ERROR_INTERNET_CONNECTION_RESET; Wine passes the
    // socket's WSAECONNRESET through.
    static bool is_reset_error(uint32_t error) { return error == 12031 || error == 10054; }
    // Redirects are followed by the client itself, 308 included.
    static constexpr bool follows_308 = true;
    // INTERNET_FLAG_RELOAD bypasses the local cache without adding a header
    // (that would be INTERNET_FLAG_PRAGMA_NOCACHE, which is not asked for).
    static constexpr bool sends_no_cache_header = false;
    // Wine hands out whatever has arrived when the server closes the
    // connection, also past the announced length.
    static constexpr bool may_read_past_announced_length = true;
    // Wine's WinINet ends a chunked body where the connection closes, last
    // chunk or not; the client tells a cut one by the closed connection.
    static constexpr bool reports_cut_chunked_body = true;
};

INSTANTIATE_TYPED_TEST_SUITE_P(wininet, http_client_suite, wininet_traits);
INSTANTIATE_TYPED_TEST_SUITE_P(wininet, updater_live_suite, wininet_traits);

std::size_t resident_bytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? counters.WorkingSetSize : 0;
}

// A body served far faster than it is taken: the client's reader thread
// runs ahead, and the request must hold only a bounded window of the body,
// not a second copy of all of it. The bytes are dropped as they are taken,
// so the process's resident memory grows by that window and no more (the
// bound is far above it and far below the body).
TEST(wininet_http, a_fast_body_is_held_in_a_bounded_window) {
    TAMBER_REQUIRE_LIVE_SERVER();
    constexpr std::size_t body = 96u << 20;
    win32::wininet_http client;
    uint32_t error = 0;
    http_owner session(client);
    session.reset(client.open_session(http_user_agent, error));
    ASSERT_TRUE(session) << error;
    http_owner request(client);
    const std::string url = live_server::url() + "__gen/" + std::to_string(body) + "/x.bin";
    request.reset(client.open_url(session.get(), url.c_str(), error));
    ASSERT_TRUE(request) << error;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    ASSERT_EQ(poll_until_answered(client, request.get(), error, std::chrono::seconds(120)), open_status::ready)
        << error;

    std::vector<char> chunk(read_chunk_bytes);
    const std::size_t before = resident_bytes();
    ASSERT_GT(before, 0u);
    std::size_t received = 0, most = before;
    read_status status = read_status::waiting;
    for (int reads = 0; std::chrono::steady_clock::now() < end; ++reads) {
        uint32_t count = 0;
        status = client.read(request.get(), chunk.data(), read_chunk_bytes, count, error);
        if (status == read_status::end || status == read_status::failed) break;
        received += count;
        if (reads % 16 == 0) most = std::max(most, resident_bytes());
        // A frame's worth of other work between reads.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    most = std::max(most, resident_bytes());
    EXPECT_EQ(status, read_status::end) << error;
    EXPECT_EQ(received, body);
    EXPECT_LT(most - before, std::size_t{12} << 20) << "resident memory grew from " << before << " to " << most;
}

int thread_count() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    CloseHandle(snapshot);
    return count;
}

// The test server's rules for a chain of `hops` 302 redirects in `folder`,
// hop0 to hop1 and on to end.bin, each hop's body given by `body` (a rule
// of the server's, such as "\"endless\": true").
std::string hop_chain_rules(const served_folder& folder, int hops, const std::string& body) {
    std::string rules = "{";
    for (int i = 0; i < hops; ++i) {
        const std::string next = i + 1 < hops ? folder.path("hop" + std::to_string(i + 1)) : folder.path("end.bin");
        rules += "\"" + folder.path("hop" + std::to_string(i)) + "\": {\"redirect\": [302, \"" + next + "\"], " +
                 body + "}" + (i + 1 < hops ? ", " : "}");
    }
    return rules;
}

// A chain of redirects whose bodies never end: each hop is left open and
// then to the closer, whose one thread drains them in turn. The process
// gains no thread per hop.
TEST(wininet_http, hops_with_endless_bodies_are_closed_by_one_thread) {
    TAMBER_REQUIRE_LIVE_SERVER();
    constexpr int hops = 8;
    served_folder folder;
    folder.write("end.bin", "chips");
    live_server::set_rules(hop_chain_rules(folder, hops, "\"endless\": true"));

    win32::wininet_http client;
    uint32_t error = 0;
    http_owner session(client);
    session.reset(client.open_session(http_user_agent, error));
    ASSERT_TRUE(session) << error;
    const int before = thread_count();
    ASSERT_GT(before, 0);
    {
        http_owner request(client);
        request.reset(client.open_url(session.get(), (folder.url() + "hop0").c_str(), error));
        ASSERT_TRUE(request) << error;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        ASSERT_EQ(poll_until_answered(client, request.get(), error, std::chrono::seconds(60)), open_status::ready)
            << error;
        uint32_t status = 0;
        EXPECT_TRUE(client.query_status(request.get(), status));
        EXPECT_EQ(status, 200u);
        std::string body;
        char chunk[64];
        read_status read = read_status::waiting;
        while (std::chrono::steady_clock::now() < end) {
            uint32_t count = 0;
            read = client.read(request.get(), chunk, sizeof chunk, count, error);
            if (read == read_status::end || read == read_status::failed) break;
            body.append(chunk, count);
            if (read == read_status::waiting) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_EQ(read, read_status::end) << error;
        EXPECT_EQ(body, "chips");
    }
    // The request's own thread may not have ended yet; the closer's is one
    // more, whatever the number of hops.
    const int after = thread_count();
    EXPECT_LE(after - before, 2) << before << " threads before, " << after << " after";
}


// Reads the body of an opened request to its end or a failure; false with
// the error when it failed.
bool read_whole(win32::wininet_http& client, http_handle request, std::string& body, uint32_t& error) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    char chunk[4096];
    while (std::chrono::steady_clock::now() < end) {
        uint32_t count = 0;
        const read_status read = client.read(request, chunk, sizeof chunk, count, error);
        if (read == read_status::end) return true;
        if (read == read_status::failed) return false;
        body.append(chunk, count);
        if (read == read_status::waiting) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// A chain of ten redirects whose bodies are far longer than a redirect's
// usual line, though they end. Each hop is read through and closed before
// the next, so its connection serves the next hop. Held open until the
// chain ended, every hop kept a connection of its own, and a cap on the
// connections to one server (INTERNET_OPTION_MAX_CONNS_PER_SERVER, two
// here) left the chain waiting for one of its own to be freed.
// Wine takes that option on no session handle (the set fails with
// ERROR_INTERNET_INVALID_OPERATION) and enforces no cap at all, its
// process-wide value of 2 included: the server counts the connections that
// carry the chain instead.
TEST(wininet_http, a_redirect_chain_needs_at_most_two_connections) {
    TAMBER_REQUIRE_LIVE_SERVER();
    constexpr int hops = 10;
    served_folder folder;
    folder.write("end.bin", "chips");
    live_server::set_rules(hop_chain_rules(folder, hops, "\"gen\": 300000"));

    win32::wininet_http client;
    client.set_connections_per_server(2);
    uint32_t error = 0;
    http_owner session(client);
    session.reset(client.open_session(http_user_agent, error));
    ASSERT_TRUE(session) << error;
    // The server by a name of its own ("127.1" is 127.0.0.1), so that no
    // idle connection that earlier tests left in WinINet's pool (one per
    // host name and port) carries the chain and is counted with it.
    std::string url = folder.url() + "hop0";
    const std::string usual = "//127.0.0.1:";
    ASSERT_NE(url.find(usual), std::string::npos) << url;
    url.replace(url.find(usual), usual.size(), "//127.1:");
    http_owner request(client);
    request.reset(client.open_url(session.get(), url.c_str(), error));
    ASSERT_TRUE(request) << error;
    ASSERT_EQ(poll_until_answered(client, request.get(), error, std::chrono::seconds(60)), open_status::ready)
        << error;
    uint32_t status = 0;
    EXPECT_TRUE(client.query_status(request.get(), status));
    EXPECT_EQ(status, 200u);
    std::string body;
    EXPECT_TRUE(read_whole(client, request.get(), body, error)) << error;
    EXPECT_EQ(body, "chips");

    const auto records = live_server::requests();
    EXPECT_EQ(records.size(), static_cast<std::size_t>(hops + 1));
    for (const request_record& r : records) EXPECT_LE(r.connections, 2u) << r.path;
}

// A session closed while a request of its own is still being read: the
// request's thread goes on with it through that session's internet handle,
// which stays open until the thread and the request are done with it.
// Closed at once, it took the request's handle with it, and WinINet handed
// the freed values out again, lowest first, to the next session's handles:
// the late calls of the first request (its reads, its close) then landed on
// those, and the second session's request failed with ERROR_INVALID_HANDLE.
TEST(wininet_http, a_closed_sessions_late_request_never_touches_a_later_session) {
    TAMBER_REQUIRE_LIVE_SERVER();
    win32::wininet_http client;
    uint32_t error = 0;
    http_owner first(client);
    first.reset(client.open_session(http_user_agent, error));
    ASSERT_TRUE(first) << error;
    // A body far longer than the reader's window, so that its thread waits
    // for the caller with the rest of it unread.
    constexpr std::size_t size = 4u << 20;
    http_owner late(client);
    late.reset(client.open_url(first.get(), (live_server::url() + "__gen/" + std::to_string(size) + "/a").c_str(),
                               error));
    ASSERT_TRUE(late) << error;
    ASSERT_EQ(poll_until_answered(client, late.get(), error, std::chrono::seconds(60)), open_status::ready)
        << error;
    first.close();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the closer's turn

    http_owner second(client);
    second.reset(client.open_session(http_user_agent, error));
    ASSERT_TRUE(second) << error;
    http_owner request(client);
    request.reset(client.open_url(second.get(), (live_server::url() + "__delay/1000/__gen/20/b").c_str(), error));
    ASSERT_TRUE(request) << error;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // its handles are made

    // The late request is read on, whichever way it ends, and closed while
    // the second session's request still waits for its reply.
    std::string body;
    read_whole(client, late.get(), body, error);
    late.close();

    ASSERT_EQ(poll_until_answered(client, request.get(), error, std::chrono::seconds(60)), open_status::ready)
        << error;
    uint32_t status = 0;
    EXPECT_TRUE(client.query_status(request.get(), status));
    EXPECT_EQ(status, 200u);
    body.clear();
    EXPECT_TRUE(read_whole(client, request.get(), body, error)) << error;
    EXPECT_TRUE(body == generated_bytes(20));
}

}  // namespace
}  // namespace tamber::test
