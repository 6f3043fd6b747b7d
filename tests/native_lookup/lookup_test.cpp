// The libcurl client while a host name's lookup hangs (getaddrinfo made to
// hang by the preloaded stalled_lookup.c): closing the request, a connect
// timeout and the end of the session return while the lookup is still
// hanging, instead of waiting for it on the caller's thread.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/native/curl_http.h"
#include "update/body_buffer.h"
#include "update/update_test_support.h"
#include "update/updater.h"

namespace tamber::test {
namespace {

using clock_type = std::chrono::steady_clock;

// The preloaded library's controls.
struct stalled_lookups {
    using count_type = int (*)(int*);
    using release_type = void (*)();
    count_type count = reinterpret_cast<count_type>(dlsym(RTLD_DEFAULT, "tamber_stalled_lookups"));
    release_type release = reinterpret_cast<release_type>(dlsym(RTLD_DEFAULT, "tamber_release_stalled_lookups"));

    bool loaded() const { return count && release; }
    int hanging() const { return count(nullptr); }
    int started() const {
        int ever = 0;
        count(&ever);
        return ever;
    }
};

class stalled_lookup_test : public ::testing::Test {
protected:
    void SetUp() override {
        if (!lookups.loaded()) GTEST_SKIP() << "stalled_lookup.c is not preloaded (ctest preloads it)";
        started_before = lookups.started();
    }
    // Lets this test's lookups end, so the next test starts with none.
    // Every test waits for its lookups to start, so none starts later.
    void TearDown() override {
        if (!lookups.loaded()) return;
        const auto end = clock_type::now() + std::chrono::seconds(30);
        while (lookups.hanging() > 0 && clock_type::now() < end) {
            lookups.release();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    // Waits (60 s at most) until `n` lookups this test asked for have
    // started, driving `request` as frames would.
    bool lookups_started(native::curl_http& client, http_handle request, int n) {
        const auto end = clock_type::now() + std::chrono::seconds(60);
        uint32_t error = 0;
        while (clock_type::now() < end) {
            if (client.poll_open(request, error) != open_status::waiting) return false;
            if (lookups.started() - started_before >= n) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    stalled_lookups lookups;
    int started_before = 0;
};

TEST_F(stalled_lookup_test, closing_the_request_and_the_session_does_not_wait_for_the_lookup) {
    native::curl_http client;
    uint32_t error = 0;
    http_owner session(client);
    session.reset(client.open_session(http_user_agent, error));
    ASSERT_TRUE(session) << error;
    http_owner request(client);
    request.reset(client.open_url(session.get(), "http://files.stalled.invalid/x", error));
    ASSERT_TRUE(request) << error;
    ASSERT_TRUE(lookups_started(client, request.get(), 1));

    // A close that waited would return only once the lookup had ended.
    request.close();
    EXPECT_EQ(lookups.hanging(), 1);

    // The session's end (the updater's at exit), with a request of its own
    // still looking up.
    request.reset(client.open_url(session.get(), "http://other.stalled.invalid/x", error));
    ASSERT_TRUE(request) << error;
    ASSERT_TRUE(lookups_started(client, request.get(), 2));
    EXPECT_EQ(lookups.hanging(), 2);
    session.close();
    request.close();
    EXPECT_EQ(lookups.hanging(), 2);
}

TEST_F(stalled_lookup_test, a_connect_timeout_during_the_lookup_fails_the_open_without_waiting_for_it) {
    native::curl_http client;
    client.set_connect_timeout(std::chrono::milliseconds(1000));
    uint32_t error = 0;
    http_owner session(client);
    session.reset(client.open_session(http_user_agent, error));
    ASSERT_TRUE(session) << error;
    http_owner request(client);
    request.reset(client.open_url(session.get(), "http://files.stalled.invalid/x", error));
    ASSERT_TRUE(request) << error;
    ASSERT_TRUE(lookups_started(client, request.get(), 1));
    EXPECT_EQ(poll_until_answered(client, request.get(), error, std::chrono::seconds(60)), open_status::failed);
    EXPECT_EQ(error, 28u);  // CURLE_OPERATION_TIMEDOUT
    // The poll that saw the timeout returned with the lookup still hanging.
    EXPECT_EQ(lookups.hanging(), 1);
}

TEST_F(stalled_lookup_test, the_updater_gives_up_on_the_reply_and_ends_while_the_lookup_hangs) {
    scratch_store store;
    fixed_log_clock log_clock;
    native::curl_http client;
    {
        updater up(client);
        up.set_stall_timeout(std::chrono::milliseconds(1000));
        up.set_base_url("http://files.stalled.invalid/");
        up.start("tblobby.dll");
        const auto end = clock_type::now() + std::chrono::seconds(60);
        while (up.state() == fetching_catalogue && clock_type::now() < end) {
            up.step();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_EQ(up.state(), failed_open);
        EXPECT_EQ(lookups.started() - started_before, 1);
        EXPECT_EQ(lookups.hanging(), 1);
        const auto lines = log_lines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].substr(std::string(fixed_log_clock::stamp).size()),
                  "Cannot open 'http://files.stalled.invalid/.pm_file_list': error " + std::to_string(error_timed_out));
    }
    EXPECT_EQ(lookups.hanging(), 1);
}

}  // namespace
}  // namespace tamber::test
