#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "update/download_log.h"
#include "update_test_support.h"

namespace tamber {
namespace {

using test::fixed_log_clock;
using test::local_time;
using test::log_lines;

TEST(download_log, time_stamp_is_24_characters_with_zero_padded_day_and_english_names) {
    struct row {
        int year, month, day, hour, minute, second;
        const char* expected;
    };
    const row rows[] = {
        {2026, 12, 8, 3, 37, 42, "Tue Dec 08 03:37:42 2026"},
        {2026, 3, 5, 0, 0, 9, "Thu Mar 05 00:00:09 2026"},
        {1999, 1, 1, 23, 59, 59, "Fri Jan 01 23:59:59 1999"},
    };
    for (const row& r : rows) {
        char stamp[32];
        format_log_time(local_time(r.year, r.month, r.day, r.hour, r.minute, r.second), stamp);
        EXPECT_STREQ(stamp, r.expected);
        EXPECT_EQ(std::string(stamp).size(), log_time_length);
    }
}

TEST(download_log, first_line_creates_the_file_and_later_lines_append) {
    test::scratch_store store;
    fixed_log_clock clock;
    ASSERT_FALSE(std::filesystem::exists("download.log"));

    log_message("Cannot open '%s': HTTP status %d", "http://h/.pm_file_list", 404);
    ASSERT_EQ(log_lines(), std::vector<std::string>{"[Tue Dec 08 03:37:42 2026] Cannot open "
                                                    "'http://h/.pm_file_list': HTTP status 404"});

    test::fixed_time() = local_time(2026, 3, 5, 14, 2, 3);
    log_message("'%s': partial download, expected %u bytes, downloaded %u", "u", 1000u, 999u);
    const auto lines = log_lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "[Tue Dec 08 03:37:42 2026] Cannot open 'http://h/.pm_file_list': HTTP status 404");
    EXPECT_EQ(lines[1], "[Thu Mar 05 14:02:03 2026] 'u': partial download, expected 1000 bytes, downloaded 999");
}

TEST(download_log, a_message_longer_than_the_buffer_is_cut_at_1023_characters) {
    test::scratch_store store;
    fixed_log_clock clock;
    const std::string url(3000, 'u');
    log_message("'%s': read error %d", url.c_str(), 5);
    const auto lines = log_lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], std::string(fixed_log_clock::stamp) + "'" + std::string(1022, 'u'));

    // Exactly 1,023 characters still fit whole.
    std::filesystem::remove("download.log");
    log_line(std::string(1023, 'x').c_str());
    log_message("%s", std::string(1023, 'y').c_str());
    const auto whole = log_lines();
    ASSERT_EQ(whole.size(), 2u);
    EXPECT_EQ(whole[0], std::string(fixed_log_clock::stamp) + std::string(1023, 'x'));
    EXPECT_EQ(whole[1], std::string(fixed_log_clock::stamp) + std::string(1023, 'y'));
}

std::vector<std::string> mirrored;
void mirror(const char* line) { mirrored.emplace_back(line); }

TEST(download_log, a_log_that_cannot_be_opened_drops_the_line_quietly_but_the_mirror_still_gets_it) {
    test::scratch_store store;
    fixed_log_clock clock;
    mirrored.clear();
    set_log_mirror(mirror);
    std::filesystem::create_directory("download.log");
    log_message("InternetOpen: error %d", 12);
    set_log_mirror(nullptr);
    log_message("after the mirror is gone");
    EXPECT_TRUE(std::filesystem::is_directory("download.log"));
    EXPECT_TRUE(std::filesystem::is_empty("download.log"));
    // The mirror's line is the file's line without its newline.
    EXPECT_EQ(mirrored, std::vector<std::string>{std::string(fixed_log_clock::stamp) + "InternetOpen: error 12"});
}

}  // namespace
}  // namespace tamber
