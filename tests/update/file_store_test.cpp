#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "update/file_store.h"
#include "update/sha256.h"
#include "update_test_support.h"

namespace tamber {
namespace {

using test::log_lines;
using test::read_file;

std::span<const uint8_t> bytes_of(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

TEST(file_store, parent_path_is_everything_before_the_last_slash) {
    EXPECT_EQ(parent_path("data/img/a.png"), "data/img");
    EXPECT_EQ(parent_path("a.png"), "");
    EXPECT_EQ(parent_path("/a.png"), "");
    EXPECT_EQ(parent_path("a//b"), "a/");
    EXPECT_EQ(parent_path(""), "");
}

TEST(file_store, writes_into_new_directories_and_replaces_whole_files) {
    test::scratch_store store;
    ASSERT_TRUE(write_file(bytes_of("nested"), "data/img/a.png"));
    EXPECT_TRUE(std::filesystem::is_directory("data/img"));
    EXPECT_EQ(read_file("data/img/a.png"), "nested");

    ASSERT_TRUE(write_file(bytes_of("top\r\nlevel\n"), "a.png"));
    EXPECT_EQ(read_file("a.png"), "top\r\nlevel\n");  // binary: line ends untouched

    // Shorter contents replace the longer ones completely; empty truncates.
    ASSERT_TRUE(write_file(bytes_of("x"), "data/img/a.png"));
    EXPECT_EQ(read_file("data/img/a.png"), "x");
    ASSERT_TRUE(write_file({}, "data/img/a.png"));
    EXPECT_EQ(read_file("data/img/a.png"), "");
    ASSERT_TRUE(write_file({}, "empty.bin"));
    EXPECT_EQ(read_file("empty.bin"), "");

    EXPECT_TRUE(log_lines().empty());
    EXPECT_EQ(test::folder_names(), (std::vector<std::string>{"a.png", "data/", "empty.bin"}));
    EXPECT_EQ(test::folder_names("data/img"), std::vector<std::string>{"a.png"});
}

TEST(file_store, a_file_where_a_directory_belongs_fails_with_the_platform_error) {
    test::scratch_store store;
    test::fixed_log_clock clock;
    test::write_text("data", "I am a file");
    EXPECT_FALSE(write_file(bytes_of("body"), "data/a.png"));
    EXPECT_EQ(read_file("data"), "I am a file");

    const auto lines = log_lines();
    ASSERT_EQ(lines.size(), 1u);
    const std::string prefix = std::string(test::fixed_log_clock::stamp) + "Cannot open 'data/a.png': error ";
    ASSERT_EQ(lines[0].rfind(prefix, 0), 0u) << lines[0];
    const int error = std::atoi(lines[0].c_str() + prefix.size());
    EXPECT_NE(error, 0);
    EXPECT_EQ(lines[0], prefix + std::to_string(error) + ": " + std::strerror(error));
}

// UTF-8 bytes such as those of the euro sign (E2 82 AC) are text in the
// ANSI code page on Windows, and 0x82 is one of the bytes code page 1252
// maps outside Latin-1. Testing, creating folders and opening must all read
// such a name the same way: a file written under it is found current, and a
// file under a folder of that name can be written at all.
TEST(file_store, non_ascii_names_name_one_file_for_writing_and_testing) {
    test::scratch_store store;
    test::fixed_log_clock clock;
    const std::string body = "euro";
    const std::string wrong_digest(64, '0');
    const std::string names[] = {"\xE2\x82\xAC.bin", "caf\xC3\xA9/\xE2\x82\xAC/tb\x80\x9F.bin",
                                 "\xE2\x82\xAC/top.bin"};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(write_file(bytes_of(body), name));
        EXPECT_EQ(read_file(name), body);

        uint64_t size = 0;
        ASSERT_TRUE(regular_file_size(name, size));
        EXPECT_EQ(size, body.size());

        std::FILE* file = std::fopen(name.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        uint8_t out[32];
        EXPECT_EQ(hash_file(file, out), body.size());
        std::fclose(file);
        EXPECT_FALSE(needs_download(name, static_cast<uint32_t>(body.size()), digest_to_hex(out)));
        EXPECT_TRUE(needs_download(name, static_cast<uint32_t>(body.size()), wrong_digest));
        EXPECT_TRUE(needs_download(name, static_cast<uint32_t>(body.size()) + 1, digest_to_hex(out)));
    }
    EXPECT_TRUE(log_lines().empty());

    // A folder is not a regular file, whatever its name.
    uint64_t size = 0;
    EXPECT_FALSE(regular_file_size("\xE2\x82\xAC", size));
    EXPECT_FALSE(regular_file_size("missing\xE2\x82\xAC.bin", size));
}

// A write that fails leaves the old file as it was and no temporary file
// beside it: a write cut short, one whose end fails only when stdio's buffer
// goes out at the flush or the close (a full disk, here a file-size limit),
// and one whose new version cannot take the old one's place.
class file_store_failure : public ::testing::Test {
protected:
    file_store_failure() { test::write_text("data/a.bin", old); }

    void expect_old_copy_alone() {
        EXPECT_EQ(read_file("data/a.bin"), old);
        EXPECT_EQ(test::folder_names("data"), std::vector<std::string>{"a.bin"});
    }

    test::scratch_store store;
    test::fixed_log_clock clock;
    const std::string old = "the old copy, which must survive";
    const std::string stamp = test::fixed_log_clock::stamp;
};

#if !defined(_WIN32)
TEST_F(file_store_failure, a_short_write_is_reported_with_both_counts) {
    const std::string big(100000, 'b');
    EXPECT_EQ(test::with_file_size_limit(1000, [&] { return write_file(bytes_of(big), "data/a.bin") ? 1 : 0; }), 0);
    const auto lines = log_lines();
    ASSERT_EQ(lines.size(), 1u);
    const std::string prefix = stamp + "Write error on 'data/a.bin': ";
    EXPECT_EQ(lines[0].rfind(prefix, 0), 0u) << lines[0];
    const std::string suffix = " bytes have been written instead of 100000";
    ASSERT_GE(lines[0].size(), suffix.size());
    EXPECT_EQ(lines[0].substr(lines[0].size() - suffix.size()), suffix);
    expect_old_copy_alone();
}

TEST_F(file_store_failure, a_write_that_fails_only_when_flushed_is_a_failure) {
    // Less than stdio's buffer: the write call takes it all, and the limit
    // bites when the buffer goes out.
    const std::string body = test::pattern_bytes(2000, 3);
    EXPECT_EQ(test::with_file_size_limit(1000, [&] { return write_file(bytes_of(body), "data/a.bin") ? 1 : 0; }), 0);
    EXPECT_EQ(log_lines(), std::vector<std::string>{stamp + "Write error on 'data/a.bin': error " +
                                                    std::to_string(EFBIG) + ": " + std::strerror(EFBIG)});
    expect_old_copy_alone();
}
#endif

TEST_F(file_store_failure, a_new_version_that_cannot_take_the_old_ones_place_is_removed) {
    // A folder with a file in it cannot be replaced by a file.
    test::write_text("data/sub/kept.txt", "kept");
    EXPECT_FALSE(write_file(bytes_of("new"), "data/sub"));
    const auto lines = log_lines();
    ASSERT_EQ(lines.size(), 1u);
    const std::string prefix = stamp + "Cannot replace 'data/sub': error ";
    ASSERT_EQ(lines[0].rfind(prefix, 0), 0u) << lines[0];
    EXPECT_NE(std::atoi(lines[0].c_str() + prefix.size()), 0);
    EXPECT_EQ(read_file("data/sub/kept.txt"), "kept");
    EXPECT_EQ(read_file("data/a.bin"), old);
    EXPECT_EQ(test::folder_names("data"), (std::vector<std::string>{"a.bin", "sub/"}));
}

}  // namespace
}  // namespace tamber
