#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "update/body_buffer.h"
#include "update/updater.h"
#include "update_test_support.h"

namespace tamber {
namespace {

using test::catalogue_line;
using test::fake_reply;
using test::log_lines;
using test::read_file;
using test::write_text;

const std::string base = "http://updates.test/q/";
const std::string stamp = test::fixed_log_clock::stamp;

class updater_run : public ::testing::Test {
protected:
    updater_run() : up(std::make_unique<updater>(http)) { up->set_base_url(base); }

    void serve_lists(const std::string& catalogue_text, const std::string& dependency_text) {
        http.serve(base + ".pm_file_list", catalogue_text);
        http.serve(base + ".tb_file_list", dependency_text);
    }

    // Steps until the state leaves 1 to 4; returns the number of steps.
    uint32_t run_to_end(uint32_t limit = 10000) {
        uint32_t steps = 0;
        while (up->state() >= fetching_catalogue && up->state() <= downloading && steps < limit) {
            up->step();
            ++steps;
        }
        return steps;
    }

    // Runs start and steps up to the first check (state 3).
    void start_and_reach_checking() {
        up->start("tblobby.dll");
        while (up->state() == fetching_catalogue || up->state() == fetching_dependencies) up->step();
        ASSERT_EQ(up->state(), checking);
    }

    test::scratch_store store;
    test::fixed_log_clock clock;
    test::fake_http http;
    std::unique_ptr<updater> up;
};

// Steps `run` a millisecond apart until it ends (or ten seconds pass), for
// the rules that count real time.
void step_in_real_time(updater& run) {
    const auto started = std::chrono::steady_clock::now();
    while (run.state() >= fetching_catalogue && run.state() <= downloading &&
           std::chrono::steady_clock::now() - started < std::chrono::seconds(10)) {
        run.step();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

TEST_F(updater_run, whole_run_for_reference) {
    const std::string dll = test::pattern_bytes(100, 1);
    const std::string png = test::pattern_bytes(50, 2);
    write_text("tblobby.dll", dll);
    serve_lists(catalogue_line("tblobby.dll", dll) + catalogue_line("data/a.png", png), "tblobby.dll: +data/\n");
    http.serve(base + "data/a.png", png);
    http.replies[base + ".pm_file_list"].chunks = {40};  // the catalogue arrives in pieces

    up->start("tblobby.dll");
    EXPECT_EQ(up->state(), fetching_catalogue);
    EXPECT_EQ(up->current_name(), ".pm_file_list");
    EXPECT_EQ(up->root_name(), "tblobby.dll");
    EXPECT_EQ(http.user_agents, std::vector<std::string>{"tamber/1.0"});

    // Catalogue: 40-byte pieces, then the step that sees the end opens the
    // dependency list.
    const uint32_t catalogue_size = static_cast<uint32_t>(http.replies[base + ".pm_file_list"].body.size());
    const uint32_t pieces = (catalogue_size + 39) / 40;
    for (uint32_t i = 0; i < pieces; ++i) {
        up->step();
        EXPECT_EQ(up->state(), fetching_catalogue);
        EXPECT_EQ(up->done_bytes(), 0u);
    }
    up->step();
    EXPECT_EQ(up->state(), fetching_dependencies);
    EXPECT_EQ(up->current_name(), ".tb_file_list");

    up->step();  // the whole dependency list in one read
    EXPECT_EQ(up->state(), fetching_dependencies);
    up->step();  // its end: the queue {data/a.png, tblobby.dll}
    EXPECT_EQ(up->state(), checking);
    EXPECT_EQ(up->total_bytes(), 150u);
    EXPECT_EQ(up->done_bytes(), 0u);
    EXPECT_EQ(up->current_name(), "");

    up->step();  // data/a.png is missing: its URL opens
    EXPECT_EQ(up->state(), downloading);
    EXPECT_EQ(up->current_name(), "data/a.png");
    up->step();
    EXPECT_EQ(up->state(), downloading);
    EXPECT_EQ(up->done_bytes(), 50u);
    up->step();  // end of body: written
    EXPECT_EQ(up->state(), checking);
    EXPECT_EQ(read_file("data/a.png"), png);

    up->step();  // tblobby.dll is current; the queue is empty in the same step
    EXPECT_EQ(up->state(), complete);
    EXPECT_EQ(up->done_bytes(), 150u);
    EXPECT_EQ(up->total_bytes(), 150u);
    EXPECT_EQ(up->step_count(), pieces + 1 + 2 + 3 + 1);
    EXPECT_EQ(up->current_name(), "tblobby.dll");

    EXPECT_EQ(http.requests,
              (std::vector<std::string>{base + ".pm_file_list", base + ".tb_file_list", base + "data/a.png"}));
    EXPECT_EQ(http.open_handles, 1);  // only the internet handle stays open
    EXPECT_FALSE(std::filesystem::exists("download.log"));
    for (uint32_t size : http.read_sizes) EXPECT_EQ(size, read_chunk_bytes);

    // A completed run stays put until reset.
    up->step();
    EXPECT_EQ(up->state(), complete);
    EXPECT_EQ(up->step_count(), pieces + 7);
}

TEST_F(updater_run, up_to_date_files_are_tested_ten_per_step) {
    struct row {
        int files;
        std::vector<uint32_t> states_after_each_step;
    };
    const row rows[] = {
        {25, {checking, checking, complete}},
        {10, {checking, complete}},
        {0, {complete}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.files);
        std::string catalogue_text;
        uint32_t total = 0;
        for (int i = 0; i < r.files; ++i) {
            const std::string name = "f" + std::to_string(100 + i);
            const std::string bytes = test::pattern_bytes(10 + i, i);
            write_text(name, bytes);
            catalogue_text += catalogue_line(name, bytes);
            total += 10 + i;
        }
        up = std::make_unique<updater>(http);
        up->set_base_url(base);
        serve_lists(catalogue_text, "tblobby.dll: +f\n");
        start_and_reach_checking();
        EXPECT_EQ(up->total_bytes(), total);
        const uint32_t steps_before = up->step_count();
        for (uint32_t expected : r.states_after_each_step) {
            up->step();
            EXPECT_EQ(up->state(), expected);
        }
        EXPECT_EQ(up->done_bytes(), total);
        EXPECT_EQ(up->step_count() - steps_before, r.states_after_each_step.size());
        EXPECT_EQ(http.requests.size(), 2u);  // the two lists, no file
        http.requests.clear();
    }
    EXPECT_TRUE(log_lines().empty());
}

TEST_F(updater_run, an_empty_base_url_completes_at_once_without_the_network) {
    up->set_base_url("");
    up->start("tblobby.dll");
    EXPECT_EQ(up->state(), complete);
    EXPECT_EQ(up->root_name(), "tblobby.dll");
    EXPECT_TRUE(http.user_agents.empty());
    EXPECT_TRUE(http.requests.empty());
    EXPECT_FALSE(std::filesystem::exists("download.log"));
}

TEST_F(updater_run, root_missing_from_the_dependency_list_ends_in_7_without_a_line) {
    const std::string dll = "dll";
    serve_lists(catalogue_line("tblobby.dll", dll), "other.dll: tblobby.dll\n");
    up->start("tblobby.dll");
    run_to_end();
    EXPECT_EQ(up->state(), failed_root_missing);
    EXPECT_EQ(up->root_name(), "tblobby.dll");
    EXPECT_FALSE(std::filesystem::exists("download.log"));
}

// Every failure: its final state and exactly one log line.
TEST_F(updater_run, every_failure_ends_in_its_state_with_one_log_line) {
    struct row {
        const char* what;
        void (*arrange)(test::fake_http&);
        uint32_t state;
        std::string line;
        std::string current_name;
    };
    const std::string png = test::pattern_bytes(1000, 3);
    const std::string catalogue_text = catalogue_line("data/a.png", png) + catalogue_line("z.dll", "z");
    const row rows[] = {
        {"internet handle", [](test::fake_http& h) {
             h.session_fails = true;
             h.session_error = 12001;
         },
         failed_internet, "InternetOpen: error 12001", ""},
        {"catalogue URL", [](test::fake_http& h) {
             h.replies[base + ".pm_file_list"].open_fails = true;
             h.replies[base + ".pm_file_list"].open_error = 12007;
         },
         failed_open, "Cannot open '" + base + ".pm_file_list': error 12007", ".pm_file_list"},
        {"dependency list status", [](test::fake_http& h) { h.replies[base + ".tb_file_list"].status = 304; },
         failed_http_status, "Cannot open '" + base + ".tb_file_list': HTTP status 304", ".tb_file_list"},
        {"file status", [](test::fake_http& h) { h.replies[base + "data/a.png"].status = 404; },
         failed_http_status, "Cannot open '" + base + "data/a.png': HTTP status 404", "data/a.png"},
        {"status 300", [](test::fake_http& h) { h.replies[base + "data/a.png"].status = 300; },
         failed_http_status, "Cannot open '" + base + "data/a.png': HTTP status 300", "data/a.png"},
        {"status 299", [](test::fake_http& h) { h.replies[base + "z.dll"].status = 299; }, complete, "", "z.dll"},
        {"status unreadable", [](test::fake_http& h) { h.replies[base + "data/a.png"].status_readable = false; },
         failed_http_status, "Cannot open '" + base + "data/a.png': HTTP status 500", "data/a.png"},
        {"read error", [](test::fake_http& h) {
             auto& r = h.replies[base + "data/a.png"];
             r.chunks = {300};
             r.fail_after = 700;
             r.read_error = 12030;
         },
         failed_transfer, "'" + base + "data/a.png': read error 12030", "data/a.png"},
        {"short body", [](test::fake_http& h) { h.replies[base + "data/a.png"].body.pop_back(); },
         failed_transfer, "'" + base + "data/a.png': partial download, expected 1000 bytes, downloaded 999",
         "data/a.png"},
        {"long body", [](test::fake_http& h) { h.replies[base + "data/a.png"].body += 'z'; },
         failed_transfer, "'" + base + "data/a.png': partial download, expected 1000 bytes, downloaded 1001",
         "data/a.png"},
        {"catalogue short", [](test::fake_http& h) { h.replies[base + ".pm_file_list"].length = 100000; },
         failed_transfer,
         "'" + base + ".pm_file_list': partial download, expected 100000 bytes, downloaded " +
             std::to_string(catalogue_text.size()),
         ".pm_file_list"},
    };
    // Every row runs twice: with the log, and with a folder where the log
    // would be. A log that cannot be opened loses its line and changes
    // nothing else.
    for (const bool log_blocked : {false, true}) {
        for (const row& r : rows) {
            SCOPED_TRACE(std::string(r.what) + (log_blocked ? ", log blocked" : ""));
            test::scratch_store run_store;
            if (log_blocked) std::filesystem::create_directory("download.log");
            test::fake_http fresh;
            fresh.serve(base + "data/a.png", png);
            fresh.serve(base + "z.dll", "z");
            fresh.serve(base + ".pm_file_list", catalogue_text);
            fresh.serve(base + ".tb_file_list", "tblobby.dll: data/a.png z.dll\n");
            r.arrange(fresh);
            {
                updater run(fresh);
                run.set_base_url(base);
                run.start("tblobby.dll");
                for (int i = 0; i < 100 && run.state() >= 1 && run.state() <= 4; ++i) run.step();
                EXPECT_EQ(run.state(), r.state);
                EXPECT_EQ(run.current_name(), r.current_name);
                EXPECT_EQ(run.root_name(), "tblobby.dll");
                if (log_blocked) {
                    EXPECT_TRUE(std::filesystem::is_directory("download.log"));
                } else if (r.state == complete) {
                    EXPECT_TRUE(log_lines().empty());
                } else {
                    const auto lines = log_lines();
                    ASSERT_EQ(lines.size(), 1u);
                    EXPECT_EQ(lines[0], stamp + r.line);
                }
                // A refused status closes its request at once; only the
                // internet handle stays open.
                if (r.state == failed_http_status) {
                    EXPECT_EQ(fresh.open_handles, 1);
                    EXPECT_EQ(fresh.closed.back(), "request " + base + r.current_name);
                }
                const uint32_t steps = run.step_count();
                run.step();  // final: nothing moves
                EXPECT_EQ(run.state(), r.state);
                EXPECT_EQ(run.step_count(), steps);
            }
            if (r.state == complete) {
                EXPECT_EQ(read_file("data/a.png"), png);
                EXPECT_EQ(read_file("z.dll"), "z");
            } else {
                EXPECT_FALSE(std::filesystem::exists("data/a.png"));
                EXPECT_FALSE(std::filesystem::exists("z.dll"));  // nothing after the failure
            }
            EXPECT_EQ(fresh.open_handles, 0);
        }
    }
}

TEST_F(updater_run, a_file_that_cannot_be_written_ends_in_11_and_earlier_files_stay) {
    const std::string a = "first", b = "second";
    serve_lists(catalogue_line("a.dll", a) + catalogue_line("data/b.png", b), "tblobby.dll: a.dll data/b.png\n");
    http.serve(base + "a.dll", a);
    http.serve(base + "data/b.png", b);
    write_text("data", "a file in the way");
    up->start("tblobby.dll");
    run_to_end();
    EXPECT_EQ(up->state(), failed_write);
    EXPECT_EQ(up->current_name(), "data/b.png");
    EXPECT_EQ(read_file("a.dll"), a);
    const auto lines = log_lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind(stamp + "Cannot open 'data/b.png': error ", 0), 0u) << lines[0];
    EXPECT_EQ(http.open_handles, 1);  // the request was closed after the body was consumed
}

#if !defined(_WIN32)
// A full disk that shows only when the written file is flushed (here a
// file-size limit, in a child process) is a failed write like any other:
// state 11, one line, the old copy as it was and no temporary file beside it.
TEST_F(updater_run, a_write_that_fails_when_flushed_ends_in_11_and_keeps_the_old_copy) {
    const std::string dll = test::pattern_bytes(2000, 4);
    serve_lists(catalogue_line("tblobby.dll", dll), "tblobby.dll:\n");
    http.serve(base + "tblobby.dll", dll);
    write_text("tblobby.dll", "old copy");
    const int state = test::with_file_size_limit(1000, [&] {
        up->start("tblobby.dll");
        run_to_end();
        return static_cast<int>(up->state());
    });
    EXPECT_EQ(state, failed_write);
    EXPECT_EQ(log_lines(), std::vector<std::string>{stamp + "Write error on 'tblobby.dll': error " +
                                                    std::to_string(EFBIG) + ": " + std::strerror(EFBIG)});
    EXPECT_EQ(read_file("tblobby.dll"), "old copy");
    EXPECT_EQ(test::folder_names(), (std::vector<std::string>{"download.log", "tblobby.dll"}));
}
#endif

TEST_F(updater_run, a_name_that_would_leave_the_store_is_never_tested_fetched_or_written) {
    const char* names[] = {"../evil.dll", "/etc/evil.dll", "C:/evil.dll", "data/../../evil.dll", "CON",
                           "data\\evil.dll"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        std::filesystem::remove("download.log");
        up = std::make_unique<updater>(http);
        up->set_base_url(base);
        http.requests.clear();
        serve_lists(catalogue_line(name, "evil"), std::string("tblobby.dll: ") + name + "\n");
        http.serve(base + name, "evil");
        up->start("tblobby.dll");
        run_to_end();
        EXPECT_EQ(up->state(), failed_write);
        EXPECT_EQ(up->current_name(), name);
        EXPECT_EQ(http.requests.size(), 2u);  // the lists only
        const auto lines = log_lines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0], stamp + "Cannot open '" + name + "': error " + std::to_string(EINVAL) + ": " +
                                std::strerror(EINVAL));
    }
    EXPECT_FALSE(std::filesystem::exists(store.path().parent_path() / "evil.dll"));
}

TEST_F(updater_run, a_body_past_the_memory_limit_fails_as_out_of_memory) {
    // Listed far larger than the limit, so the limit is what bites.
    serve_lists("big.bin 100000000 " + test::sha256_hex("whatever") + "\n", "tblobby.dll: big.bin\n");
    auto& endless = http.serve(base + "big.bin", "");
    endless.endless = true;
    endless.length.reset();
    up->set_receive_limit(3 * 65536 + 5);
    up->start("tblobby.dll");
    run_to_end();
    EXPECT_EQ(up->state(), failed_transfer);
    EXPECT_EQ(up->done_bytes(), 3u * 65536u);  // the chunks that fitted
    const auto lines = log_lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], stamp + "'" + base + "big.bin': read error " + std::to_string(error_out_of_memory));
    EXPECT_FALSE(std::filesystem::exists("big.bin"));
}

// A body may run past its listed size by one read; beyond that it is cut
// off as out of memory at once, one line, nothing written, the request
// closed. The lists, which have no listed size, are bounded at 64 MiB.
TEST_F(updater_run, a_body_longer_than_the_catalogue_allows_is_abandoned) {
    const std::string listed = test::pattern_bytes(1000, 8);
    struct row {
        const char* what;
        std::string name;
        std::size_t bound;
    };
    const row rows[] = {
        {"file", "big.bin", 1000 + body_slack_bytes},
        {"catalogue", ".pm_file_list", list_receive_limit},
        {"dependency list", ".tb_file_list", list_receive_limit},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        test::scratch_store run_store;
        test::fake_http fresh;
        fresh.serve(base + ".pm_file_list", catalogue_line("big.bin", listed));
        fresh.serve(base + ".tb_file_list", "tblobby.dll: big.bin\n");
        write_text("big.bin", "previous");
        auto& endless = fresh.serve(base + r.name, "");
        endless.endless = true;
        endless.length = 0xFFFFFFFFu;
        endless.chunks = {4096};
        updater run(fresh);
        run.set_base_url(base);
        run.start("tblobby.dll");
        uint32_t steps = 0;
        while (run.state() >= fetching_catalogue && run.state() <= downloading && steps < 100000) {
            run.step();
            ++steps;
        }
        EXPECT_EQ(run.state(), failed_transfer);
        EXPECT_EQ(run.current_name(), r.name);
        EXPECT_LE(steps, r.bound / 4096 + 10);
        EXPECT_EQ(log_lines(), std::vector<std::string>{stamp + "'" + base + r.name + "': read error " +
                                                        std::to_string(error_out_of_memory)});
        EXPECT_EQ(fresh.open_handles, 1);  // the request is already closed
        EXPECT_EQ(read_file("big.bin"), "previous");
    }

    // Up to one read past the listed size: written as received, fetched
    // again next time.
    const std::string longer = listed + std::string(body_slack_bytes, 'x');
    serve_lists(catalogue_line("big.bin", listed), "tblobby.dll: big.bin\n");
    http.serve(base + "big.bin", longer).length.reset();
    up->start("tblobby.dll");
    run_to_end();
    EXPECT_EQ(up->state(), complete);
    EXPECT_TRUE(read_file("big.bin") == longer);
    EXPECT_TRUE(log_lines().empty());
}

// Reads that find nothing yet let the step return; a transfer that gets no
// byte for the stall time fails with one line and writes nothing.
TEST_F(updater_run, a_slow_transfer_goes_on_and_a_stalled_one_fails) {
    const std::string body = test::pattern_bytes(50, 10);
    serve_lists(catalogue_line("a.bin", body), "tblobby.dll: a.bin\n");
    auto& drip = http.serve(base + "a.bin", body);
    drip.chunks = {1};
    drip.waits_before_each_read = 3;
    start_and_reach_checking();
    up->step();
    ASSERT_EQ(up->state(), downloading);
    const uint32_t steps_before = up->step_count();
    run_to_end();
    EXPECT_EQ(up->state(), complete);
    EXPECT_EQ(up->step_count() - steps_before, 51u * 4u + 1u);  // four reads a byte and for the end, one check
    EXPECT_EQ(up->done_bytes(), 50u);
    EXPECT_EQ(read_file("a.bin"), body);

    for (const char* name : {"a.bin", ".pm_file_list"}) {
        SCOPED_TRACE(name);
        test::scratch_store run_store;
        test::fake_http fresh;
        fresh.serve(base + ".pm_file_list", catalogue_line("a.bin", body));
        fresh.serve(base + ".tb_file_list", "tblobby.dll: a.bin\n");
        fresh.serve(base + "a.bin", body);
        fresh.replies[base + name].body.resize(20);
        fresh.replies[base + name].stalls = true;
        updater run(fresh);
        run.set_base_url(base);
        run.set_stall_timeout(std::chrono::milliseconds(50));
        run.start("tblobby.dll");
        const auto started = std::chrono::steady_clock::now();
        step_in_real_time(run);
        EXPECT_EQ(run.state(), failed_transfer);
        EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(50));
        EXPECT_EQ(log_lines(), std::vector<std::string>{stamp + "'" + base + name + "': read error " +
                                                        std::to_string(error_timed_out)});
        EXPECT_EQ(fresh.open_handles, 1);
        EXPECT_FALSE(std::filesystem::exists("a.bin"));
    }
}

// Opening only starts a request: until its reply's headers are in, each step
// returns at once in the transfer's own state; a request that gets no reply
// fails as an open, with one line, the request closed and nothing written.
// A clock the test moves by hand: one second a step below.
struct stepped_clock final : transfer_clock {
    std::chrono::steady_clock::time_point at{};
    std::chrono::steady_clock::time_point now() const override { return at; }
};

// A body that drips one byte every 29 s never trips the stall limit, but
// falls below the rate floor and fails in its first minute as a stalled
// transfer does: one line, request closed, nothing written. A link above the
// floor completes, even when its reply's headers took most of the stall time
// (the floor counts from the headers) and its bytes come in bursts.
TEST_F(updater_run, a_drip_under_the_rate_floor_fails_and_a_slow_honest_link_completes) {
    constexpr uint32_t floor_per_minute = rate_floor_bytes_per_second * 60;
    struct row {
        const char* what;
        uint32_t header_waits;      // seconds until the headers are in
        uint32_t bytes_per_read;
        uint32_t waits_per_read;    // seconds with nothing between reads
        bool completes;
    };
    const row rows[] = {
        {"one byte every 29 s", 0, 1, 28, false},
        {"a drip after slow headers", 25, 1, 28, false},
        {"just above the floor, after slow headers", 25, rate_floor_bytes_per_second + 4, 0, true},
        {"bursts every 10 s above the floor", 0, rate_floor_bytes_per_second * 12, 9, true},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        test::scratch_store run_store;
        write_text("a.bin", "previous");
        const std::string body = test::pattern_bytes(3 * floor_per_minute, 12);
        test::fake_http fresh;
        fresh.serve(base + ".pm_file_list", catalogue_line("a.bin", body));
        fresh.serve(base + ".tb_file_list", "tblobby.dll: a.bin\n");
        fake_reply& reply = fresh.serve(base + "a.bin", body);
        reply.header_waits = r.header_waits;
        reply.chunks = {r.bytes_per_read};
        reply.waits_before_each_read = r.waits_per_read;
        stepped_clock time;
        updater run(fresh);
        run.set_clock(&time);
        run.set_base_url(base);
        run.start("tblobby.dll");
        uint32_t seconds = 0;
        while (run.state() >= fetching_catalogue && run.state() <= downloading && seconds < 3600) {
            time.at += std::chrono::seconds(1);
            ++seconds;
            run.step();
        }
        if (r.completes) {
            EXPECT_EQ(run.state(), complete);
            EXPECT_TRUE(read_file("a.bin") == body);
            EXPECT_TRUE(log_lines().empty());
            continue;
        }
        EXPECT_EQ(run.state(), failed_transfer);
        // Judged once a whole minute has passed since the headers (the
        // lists and the check take a few steps before them), not sooner.
        EXPECT_GE(seconds, r.header_waits + 60);
        EXPECT_LE(seconds, r.header_waits + 70);
        EXPECT_EQ(log_lines(), std::vector<std::string>{stamp + "'" + base + "a.bin': read error " +
                                                        std::to_string(error_timed_out)});
        EXPECT_EQ(fresh.open_handles, 1);
        EXPECT_TRUE(read_file("a.bin") == "previous");
    }
}

TEST_F(updater_run, a_reply_is_awaited_step_by_step_and_one_that_never_comes_fails_the_open) {
    const std::string body = test::pattern_bytes(30, 11);
    serve_lists(catalogue_line("a.bin", body), "tblobby.dll: a.bin\n");
    http.serve(base + "a.bin", body).header_waits = 5;
    http.replies[base + ".pm_file_list"].header_waits = 3;
    up->start("tblobby.dll");
    for (int i = 0; i < 3; ++i) {
        up->step();
        EXPECT_EQ(up->state(), fetching_catalogue);
    }
    EXPECT_TRUE(http.read_sizes.empty());
    up->step();  // the headers are in, and the whole list is read in the same step
    EXPECT_EQ(http.read_sizes.size(), 1u);
    while (up->state() != downloading) up->step();
    for (int i = 0; i < 5; ++i) {
        up->step();
        EXPECT_EQ(up->state(), downloading);
        EXPECT_EQ(up->done_bytes(), 0u);
    }
    up->step();
    EXPECT_EQ(up->done_bytes(), 30u);
    run_to_end();
    EXPECT_EQ(up->state(), complete);
    EXPECT_EQ(read_file("a.bin"), body);
    EXPECT_TRUE(log_lines().empty());

    struct row {
        const char* what;
        std::string name;
        void (*arrange)(fake_reply&);
        std::string line;
    };
    const row rows[] = {
        {"no connection, catalogue", ".pm_file_list",
         [](fake_reply& r) {
             r.header_waits = 2;
             r.connect_fails = true;
             r.open_error = 12029;
         },
         "error 12029"},
        {"no connection, file", "a.bin",
         [](fake_reply& r) {
             r.connect_fails = true;
             r.open_error = 12029;
         },
         "error 12029"},
        {"no reply, dependency list", ".tb_file_list", [](fake_reply& r) { r.headers_never_come = true; },
         "error " + std::to_string(error_timed_out)},
        {"no reply, file", "a.bin", [](fake_reply& r) { r.headers_never_come = true; },
         "error " + std::to_string(error_timed_out)},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        test::scratch_store run_store;
        write_text("a.bin", "previous");
        test::fake_http fresh;
        fresh.serve(base + ".pm_file_list", catalogue_line("a.bin", body));
        fresh.serve(base + ".tb_file_list", "tblobby.dll: a.bin\n");
        fresh.serve(base + "a.bin", body);
        r.arrange(fresh.replies[base + r.name]);
        updater run(fresh);
        run.set_base_url(base);
        run.set_stall_timeout(std::chrono::milliseconds(50));
        run.start("tblobby.dll");
        const auto started = std::chrono::steady_clock::now();
        step_in_real_time(run);
        EXPECT_EQ(run.state(), failed_open);
        EXPECT_EQ(run.current_name(), r.name);
        EXPECT_EQ(log_lines(), std::vector<std::string>{stamp + "Cannot open '" + base + r.name + "': " + r.line});
        EXPECT_EQ(fresh.open_handles, 1);  // the request is closed
        EXPECT_EQ(read_file("a.bin"), "previous");
        if (r.line != "error 12029") {
            EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(50));
        }
    }
}

TEST_F(updater_run, a_body_of_exactly_65536_bytes_needs_a_second_read_to_complete) {
    const std::string body = test::pattern_bytes(65536, 9);
    serve_lists(catalogue_line("x.bin", body), "tblobby.dll: x.bin\n");
    http.serve(base + "x.bin", body);
    start_and_reach_checking();
    up->step();
    ASSERT_EQ(up->state(), downloading);
    http.read_sizes.clear();
    up->step();
    EXPECT_EQ(up->state(), downloading);
    EXPECT_EQ(up->done_bytes(), 65536u);
    up->step();
    EXPECT_EQ(up->state(), checking);
    EXPECT_EQ(http.read_sizes, (std::vector<uint32_t>{65536, 65536}));
    EXPECT_EQ(read_file("x.bin"), body);
}

TEST_F(updater_run, no_content_length_accepts_any_body_the_empty_one_included) {
    serve_lists(catalogue_line("a/b.dat", "") + catalogue_line("c.dat", "123"), "tblobby.dll: a/b.dat c.dat\n");
    auto& empty = http.serve(base + "a/b.dat", "");
    empty.length.reset();
    empty.status = 204;
    auto& longer = http.serve(base + "c.dat", "12345");  // longer than listed
    longer.length.reset();
    write_text("c.dat", "old contents that are longer");
    up->start("tblobby.dll");
    run_to_end();
    EXPECT_EQ(up->state(), complete);
    EXPECT_EQ(read_file("a/b.dat"), "");
    EXPECT_EQ(read_file("c.dat"), "12345");
    EXPECT_EQ(up->total_bytes(), 3u);
    EXPECT_EQ(up->done_bytes(), 5u);  // above the total: the body was longer than listed
}

TEST_F(updater_run, total_bytes_wraps_modulo_2_to_the_32) {
    serve_lists("a.bin 4294967290 X\nb.bin 16 Y\n", "tblobby.dll: a.bin b.bin\n");
    start_and_reach_checking();
    EXPECT_EQ(up->total_bytes(), 10u);
}

TEST_F(updater_run, reset_abandons_a_transfer_and_keeps_url_handle_and_lists) {
    const std::string body = test::pattern_bytes(200000, 4);
    serve_lists(catalogue_line("x.bin", body), "tblobby.dll: x.bin\n");
    http.serve(base + "x.bin", body);
    start_and_reach_checking();
    up->step();
    up->step();
    ASSERT_EQ(up->state(), downloading);
    ASSERT_EQ(http.open_handles, 2);

    up->reset();
    EXPECT_EQ(up->state(), idle);
    EXPECT_EQ(up->step_count(), 0u);
    EXPECT_EQ(up->root_name(), "");
    EXPECT_EQ(up->current_name(), "");
    EXPECT_EQ(up->total_bytes(), 0u);
    EXPECT_EQ(up->done_bytes(), 0u);
    EXPECT_EQ(up->base_url(), base);
    EXPECT_EQ(http.open_handles, 1);
    EXPECT_EQ(http.closed.back(), "request " + base + "x.bin");
    up->step();
    EXPECT_EQ(up->step_count(), 0u);

    // The lists stay loaded: the next start goes straight to checking and
    // fetches only the file; the internet handle is not opened again.
    http.requests.clear();
    up->start("tblobby.dll");
    EXPECT_EQ(up->state(), checking);
    EXPECT_EQ(up->total_bytes(), 200000u);
    run_to_end();
    EXPECT_EQ(up->state(), complete);
    EXPECT_EQ(http.requests, std::vector<std::string>{base + "x.bin"});
    EXPECT_EQ(http.user_agents.size(), 1u);
    EXPECT_EQ(read_file("x.bin"), body);

    // Destruction closes the request (none now) and then the internet handle.
    up.reset();
    EXPECT_EQ(http.open_handles, 0);
    EXPECT_EQ(http.closed.back(), "session");
}

TEST_F(updater_run, destruction_closes_the_request_before_the_internet_handle) {
    const std::string body = test::pattern_bytes(200000, 5);
    serve_lists(catalogue_line("x.bin", body), "tblobby.dll: x.bin\n");
    http.serve(base + "x.bin", body);
    start_and_reach_checking();
    up->step();
    ASSERT_EQ(up->state(), downloading);
    http.closed.clear();
    up.reset();
    EXPECT_EQ(http.closed, (std::vector<std::string>{"request " + base + "x.bin", "session"}));
    EXPECT_FALSE(std::filesystem::exists("x.bin"));
}

TEST_F(updater_run, a_list_that_fails_is_fetched_again_by_the_next_start) {
    serve_lists(catalogue_line("x.bin", "x"), "tblobby.dll: x.bin\n");
    http.serve(base + "x.bin", "x");
    http.replies[base + ".tb_file_list"].status = 500;
    up->start("tblobby.dll");
    run_to_end();
    ASSERT_EQ(up->state(), failed_http_status);

    // The catalogue is loaded; only the dependency list is fetched again.
    http.replies[base + ".tb_file_list"].status = 200;
    http.requests.clear();
    up->start("tblobby.dll");
    EXPECT_EQ(up->state(), fetching_dependencies);
    run_to_end();
    EXPECT_EQ(up->state(), complete);
    EXPECT_EQ(http.requests, (std::vector<std::string>{base + ".tb_file_list", base + "x.bin"}));
}

}  // namespace
}  // namespace tamber
