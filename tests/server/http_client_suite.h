// Tests that any http_client, and the updater on top of it, must pass
// against the real test server. A test folder instantiates them for its
// client with a traits type:
//
//   struct my_traits {
//       using client = ...;                           // an http_client
//       static constexpr uint32_t refused_error;      // open_url, nothing listening
//       static bool is_reset_error(uint32_t error);   // read, connection reset
//       static constexpr bool follows_308;            // 308 Permanent Redirect
//       static constexpr bool sends_no_cache_header;  // Cache-Control or Pragma
//       // With "Connection: close", bytes past the announced length that
//       // have already arrived may be read as body.
//       static constexpr bool may_read_past_announced_length;
//       // A chunked body cut off before its last chunk reads as failed.
//       static constexpr bool reports_cut_chunked_body;
//   };
//   INSTANTIATE_TYPED_TEST_SUITE_P(name, http_client_suite, my_traits);
//   INSTANTIATE_TYPED_TEST_SUITE_P(name, updater_live_suite, my_traits);
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "server/live_server.h"
#include "update/body_buffer.h"
#include "update/http.h"
#include "update/updater.h"
#include "update/update_test_support.h"

namespace tamber::test {

// Everything one GET gave.
struct fetch_result {
    bool opened = false;
    uint32_t open_error = 0;
    bool status_read = false;
    uint32_t status = 0;
    bool has_length = false;
    uint32_t length = 0;
    std::string body;
    std::vector<uint32_t> counts;  // of every read that gave bytes, then 0 for the end
    bool read_failed = false;
    uint32_t read_error = 0;
    bool gave_up = false;          // the body went past max_body or max_time
    double longest_read_ms = 0;    // the slowest single read call
    double longest_open_ms = 0;    // the slowest open_url or poll_open call
};

template <typename Traits>
class http_client_suite : public ::testing::Test {
protected:
    void SetUp() override {
        TAMBER_REQUIRE_LIVE_SERVER();
        uint32_t error = 0;
        session.reset(client.open_session(http_user_agent, error));
        ASSERT_TRUE(session) << "error " << error;
        live_server::clear_requests();
    }
    void TearDown() override { live_server::clear_rules(); }

    // GETs `url` and reads its body to its end, a failure, `max_body` bytes
    // or `max_time`, whichever comes first.
    fetch_result fetch(const std::string& url, std::size_t max_body = 64u << 20,
                       std::chrono::milliseconds max_time = std::chrono::seconds(60)) {
        using clock = std::chrono::steady_clock;
        fetch_result result;
        uint32_t error = 0;
        http_owner request(client);
        const auto start = clock::now();
        const auto took_ms = [](clock::time_point since) {
            return std::chrono::duration<double, std::milli>(clock::now() - since).count();
        };
        request.reset(client.open_url(session.get(), url.c_str(), error));
        result.longest_open_ms = took_ms(start);
        if (!request) {
            result.open_error = error;
            return result;
        }
        // The reply's headers, asked for as frames would ask.
        for (;;) {
            error = 0;
            const auto before = clock::now();
            const open_status status = client.poll_open(request.get(), error);
            result.longest_open_ms = std::max(result.longest_open_ms, took_ms(before));
            if (status == open_status::ready) break;
            if (status == open_status::failed) {
                result.open_error = error;
                return result;
            }
            if (clock::now() - start > max_time) {
                result.gave_up = true;
                return result;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        result.opened = true;
        result.status_read = client.query_status(request.get(), result.status);
        result.has_length = client.query_content_length(request.get(), result.length);
        std::vector<char> chunk(read_chunk_bytes);
        for (;;) {
            if (result.body.size() > max_body || clock::now() - start > max_time) {
                result.gave_up = true;
                break;
            }
            uint32_t count = 0;
            const auto before = clock::now();
            const read_status status = client.read(request.get(), chunk.data(), read_chunk_bytes, count, error);
            const double took = std::chrono::duration<double, std::milli>(clock::now() - before).count();
            result.longest_read_ms = std::max(result.longest_read_ms, took);
            if (status == read_status::failed) {
                result.read_failed = true;
                result.read_error = error;
                break;
            }
            if (status == read_status::end) {
                result.counts.push_back(0);
                break;
            }
            if (status == read_status::waiting) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            result.counts.push_back(count);
            result.body.append(chunk.data(), count);
        }
        return result;
    }

    typename Traits::client client;
    http_owner session{client};
};

TYPED_TEST_SUITE_P(http_client_suite);

TYPED_TEST_P(http_client_suite, reads_a_body_in_chunks_of_at_most_the_asked_size) {
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65536}, std::size_t{300001}}) {
        SCOPED_TRACE(size);
        const fetch_result r = this->fetch(live_server::url() + "__gen/" + std::to_string(size) + "/x.bin");
        ASSERT_TRUE(r.opened) << r.open_error;
        EXPECT_EQ(r.status, 200u);
        EXPECT_TRUE(r.has_length);
        EXPECT_EQ(r.length, size);
        EXPECT_FALSE(r.read_failed) << r.read_error;
        EXPECT_TRUE(r.body == generated_bytes(size));
        ASSERT_FALSE(r.counts.empty());
        EXPECT_EQ(r.counts.back(), 0u);
        for (uint32_t count : r.counts) EXPECT_LE(count, read_chunk_bytes);
        if (size == 65536) {
            EXPECT_GE(r.counts.size(), 2u);  // the end shows on a later read
        }
    }
}

TYPED_TEST_P(http_client_suite, reports_statuses_as_numbers) {
    for (uint32_t status : {204u, 304u, 404u, 500u, 503u}) {
        SCOPED_TRACE(status);
        const fetch_result r = this->fetch(live_server::url() + "__status/" + std::to_string(status) + "/x");
        ASSERT_TRUE(r.opened) << r.open_error;
        EXPECT_TRUE(r.status_read);
        EXPECT_EQ(r.status, status);
    }
    const fetch_result missing = this->fetch(live_server::url() + "no/such/file");
    EXPECT_EQ(missing.status, 404u);
}

TYPED_TEST_P(http_client_suite, without_content_length_the_body_ends_with_the_connection) {
    const fetch_result r = this->fetch(live_server::url() + "__nolength/__gen/70000/x");
    ASSERT_TRUE(r.opened);
    EXPECT_EQ(r.status, 200u);
    EXPECT_FALSE(r.has_length);
    EXPECT_FALSE(r.read_failed) << r.read_error;
    EXPECT_TRUE(r.body == generated_bytes(70000));
}

TYPED_TEST_P(http_client_suite, a_body_shorter_than_announced_ends_early) {
    const fetch_result r = this->fetch(live_server::url() + "__length/1000/__gen/999/x");
    ASSERT_TRUE(r.opened);
    EXPECT_EQ(r.length, 1000u);
    EXPECT_FALSE(r.read_failed) << r.read_error;
    EXPECT_EQ(r.body.size(), 999u);
}

TYPED_TEST_P(http_client_suite, bytes_beyond_the_announced_length) {
    const fetch_result r = this->fetch(live_server::url() + "__length/3/__gen/5/x");
    ASSERT_TRUE(r.opened);
    EXPECT_EQ(r.length, 3u);
    EXPECT_FALSE(r.read_failed) << r.read_error;
    if (TypeParam::may_read_past_announced_length && r.body.size() == 5) {
        EXPECT_EQ(r.body, generated_bytes(5));
    } else {
        EXPECT_EQ(r.body, generated_bytes(3));
    }
}

TYPED_TEST_P(http_client_suite, a_reset_connection_fails_the_read) {
    const fetch_result r = this->fetch(live_server::url() + "__reset/30000/__gen/300000/x");
    ASSERT_TRUE(r.opened);
    EXPECT_EQ(r.status, 200u);
    EXPECT_TRUE(r.read_failed);
    EXPECT_TRUE(TypeParam::is_reset_error(r.read_error)) << r.read_error;
    EXPECT_LT(r.body.size(), 300000u);
}

TYPED_TEST_P(http_client_suite, follows_redirects) {
    std::vector<int> codes = {301, 302, 303, 307};
    if (TypeParam::follows_308) codes.push_back(308);
    for (int code : codes) {
        SCOPED_TRACE(code);
        const fetch_result r = this->fetch(live_server::url() + "__redirect/" + std::to_string(code) + "/__gen/10/x");
        ASSERT_TRUE(r.opened) << r.open_error;
        EXPECT_EQ(r.status, 200u);
        EXPECT_EQ(r.length, 10u);
        EXPECT_TRUE(r.body == generated_bytes(10));
    }
    // A redirect without a Location is a plain reply.
    EXPECT_EQ(this->fetch(live_server::url() + "__status/302/x").status, 302u);

    // Every other 3xx is the final reply, Location or not: its own status,
    // ready once its headers are in, and its target is never asked for.
    for (int code : {300, 304, 305, 306}) {
        SCOPED_TRACE(code);
        live_server::clear_requests();
        const fetch_result r = this->fetch(live_server::url() + "__redirect/" + std::to_string(code) + "/__gen/10/x");
        ASSERT_TRUE(r.opened) << r.open_error;
        EXPECT_TRUE(r.status_read);
        EXPECT_EQ(r.status, static_cast<uint32_t>(code));
        EXPECT_FALSE(r.read_failed) << r.read_error;
        EXPECT_EQ(r.body, code == 304 ? "" : "moved\n");
        EXPECT_EQ(live_server::requests().size(), 1u);
    }
}

TYPED_TEST_P(http_client_suite, sends_the_agent_bypasses_caches_and_keeps_no_cookies) {
    live_server::clear_requests();
    EXPECT_EQ(this->fetch(live_server::url() + "__cookie/__gen/1/a").status, 200u);
    // A reply that any cache may keep for an hour, asked for twice.
    EXPECT_EQ(this->fetch(live_server::url() + "__cache/3600/__gen/1/b").status, 200u);
    EXPECT_EQ(this->fetch(live_server::url() + "__cache/3600/__gen/1/b").status, 200u);
    const auto records = live_server::requests();
    ASSERT_EQ(records.size(), 3u);  // the repeat came from the server, not a cache
    for (const request_record& r : records) {
        EXPECT_EQ(r.method, "GET");
        EXPECT_EQ(r.user_agent, "tamber/1.0");
        if (TypeParam::sends_no_cache_header) {
            EXPECT_TRUE(r.cache_control == "no-cache" || r.pragma == "no-cache")
                << "Cache-Control: " << r.cache_control << ", Pragma: " << r.pragma;
        }
        EXPECT_EQ(r.cookie, "");  // the cookie of the first reply is not sent back
    }
    EXPECT_EQ(records[2].path, "/__cache/3600/__gen/1/b");
}

TYPED_TEST_P(http_client_suite, a_server_that_is_not_there_fails_the_open) {
    // Port 9 (discard) has no listener on the test machine.
    const fetch_result r = this->fetch("http://127.0.0.1:9/x");
    EXPECT_FALSE(r.opened);
    EXPECT_EQ(r.open_error, TypeParam::refused_error);
}

TYPED_TEST_P(http_client_suite, a_request_closed_mid_body_leaves_the_session_sound) {
    // Two requests left open at once and closed early, then whole fetches
    // on the same session: nothing of the abandoned bodies leaks into them.
    for (int round = 0; round < 2; ++round) {
        uint32_t error = 0, count = 0;
        http_owner first(this->client), second(this->client);
        first.reset(this->client.open_url(this->session.get(), (live_server::url() + "__gen/500000/a").c_str(), error));
        second.reset(this->client.open_url(this->session.get(), (live_server::url() + "__gen/300000/b").c_str(), error));
        ASSERT_TRUE(first && second) << error;
        std::vector<char> chunk(read_chunk_bytes);
        read_status status = read_status::waiting;
        for (int i = 0; i < 10000 && status == read_status::waiting; ++i) {
            status = this->client.read(first.get(), chunk.data(), read_chunk_bytes, count, error);
            if (status == read_status::waiting) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_EQ(status, read_status::bytes) << error;
        EXPECT_TRUE(std::equal(chunk.begin(), chunk.begin() + count, generated_bytes(count).begin()));
        first.close();
        second.close();
        for (std::size_t size : {std::size_t{70000}, std::size_t{1000}}) {
            const fetch_result r = this->fetch(live_server::url() + "__gen/" + std::to_string(size) + "/c");
            EXPECT_FALSE(r.read_failed) << r.read_error;
            EXPECT_TRUE(r.body == generated_bytes(size)) << size;
        }
    }
}

TYPED_TEST_P(http_client_suite, a_chunked_body_is_read_whole_and_a_cut_one_fails) {
    const fetch_result whole = this->fetch(live_server::url() + "__chunked/__gen/70000/x");
    ASSERT_TRUE(whole.opened) << whole.open_error;
    EXPECT_FALSE(whole.has_length);
    EXPECT_FALSE(whole.read_failed) << whole.read_error;
    EXPECT_TRUE(whole.body == generated_bytes(70000));

    // One chunk of 1000 bytes of a 5000-byte body, then the connection
    // closes: the body did not end, so the read fails.
    const fetch_result cut = this->fetch(live_server::url() + "__chunkcut/1000/__gen/5000/x");
    ASSERT_TRUE(cut.opened) << cut.open_error;
    EXPECT_EQ(cut.status, 200u);
    EXPECT_LE(cut.body.size(), 1000u);
    if (!TypeParam::reports_cut_chunked_body) GTEST_SKIP() << "this client reads a cut chunked body as complete";
    EXPECT_TRUE(cut.read_failed);
}

TYPED_TEST_P(http_client_suite, reads_take_what_has_arrived_without_waiting_for_more) {
    // One byte every 100 ms: a read that waited to fill its buffer would
    // take a second; each one returns with what is there, or with nothing.
    const fetch_result r = this->fetch(live_server::url() + "__drip/100/__gen/10/x");
    ASSERT_TRUE(r.opened) << r.open_error;
    EXPECT_FALSE(r.read_failed) << r.read_error;
    EXPECT_TRUE(r.body == generated_bytes(10));
    EXPECT_GE(r.counts.size(), 4u);  // the bytes came over several reads
    EXPECT_LT(r.longest_read_ms, 100.0);

    // A server that stops sending: reads keep returning.
    const fetch_result stalled = this->fetch(live_server::url() + "__stall/100/__gen/1000/x", 64u << 20,
                                             std::chrono::milliseconds(800));
    ASSERT_TRUE(stalled.opened) << stalled.open_error;
    EXPECT_TRUE(stalled.gave_up);
    EXPECT_FALSE(stalled.read_failed);
    EXPECT_TRUE(stalled.body == generated_bytes(100));
    EXPECT_LT(stalled.longest_read_ms, 100.0);
}

TYPED_TEST_P(http_client_suite, an_endless_body_is_abandoned_at_once_when_closed) {
    for (const char* path : {"__endless/x", "__length/4294967295/__endless/x"}) {
        SCOPED_TRACE(path);
        const auto before = std::chrono::steady_clock::now();
        // fetch closes the request when it gives up after 4 MiB.
        const fetch_result r = this->fetch(live_server::url() + path, 4u << 20);
        ASSERT_TRUE(r.opened) << r.open_error;
        EXPECT_TRUE(r.gave_up);
        EXPECT_FALSE(r.read_failed) << r.read_error;
        EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(20));
        // The session still serves whole bodies.
        EXPECT_TRUE(this->fetch(live_server::url() + "__gen/1000/y").body == generated_bytes(1000));
    }
}

TYPED_TEST_P(http_client_suite, redirect_chains_are_followed_up_to_the_limit) {
    live_server::clear_requests();
    const fetch_result within = this->fetch(live_server::url() + "__hops/" + std::to_string(max_redirects) + "/__gen/10/x");
    ASSERT_TRUE(within.opened) << within.open_error;
    EXPECT_EQ(within.status, 200u);
    EXPECT_TRUE(within.body == generated_bytes(10));

    const fetch_result longer =
        this->fetch(live_server::url() + "__hops/" + std::to_string(max_redirects + 1) + "/__gen/10/x");
    EXPECT_FALSE(longer.opened);
    EXPECT_NE(longer.open_error, 0u);

    // A URL that redirects to itself.
    live_server::set_rules(R"({"/loop": {"redirect": [302, "/loop"]}})");
    live_server::clear_requests();
    const fetch_result loop = this->fetch(live_server::url() + "loop");
    EXPECT_FALSE(loop.opened);
    EXPECT_NE(loop.open_error, 0u);
    EXPECT_LE(live_server::requests().size(), static_cast<std::size_t>(max_redirects + 1));
}

TYPED_TEST_P(http_client_suite, opening_never_waits_for_the_reply) {
    using clock = std::chrono::steady_clock;
    // A reply that comes after a second, alone or at the start of a redirect
    // chain, or whose headers come one byte every 10 ms: the open and every
    // poll return at once.
    for (const char* path :
         {"__delay/1000/__gen/10/x", "__delay/1000/__hops/3/__gen/10/x", "__headdrip/10/__gen/10/x"}) {
        SCOPED_TRACE(path);
        const auto before = clock::now();
        const fetch_result r = this->fetch(live_server::url() + path);
        ASSERT_TRUE(r.opened) << r.open_error;
        EXPECT_EQ(r.status, 200u);
        EXPECT_TRUE(r.body == generated_bytes(10));
        EXPECT_GE(clock::now() - before, std::chrono::milliseconds(1000));
        EXPECT_LT(r.longest_open_ms, 100.0);
    }

    // A server that takes the request and does not answer: the request is
    // still awaited after a while, and closing it is immediate.
    uint32_t error = 0;
    http_owner request(this->client);
    auto before = clock::now();
    const std::string silent = live_server::url() + "__delay/20000/x";
    request.reset(this->client.open_url(this->session.get(), silent.c_str(), error));
    ASSERT_TRUE(request) << error;
    EXPECT_LT(clock::now() - before, std::chrono::milliseconds(100));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    before = clock::now();
    EXPECT_EQ(this->client.poll_open(request.get(), error), open_status::waiting);
    uint32_t count = 0;
    char byte = 0;
    EXPECT_EQ(this->client.read(request.get(), &byte, 1, count, error), read_status::waiting);
    request.close();
    EXPECT_LT(clock::now() - before, std::chrono::milliseconds(100));
    EXPECT_TRUE(this->fetch(live_server::url() + "__gen/1000/y").body == generated_bytes(1000));
}

TYPED_TEST_P(http_client_suite, a_redirect_with_a_long_or_endless_body_is_followed) {
    // A redirect's body is dropped, read to its end when it is short; one
    // past 64 KiB (libcurl cuts its connection there) or one that never
    // ends is left unread, and the chain goes on. The session's later
    // replies are whole: nothing of the dropped bodies is read as theirs.
    for (const char* path : {"__gen/300000/__redirect/302/__gen/10/x", "__endless/__redirect/302/__gen/10/x",
                             "__endless/__redirect/307/__hops/2/__gen/10/x"}) {
        SCOPED_TRACE(path);
        const fetch_result r = this->fetch(live_server::url() + path);
        ASSERT_TRUE(r.opened) << r.open_error;
        EXPECT_EQ(r.status, 200u);
        EXPECT_FALSE(r.read_failed) << r.read_error;
        EXPECT_TRUE(r.body == generated_bytes(10));
        EXPECT_TRUE(this->fetch(live_server::url() + "__gen/70000/y").body == generated_bytes(70000));
    }
}

REGISTER_TYPED_TEST_SUITE_P(http_client_suite, reads_a_body_in_chunks_of_at_most_the_asked_size,
                            reports_statuses_as_numbers, without_content_length_the_body_ends_with_the_connection,
                            a_body_shorter_than_announced_ends_early, bytes_beyond_the_announced_length,
                            a_reset_connection_fails_the_read, follows_redirects,
                            sends_the_agent_bypasses_caches_and_keeps_no_cookies,
                            a_server_that_is_not_there_fails_the_open,
                            a_request_closed_mid_body_leaves_the_session_sound,
                            a_chunked_body_is_read_whole_and_a_cut_one_fails,
                            reads_take_what_has_arrived_without_waiting_for_more,
                            an_endless_body_is_abandoned_at_once_when_closed,
                            redirect_chains_are_followed_up_to_the_limit, opening_never_waits_for_the_reply,
                            a_redirect_with_a_long_or_endless_body_is_followed);

// Runs a whole update of "tblobby.dll" from `base_url`, one step per
// millisecond at most, as frames would; returns the final state.
inline uint32_t run_whole_update(updater& up, const std::string& base_url) {
    up.set_base_url(base_url);
    up.start("tblobby.dll");
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (up.state() >= fetching_catalogue && up.state() <= downloading && std::chrono::steady_clock::now() < end) {
        up.step();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return up.state();
}

// The updater over the real client and server.
template <typename Traits>
class updater_live_suite : public ::testing::Test {
protected:
    void SetUp() override { TAMBER_REQUIRE_LIVE_SERVER(); }

    // A whole update from the folder (run_whole_update).
    uint32_t run(updater& up) { return run_whole_update(up, folder.url()); }

    std::string only_log_line() {
        const auto lines = log_lines();
        EXPECT_EQ(lines.size(), 1u);
        return lines.empty() ? std::string() : lines[0].substr(std::string(fixed_log_clock::stamp).size());
    }

    scratch_store store;
    fixed_log_clock clock;
    served_folder folder;
    typename Traits::client client;
};

TYPED_TEST_SUITE_P(updater_live_suite);

TYPED_TEST_P(updater_live_suite, whole_run_for_reference) {
    const std::string dll = pattern_bytes(100, 1);
    const std::string png = pattern_bytes(50, 2);
    const std::string big = pattern_bytes(65536, 3);
    this->folder.write(".pm_file_list", catalogue_line("tblobby.dll", dll) + catalogue_line("data/a.png", png) +
                                            catalogue_line("data/big/exact.bin", big) +
                                            catalogue_line("unlisted.bin", "x"));
    this->folder.write(".tb_file_list", "tblobby.dll: +data/\n");
    this->folder.write("tblobby.dll", dll);
    this->folder.write("data/a.png", png);
    this->folder.write("data/big/exact.bin", big);
    write_text("tblobby.dll", dll);

    updater up(this->client);
    EXPECT_EQ(this->run(up), complete);
    EXPECT_EQ(up.total_bytes(), 150u + 65536u);
    EXPECT_EQ(up.done_bytes(), up.total_bytes());
    EXPECT_EQ(read_file("data/a.png"), png);
    EXPECT_TRUE(read_file("data/big/exact.bin") == big);
    EXPECT_EQ(live_server::request_paths(),
              (std::vector<std::string>{this->folder.path(".pm_file_list"), this->folder.path(".tb_file_list"),
                                        this->folder.path("data/a.png"), this->folder.path("data/big/exact.bin")}));
    EXPECT_TRUE(log_lines().empty());

    // A second run of the same updater: lists kept, everything current.
    live_server::clear_requests();
    EXPECT_EQ(this->run(up), complete);
    EXPECT_TRUE(live_server::request_paths().empty());
}

TYPED_TEST_P(updater_live_suite, misbehaving_replies_end_as_the_fetcher_reports_them) {
    const std::string body = pattern_bytes(1000, 4);
    this->folder.write(".pm_file_list", catalogue_line("data/a.png", body));
    this->folder.write(".tb_file_list", "tblobby.dll: data/a.png\n");
    this->folder.write("data/a.png", body);
    this->folder.write("moved/a.png", body);
    const std::string file = this->folder.path("data/a.png");
    const std::string url = this->folder.url() + "data/a.png";
    struct row {
        std::string rule;
        uint32_t state;
        std::string line;  // empty: no line
    };
    const row rows[] = {
        {R"({"status": 404})", failed_http_status, "Cannot open '" + url + "': HTTP status 404"},
        {R"({"status": 302})", failed_http_status, "Cannot open '" + url + "': HTTP status 302"},
        {R"({"redirect": [300, ")" + this->folder.path("moved/a.png") + R"("]})", failed_http_status,
         "Cannot open '" + url + "': HTTP status 300"},
        {R"({"length": 1001})", failed_transfer,
         "'" + url + "': partial download, expected 1001 bytes, downloaded 1000"},
        {R"({"reset": 100, "gen": 100000})", failed_transfer, "'" + url + "': read error "},
        {R"({"nolength": true})", complete, ""},
        {R"({"slow": 2})", complete, ""},
        {R"({"redirect": [301, ")" + this->folder.path("moved/a.png") + R"("]})", complete, ""},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.rule);
        std::error_code ignored;
        std::filesystem::remove("download.log", ignored);
        std::filesystem::remove_all("data", ignored);
        live_server::set_rules("{\"" + file + "\": " + r.rule + "}");
        updater up(this->client);
        EXPECT_EQ(this->run(up), r.state);
        if (r.line.empty()) {
            EXPECT_TRUE(log_lines().empty());
            EXPECT_EQ(read_file("data/a.png"), body);
        } else if (r.line.back() == ' ') {  // ends with the platform's error number
            const std::string line = this->only_log_line();
            ASSERT_EQ(line.rfind(r.line, 0), 0u) << line;
            EXPECT_TRUE(TypeParam::is_reset_error(static_cast<uint32_t>(std::stoul(line.substr(r.line.size())))))
                << line;
            EXPECT_FALSE(std::filesystem::exists("data/a.png"));
        } else {
            EXPECT_EQ(this->only_log_line(), r.line);
            EXPECT_EQ(up.current_name(), "data/a.png");
            EXPECT_FALSE(std::filesystem::exists("data/a.png"));
        }
    }
}

TYPED_TEST_P(updater_live_suite, an_unreachable_server_fails_the_first_open) {
    updater up(this->client);
    up.set_base_url("http://127.0.0.1:9/");
    up.start("tblobby.dll");
    // The start only sends the request; a step finds it failed.
    EXPECT_EQ(up.state(), fetching_catalogue);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (up.state() == fetching_catalogue && std::chrono::steady_clock::now() < end) {
        up.step();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(up.state(), failed_open);
    EXPECT_EQ(this->only_log_line(),
              "Cannot open 'http://127.0.0.1:9/.pm_file_list': error " + std::to_string(TypeParam::refused_error));
}

// A misbehaving server ends the run in a failure state with one log line,
// nothing written and the previous file kept, whichever transfer it hits.
TYPED_TEST_P(updater_live_suite, hostile_replies_fail_with_one_line_and_nothing_written) {
    const std::string body = pattern_bytes(5000, 6);
    const std::string old = "previous contents";
    const std::string catalogue_text = catalogue_line("data/a.png", body);
    this->folder.write(".pm_file_list", catalogue_text);
    this->folder.write(".tb_file_list", "tblobby.dll: data/a.png\n");
    this->folder.write("data/a.png", body);
    const auto quoted = [](const std::string& path) { return "\"" + path + "\""; };
    struct row {
        std::string name;  // the transfer the rule hits
        std::string rule;
        uint32_t state;
        std::string line_start;
        bool read_error_of_platform;  // the line ends in the client's error number
    };
    const std::string oom = std::to_string(error_out_of_memory);
    const std::string stalled = std::to_string(error_timed_out);
    const row rows[] = {
        {"data/a.png", R"({"chunkcut": 1000})", failed_transfer, "'%': read error ", true},
        {".pm_file_list", R"({"chunkcut": 20})", failed_transfer, "'%': read error ", true},
        {"data/a.png", R"({"endless": true})", failed_transfer, "'%': read error " + oom, false},
        {"data/a.png", R"({"endless": true, "length": 4294967295})", failed_transfer, "'%': read error " + oom,
         false},
        {"data/a.png", R"({"stall": 100})", failed_transfer, "'%': read error " + stalled, false},
        {"data/a.png", R"({"redirect": [302, ")" + this->folder.path("data/a.png") + R"("]})", failed_open,
         "Cannot open '%': error ", true},
        {"data/a.png", R"({"hops": 11})", failed_open, "Cannot open '%': error ", true},
        // No reply at all, and a reply that comes too late.
        {"data/a.png", R"({"delay": 20000})", failed_open, "Cannot open '%': error " + stalled, false},
        {".tb_file_list", R"({"delay": 20000})", failed_open, "Cannot open '%': error " + stalled, false},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name + " " + r.rule);
        if (!TypeParam::reports_cut_chunked_body && r.rule.find("chunkcut") != std::string::npos) continue;
        std::error_code ignored;
        std::filesystem::remove("download.log", ignored);
        write_text("data/a.png", old);
        live_server::set_rules("{" + quoted(this->folder.path(r.name)) + ": " + r.rule + "}");
        updater up(this->client);
        up.set_stall_timeout(std::chrono::milliseconds(500));
        EXPECT_EQ(this->run(up), r.state);
        std::string expected = r.line_start;
        expected.replace(expected.find('%'), 1, this->folder.url() + r.name);
        const std::string line = this->only_log_line();
        EXPECT_EQ(line.rfind(expected, 0), 0u) << line;
        if (r.read_error_of_platform) {
            EXPECT_GT(line.size(), expected.size()) << line;
        } else {
            EXPECT_EQ(line, expected);
        }
        EXPECT_EQ(up.current_name(), r.name);
        EXPECT_EQ(read_file("data/a.png"), old);
    }
}

TYPED_TEST_P(updater_live_suite, slow_and_chunked_replies_still_download) {
    const std::string body = pattern_bytes(300, 7);
    this->folder.write(".pm_file_list", catalogue_line("data/a.png", body));
    this->folder.write(".tb_file_list", "tblobby.dll: data/a.png\n");
    this->folder.write("data/a.png", body);
    const std::string file = "\"" + this->folder.path("data/a.png") + "\"";
    for (const char* rule : {R"({"chunked": true})", R"({"drip": 2})", R"({"hops": 10})"}) {
        SCOPED_TRACE(rule);
        std::error_code ignored;
        std::filesystem::remove("download.log", ignored);
        std::filesystem::remove_all("data", ignored);
        live_server::set_rules("{" + file + ": " + rule + "}");
        updater up(this->client);
        EXPECT_EQ(this->run(up), complete);
        EXPECT_TRUE(log_lines().empty());
        EXPECT_EQ(read_file("data/a.png"), body);
    }
}

// An http_client whose every answer is in by the next call: a poll or read
// that would say `waiting` waits (a millisecond at a time, a minute at
// most) until there is one. Steps counted over it are what the updater and
// the client cost per file of their own, whatever the network's speed.
template <typename Client>
class answered_client final : public http_client {
public:
    http_handle open_session(const char* user_agent, uint32_t& error) override {
        return inner.open_session(user_agent, error);
    }
    http_handle open_url(http_handle session, const char* url, uint32_t& error) override {
        return inner.open_url(session, url, error);
    }
    open_status poll_open(http_handle request, uint32_t& error) override {
        return poll_until_answered(inner, request, error, std::chrono::seconds(60));
    }
    bool query_status(http_handle request, uint32_t& status) override { return inner.query_status(request, status); }
    bool query_content_length(http_handle request, uint32_t& length) override {
        return inner.query_content_length(request, length);
    }
    read_status read(http_handle request, void* buffer, uint32_t size, uint32_t& count, uint32_t& error) override {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        read_status status = read_status::waiting;
        while ((status = inner.read(request, buffer, size, count, error)) == read_status::waiting &&
               std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return status;
    }
    void close(http_handle handle) override { inner.close(handle); }

    Client inner;
};

// Small files one after another, over a client whose answers are in by the
// next step: a file costs three steps from its request to the next file's
// (the check that finds it missing and sends the request, its body, its end
// and the write), on either client. A step lost per file (one that only
// waits after a write, a body handed out in pieces, an end reported a step
// late) shows as a fourth.
TYPED_TEST_P(updater_live_suite, each_small_file_costs_at_most_three_steps) {
    constexpr int files = 40;
    const std::string dll = pattern_bytes(100, 1);
    std::string catalogue = catalogue_line("tblobby.dll", dll);
    for (int i = 0; i < files; ++i) {
        const std::string name = "data/f" + std::to_string(i) + ".bin";
        const std::string body = pattern_bytes(50 + (i * 37) % 451, static_cast<unsigned>(i));
        this->folder.write(name, body);
        catalogue += catalogue_line(name, body);
    }
    this->folder.write(".pm_file_list", catalogue);
    this->folder.write(".tb_file_list", "tblobby.dll: +data/\n");
    write_text("tblobby.dll", dll);

    answered_client<typename TypeParam::client> client;
    updater up(client);
    up.set_base_url(this->folder.url());
    up.start("tblobby.dll");
    int steps = 0;
    while (up.state() >= fetching_catalogue && up.state() <= downloading && steps < 100000) {
        up.step();
        ++steps;
    }
    EXPECT_EQ(up.state(), complete);
    EXPECT_EQ(read_file("data/f7.bin"), pattern_bytes(50 + 7 * 37, 7));
    // The two lists cost two steps each and the last check one; a few more
    // are allowed for a body that happens to come in two pieces. A step
    // more per file would be 40.
    EXPECT_LE(steps, 3 * files + 5 + 5);
}

REGISTER_TYPED_TEST_SUITE_P(updater_live_suite, whole_run_for_reference,
                            misbehaving_replies_end_as_the_fetcher_reports_them,
                            an_unreachable_server_fails_the_first_open,
                            hostile_replies_fail_with_one_line_and_nothing_written,
                            slow_and_chunked_replies_still_download, each_small_file_costs_at_most_three_steps);

}  // namespace tamber::test
