// tamber's side of the message loop, without a display: what the default
// procedure does after the window procedure (a closed window is destroyed
// once, later messages are dropped, Alt+F4 closes), the frame clock, and
// replayed input arriving at its time counted from the lobby's first frame.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input_fakes.h"
#include "logging_display.h"
#include "platform/sdl/sdl_shell.h"
#include "support/fake_library.h"

namespace tamber::sdl {
namespace {

using ::testing::ElementsAre;

testing::call_log* lobby_log = nullptr;

tamber_result TAMBER_CALL lib_load(tamber_handle, tamber_handle, uint32_t) { return 0; }
int32_t TAMBER_CALL lib_get_balance() { return 0; }
void TAMBER_CALL lib_receive_packet(uint32_t, uint32_t) {}
void TAMBER_CALL lib_key_down(uint32_t vk) { lobby_log->push_back("lobby.key_down " + std::to_string(vk)); }
void TAMBER_CALL lib_on_wm_close() { lobby_log->push_back("lobby.on_wm_close"); }

struct loop_test : ::testing::Test {
    testing::call_log log;
    sdl_windows windows;
    frame_image frame{8, 8};
    testing::recording_applet bootstrap{log, "bootstrap"};
    test::fake_library_loader loader{{"load", test::as_symbol(&lib_load)},
                                     {"get_balance", test::as_symbol(&lib_get_balance)},
                                     {"receive_packet", test::as_symbol(&lib_receive_packet)},
                                     {"key_down", test::as_symbol(&lib_key_down)},
                                     {"on_wm_close", test::as_symbol(&lib_on_wm_close)}};
    applet library{loader};
    logging_display display{log};
    shell host{frame, bootstrap, library, windows, display};
    mouse_router mouse{windows, drag_distance, drag_distance, nullptr};
    window_procedure procedure{host, library, display, mouse, windows};

    void SetUp() override {
        lobby_log = &log;
        windows.use_frame_clock(true);
        windows.attach(procedure, library);
    }
    void TearDown() override { lobby_log = nullptr; }

    // Handles every waiting message; false once the loop would end.
    bool drain(int& exit_code) {
        while (windows.message_waiting())
            if (!windows.handle_message(nullptr, exit_code)) return false;
        return true;
    }
};

TEST_F(loop_test, a_closed_window_is_destroyed_once_and_later_messages_are_dropped) {
    // SDL reports a close request twice (the window's, then the quit).
    windows.post({wm::close, 0, 0});
    windows.post({wm::close, 0, 0});
    windows.post({wm::key_down, 'A', 1});
    int exit_code = -1;
    EXPECT_FALSE(drain(exit_code));
    EXPECT_EQ(exit_code, 0);
    EXPECT_THAT(log, ElementsAre("display.close"));
}

TEST_F(loop_test, alt_f4_closes_the_window_before_the_input_queued_behind_it) {
    ASSERT_EQ(library.load("tblobby.so", nullptr, 0), 0);
    // Key down and key up in one batch of events, as a quick Alt+F4 comes:
    // the window closes at once, so the lobby never sees the key-up.
    windows.post({extra_wm::system_key_down, 0x73, 0x20000001});
    windows.post({wm::key_down, 'A', 1});
    int exit_code = -1;
    EXPECT_FALSE(drain(exit_code));
    EXPECT_EQ(exit_code, 0);
    EXPECT_THAT(log, ElementsAre("lobby.on_wm_close", "display.close"));
}

TEST_F(loop_test, replayed_input_waits_for_the_lobby_and_arrives_at_its_frame) {
    windows.replay({{0, {wm::key_down, 'A', 1}}, {40, {wm::key_down, 'B', 1}}, {40, {wm::key_down, 'C', 1}}});
    int exit_code = 0;
    // Frames of the bootstrap applet: no input for it, the clock runs.
    EXPECT_EQ(windows.time_ms(), 0u);
    windows.frame_presented();
    windows.frame_presented();
    EXPECT_EQ(windows.time_ms(), 2 * frame_clock_ms);
    ASSERT_TRUE(drain(exit_code));
    EXPECT_EQ(windows.pending_replay(), 3u);

    ASSERT_EQ(library.load("tblobby.so", nullptr, 0), 0);
    windows.frame_presented();  // the lobby's first frame: time 0 of the input
    ASSERT_TRUE(drain(exit_code));
    EXPECT_THAT(log, ElementsAre("lobby.key_down 65"));
    windows.frame_presented();  // 20 ms
    ASSERT_TRUE(drain(exit_code));
    EXPECT_EQ(log.size(), 1u);
    windows.frame_presented();  // 40 ms: both at once, in their order
    ASSERT_TRUE(drain(exit_code));
    EXPECT_THAT(log, ElementsAre("lobby.key_down 65", "lobby.key_down 66", "lobby.key_down 67"));
    EXPECT_EQ(windows.pending_replay(), 0u);
}

TEST_F(loop_test, libraries_post_only_to_the_host_window) {
    // Before posting is set up, and to any other window, nothing is queued.
    EXPECT_FALSE(windows.post_from_library(nullptr, {wm::close, 0, 0}));
    int other = 0;
    EXPECT_FALSE(windows.post_from_library(&other, {wm::close, 0, 0}));
}

}  // namespace
}  // namespace tamber::sdl
