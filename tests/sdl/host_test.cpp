// tamber's command line, store folder, input files, snapshot names, cursor
// mapping and fullscreen choice.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sdl/headless.h"
#include "platform/sdl/host_options.h"
#include "platform/sdl/input_script.h"
#include "platform/sdl/sdl_display.h"
#include "platform/sdl/sdl_shell.h"
#include "platform/sdl/string_table.h"
#include "resources/resource_ids.h"

namespace tamber::sdl {
namespace {

bool parse(std::vector<const char*> args, host_options& options, std::string& error) {
    args.insert(args.begin(), "tamber");
    return parse_options(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(parse_options, accepts_the_headless_options) {
    host_options o;
    std::string error;
    ASSERT_TRUE(parse({"--frames", "40", "--snapshot", "out", "--snapshot-every", "5", "--input", "in.txt",
                       "--record", "rec.txt"},
                      o, error))
        << error;
    EXPECT_EQ(o.frames, 40u);
    EXPECT_EQ(o.snapshot_dir, "out");
    EXPECT_EQ(o.snapshot_every, 5u);
    EXPECT_EQ(o.input_file, "in.txt");
    EXPECT_EQ(o.record_file, "rec.txt");
    ASSERT_TRUE(parse({}, o, error));
    EXPECT_EQ(o.frames, 0u);
}

TEST(parse_options, refuses_what_it_cannot_honour_with_a_reason) {
    const std::vector<std::vector<const char*>> bad = {
        {"--frames"},           {"--frames", "0"},         {"--frames", "-3"},   {"--frames", "12x"},
        {"--frames", "99999999999"}, {"--snapshot", "out"}, {"--input", "in.txt"}, {"--record", ""},
        {"--fullscreen"},       {"-frames", "3"},          {"--frames", "3", "--snapshot-every", "0"},
    };
    for (const auto& args : bad) {
        host_options o;
        std::string error;
        EXPECT_FALSE(parse(args, o, error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
}

TEST(store_folder, follows_the_base_directory_rules) {
    EXPECT_EQ(store_folder("/data", "/home/p"), "/data/quillon");
    EXPECT_EQ(store_folder(nullptr, "/home/p"), "/home/p/.local/share/quillon");
    EXPECT_EQ(store_folder("", "/home/p"), "/home/p/.local/share/quillon");
    // A relative XDG_DATA_HOME is invalid and ignored; so is a relative home.
    EXPECT_EQ(store_folder("data", "/home/p"), "/home/p/.local/share/quillon");
    EXPECT_EQ(store_folder(nullptr, "home"), "");
    EXPECT_FALSE(set_up_store(""));
    EXPECT_FALSE(set_up_store("relative/quillon"));
}

TEST(input_script, recorded_lines_read_back_as_the_same_messages) {
    const std::vector<timed_message> messages = {
        {0, {wm::mouse_move, 0, pack_point(-5, 600)}},
        {20, {wm::left_button_down, mk_left, pack_point(10, 20)}},
        {20, {wm::mouse_wheel, static_cast<uint16_t>(-120) * 0x10000u, pack_point(3, 4)}},
        {40, {wm::key_down, 0x1B, 1}},
        {40, {wm::key_up, 'A', static_cast<intptr_t>(static_cast<int32_t>(0xC0000001u))}},
        {60, {wm::character, 0xE9, 1}},
        {80, {0x0118, 7, 9}},  // a message without a name
    };
    std::string text;
    for (const timed_message& m : messages) text += format_input_line(m);
    std::vector<timed_message> read;
    std::string error;
    ASSERT_TRUE(parse_input_script(text, read, error)) << error << "\n" << text;
    EXPECT_EQ(read, messages);
}

TEST(input_script, hand_written_files_with_comments_and_positions) {
    std::vector<timed_message> read;
    std::string error;
    ASSERT_TRUE(parse_input_script("# a chip to the table\n\n  0 mouse_move 0 400,300  # over the chip\r\n"
                                   "20\tleft_button_down 0x1 400,300\n100 left_button_up 0 -1,-1\n",
                                   read, error))
        << error;
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0].message, (window_message{wm::mouse_move, 0, pack_point(400, 300)}));
    EXPECT_EQ(read[2].message, (window_message{wm::left_button_up, 0, pack_point(-1, -1)}));
    EXPECT_EQ(read[2].time_ms, 100u);
}

TEST(input_script, malformed_lines_are_refused_by_number) {
    const std::pair<const char*, const char*> bad[] = {
        {"0 mouse_move 0\n", "line 1"},
        {"0 mouse_move 0 1,2\n10 bogus 0 0\n", "line 2"},
        {"20 mouse_move 0 1,2\n10 mouse_move 0 1,2\n", "line 2: time goes back"},
        {"-1 mouse_move 0 1,2\n", "line 1"},
        {"0 mouse_move 0 40000,2\n", "line 1"},
        {"0 mouse_move 0 1,\n", "line 1"},
        {"0 0x10000 0 0\n", "line 1"},
        {"0 key_down 0x1FFFFFFFF 0\n", "line 1"},
        {"0 key_down 12abc 0\n", "line 1"},
        {"x key_down 1 0\n", "line 1"},
    };
    for (const auto& [text, reason] : bad) {
        std::vector<timed_message> read;
        std::string error;
        EXPECT_FALSE(parse_input_script(text, read, error)) << text;
        EXPECT_THAT(error, ::testing::StartsWith(reason)) << text;
    }
}

TEST(headless, snapshot_names_and_cursor_shapes) {
    EXPECT_EQ(snapshot_name(false, 50), "progress-000050.png");
    EXPECT_EQ(snapshot_name(true, 7), "lobby-000007.png");
    EXPECT_EQ(system_cursor_for(nullptr), SDL_SYSTEM_CURSOR_ARROW);
    EXPECT_EQ(system_cursor_for(reinterpret_cast<cursor_handle>(uintptr_t{32649})), SDL_SYSTEM_CURSOR_HAND);
    EXPECT_EQ(system_cursor_for(reinterpret_cast<cursor_handle>(uintptr_t{32513})), SDL_SYSTEM_CURSOR_IBEAM);
    // A library's own handle (an address) is never used as an SDL cursor.
    int object = 0;
    EXPECT_EQ(system_cursor_for(&object), SDL_SYSTEM_CURSOR_ARROW);
}

TEST(sdl_display, fullscreen_uses_the_frame_sized_mode_only_where_offered) {
    const SDL_DisplayMode with[] = {{0, 1920, 1080, 60, nullptr}, {0, 800, 600, 60, nullptr}};
    const SDL_DisplayMode without[] = {{0, 1920, 1080, 60, nullptr}, {0, 1024, 768, 60, nullptr}};
    EXPECT_EQ(choose_fullscreen(with, 2, 800, 600), fullscreen_kind::exact_mode);
    EXPECT_EQ(choose_fullscreen(without, 2, 800, 600), fullscreen_kind::desktop);
    EXPECT_EQ(choose_fullscreen(nullptr, 0, 800, 600), fullscreen_kind::desktop);
    EXPECT_TRUE(select_converter(argb8888_format()));
}

TEST(string_table, the_resource_scripts_texts) {
    EXPECT_EQ(string_utf8(IDS_TITLE), "Online Casino");
    EXPECT_EQ(string_utf8(IDS_FILE_NOT_FOUND), "A required file, \"%s\", was not found. The application cannot continue.");
    EXPECT_EQ(string_utf8(IDS_WINDOW_FAILED, 0x80004005),
              "The main window could not be created. The application cannot continue.\nError code: 0x80004005.");
    EXPECT_EQ(string_utf8(999), "");
}

}  // namespace
}  // namespace tamber::sdl
