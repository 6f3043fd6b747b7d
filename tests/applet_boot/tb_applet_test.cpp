// The bootstrap applet: the update, its screen and the handover to the lobby
// library, over a fake HTTP client, a fake library loader and the fake font
// engine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "applet/tb_applet.h"
#include "draw_text/fake_font_engine.h"
#include "support/fake_library.h"
#include "update/update_test_support.h"

namespace tamber {
namespace {

std::vector<std::string> library_calls;
int32_t load_answer = 0;

tamber_result TAMBER_CALL lobby_load(tamber_handle, tamber_handle window, uint32_t reserved) {
    library_calls.push_back("load " + std::to_string(reinterpret_cast<uintptr_t>(window)) + " " +
                            std::to_string(reserved));
    return load_answer;
}
int32_t TAMBER_CALL lobby_get_balance() { return 0; }
void TAMBER_CALL lobby_receive_packet(uint32_t, uint32_t) {}
void TAMBER_CALL lobby_set_server_path(const char* url) { library_calls.push_back(std::string("set_server_path ") + url); }
void TAMBER_CALL lobby_set_application_type(int32_t type) {
    library_calls.push_back("set_application_type " + std::to_string(type));
}
void TAMBER_CALL lobby_unload() { library_calls.push_back("unload"); }

// "tblobby.dll": the functions above; `present` false fails like the
// system does for a missing file.
test::fake_library_loader make_lobby_loader() {
    using test::as_symbol;
    return {{"load", as_symbol(&lobby_load)},
            {"get_balance", as_symbol(&lobby_get_balance)},
            {"receive_packet", as_symbol(&lobby_receive_packet)},
            {"set_server_path", as_symbol(&lobby_set_server_path)},
            {"set_application_type", as_symbol(&lobby_set_application_type)},
            {"unload", as_symbol(&lobby_unload)}};
}

void* the_window() { return reinterpret_cast<void*>(uintptr_t{0x1234}); }

class tb_applet_test : public ::testing::Test {
protected:
    void SetUp() override {
        library_calls.clear();
        load_answer = 0;
    }
    void TearDown() override { library.unload(); }

    // The status and file lines the last render drew.
    std::vector<std::u16string> drawn_lines() const {
        std::vector<std::u16string> lines;
        for (const auto& run : engine.runs) lines.push_back(run.text);
        return lines;
    }

    void render() {
        engine.runs.clear();
        frame_view v = frame.view();
        boot.render(0, &v, 0, 0);
    }

    test::scratch_store store;
    test::fake_http http;
    test::fake_library_loader loader = make_lobby_loader();
    applet library{loader};
    int32_t application_type = 2;
    testing::fake_font_engine engine;
    font large{engine, large_font_desc()};
    font small{engine, small_font_desc()};
    render_bitmap bitmap{engine};
    text_resources text{large, small, bitmap};
    frame_image frame{800, 600};
    tb_applet boot{http, library, text};
};

TEST_F(tb_applet_test, answers_like_an_applet_that_takes_no_input) {
    EXPECT_EQ(boot.get_balance(), -1);
    EXPECT_EQ(boot.mouse_down(0, 10, 10, 0), 0);
    EXPECT_EQ(boot.mouse_drag(0, 10, 10), nullptr);
    EXPECT_EQ(boot.get_cursor(1, 1), nullptr);
    EXPECT_EQ(boot.io_state(5), 0);
    EXPECT_EQ(boot.load_result(), -1);
}

TEST_F(tb_applet_test, an_empty_base_url_hands_over_at_once_without_a_request) {
    boot.set_server_path("");
    boot.start_update(the_window(), application_type);
    EXPECT_EQ(boot.update_state().state(), complete);
    boot.update(16);
    EXPECT_TRUE(http.requests.empty());
    EXPECT_TRUE(http.user_agents.empty());
    EXPECT_EQ(loader.opened, std::vector<std::string>{"tblobby.dll"});
    EXPECT_TRUE(library.is_loaded());
    EXPECT_EQ(boot.load_result(), 0);
    EXPECT_EQ(boot.update_state().state(), idle);
    EXPECT_EQ(library_calls, (std::vector<std::string>{"load 4660 0", "set_server_path ", "set_application_type 2"}));
}

TEST_F(tb_applet_test, a_platform_that_maps_libraries_later_keeps_the_download_screen_until_it_can) {
    loader.prepare_waits = 3;
    boot.set_server_path("");
    boot.start_update(the_window(), application_type);
    for (int frame_number = 0; frame_number < 3; ++frame_number) {
        boot.update(16);
        EXPECT_TRUE(loader.opened.empty()) << "frame " << frame_number;
        EXPECT_EQ(boot.update_state().state(), complete);
        render();
        EXPECT_EQ(drawn_lines(), std::vector<std::u16string>{u"Download complete"});
    }
    boot.update(16);
    EXPECT_EQ(loader.prepared, std::vector<std::string>(4, "tblobby.dll"));
    EXPECT_EQ(loader.opened, std::vector<std::string>{"tblobby.dll"});
    EXPECT_TRUE(library.is_loaded());
    EXPECT_EQ(boot.update_state().state(), idle);
}

TEST_F(tb_applet_test, a_complete_update_passes_the_base_url_then_the_application_type) {
    const std::string lobby = "MZ lobby bytes";
    http.serve("http://updates.test/.pm_file_list", test::catalogue_line("tblobby.dll", lobby));
    http.serve("http://updates.test/.tb_file_list", "tblobby.dll:\n");
    http.serve("http://updates.test/tblobby.dll", lobby);
    boot.set_server_path("http://updates.test/");
    boot.start_update(the_window(), application_type);

    render();
    EXPECT_EQ(drawn_lines(), std::vector<std::u16string>{u"Retrieving file list..."});

    // The update that completes the download hands over at once: no frame
    // renders "Download complete" while the library is not loaded.
    for (int frame_number = 0; frame_number < 20 && !library.is_loaded(); ++frame_number) {
        boot.update(16);
        if (library.is_loaded()) break;
        EXPECT_NE(boot.update_state().state(), complete) << "frame " << frame_number;
        render();
        ASSERT_FALSE(drawn_lines().empty());
        EXPECT_NE(drawn_lines()[0], u"Download complete") << "frame " << frame_number;
    }
    ASSERT_TRUE(library.is_loaded());
    EXPECT_EQ(test::read_file("tblobby.dll"), lobby);
    EXPECT_EQ(library_calls, (std::vector<std::string>{"load 4660 0", "set_server_path http://updates.test/",
                                                       "set_application_type 2"}));
    // The updater was reset, but its base URL survives for the library.
    EXPECT_EQ(boot.update_state().state(), idle);
    EXPECT_EQ(boot.update_state().base_url(), "http://updates.test/");
    EXPECT_TRUE(test::log_lines().empty());
}

TEST_F(tb_applet_test, a_missing_lobby_library_stays_on_screen_with_its_code) {
    loader.present = false;
    boot.set_server_path("");
    boot.start_update(the_window(), application_type);
    boot.update(16);
    EXPECT_EQ(boot.load_result(), static_cast<int32_t>(0x8007007E));
    EXPECT_FALSE(library.is_loaded());
    EXPECT_TRUE(library_calls.empty());  // set_server_path and set_application_type reach nobody

    // Nothing is retried.
    boot.update(16);
    boot.update(16);
    EXPECT_EQ(loader.opened.size(), 1u);
    render();
    EXPECT_EQ(drawn_lines(), std::vector<std::u16string>{u"Error loading Quillon (8007007E)"});
}

TEST_F(tb_applet_test, a_library_whose_load_fails_shows_its_code_and_is_unmapped) {
    load_answer = static_cast<int32_t>(0x80004005);
    boot.set_server_path("");
    boot.start_update(the_window(), application_type);
    boot.update(16);
    EXPECT_EQ(boot.load_result(), static_cast<int32_t>(0x80004005));
    EXPECT_FALSE(library.is_loaded());
    EXPECT_EQ(loader.closed, 1);
    render();
    EXPECT_EQ(drawn_lines(), std::vector<std::u16string>{u"Error loading Quillon (80004005)"});
}

TEST_F(tb_applet_test, a_failed_download_names_the_file) {
    http.serve("http://updates.test/.pm_file_list", test::catalogue_line("a/b.dat", "12345") +
                                                        test::catalogue_line("tblobby.dll", "x"));
    http.serve("http://updates.test/.tb_file_list", "tblobby.dll: a/b.dat\n");
    http.serve("http://updates.test/a/b.dat", "12345").length = 1000;  // the body ends short
    boot.set_server_path("http://updates.test/");
    boot.start_update(the_window(), application_type);
    for (int frame_number = 0; frame_number < 10; ++frame_number) boot.update(16);
    ASSERT_EQ(boot.update_state().state(), failed_transfer);
    render();
    EXPECT_EQ(drawn_lines(), (std::vector<std::u16string>{u"Error downloading Quillon", u"File: a/b.dat"}));
    EXPECT_FALSE(library.is_loaded());
    EXPECT_EQ(test::log_lines().size(), 1u);
}

TEST_F(tb_applet_test, the_background_is_painted_before_the_panel) {
    boot.set_server_path("http://updates.test/");
    render();
    const frame_view v = frame.view();
    EXPECT_EQ(v.plane[2][0], 0x25);
    EXPECT_EQ(v.plane[1][0], 0);
    EXPECT_EQ(v.plane[0][0], 0);
    EXPECT_EQ(v.plane[2][310 * 800 + 250], 9);  // inside the panel: 0x25 darkened to 63/256
}

TEST(status_message, follows_the_updater_state_and_the_load_result) {
    EXPECT_EQ(status_message(idle, 0), "Loading Quillon...");
    EXPECT_EQ(status_message(idle, -1), "Error loading Quillon (FFFFFFFF)");
    EXPECT_EQ(status_message(idle, static_cast<int32_t>(0x8007000B)), "Error loading Quillon (8007000B)");
    EXPECT_EQ(status_message(fetching_catalogue, 0), "Retrieving file list...");
    EXPECT_EQ(status_message(fetching_dependencies, 0), "Retrieving file list...");
    EXPECT_EQ(status_message(checking, 0), "Downloading Quillon...");
    EXPECT_EQ(status_message(downloading, 0), "Downloading Quillon...");
    EXPECT_EQ(status_message(complete, 0), "Download complete");
    for (uint32_t s = failed_internet; s <= failed_write; ++s) EXPECT_EQ(status_message(s, 0), "Error downloading Quillon");
    EXPECT_EQ(status_message(12, 0), "");
}

}  // namespace
}  // namespace tamber
