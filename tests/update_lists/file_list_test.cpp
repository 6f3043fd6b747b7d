#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "update/file_list.h"

namespace tamber {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;
using namespace std::string_literals;

std::vector<std::string> names(const download_queue& queue) { return {queue.begin(), queue.end()}; }

TEST(parse_catalogue, takes_three_fields_and_skips_other_lines) {
    const struct {
        const char* line;
        bool taken;
        uint32_t size;
        const char* digest;
    } cases[] = {
        {"a 5 D", true, 5, "D"},
        {"a 5 D and more", true, 5, "D"},
        {"  a\t5\v D\f\r", true, 5, "D"},
        {"a 5D", true, 5, "D"},        // the size ends at the first non-digit
        {"a 0x10 D", true, 0, "x10"},  // decimal only
        {"a +5 D", true, 5, "D"},
        {"a -1 D", true, 4294967295u, "D"},  // negated modulo 2^32, as stream extraction does
        {"a 4294967295 D", true, 4294967295u, "D"},
        {"a 000000000000000000007 D", true, 7, "D"},
        {"a 5 lower", true, 5, "lower"},
        {"a 4294967296 D", false, 0, ""},
        {"a 99999999999999999999999 D", false, 0, ""},
        {"a 5", false, 0, ""},
        {"a 5 \r", false, 0, ""},
        {"a", false, 0, ""},
        {"a x5 D", false, 0, ""},
        {"a + 5 D", false, 0, ""},
        {"a - D", false, 0, ""},
        {"a +-5 D", false, 0, ""},
        {"", false, 0, ""},
        {" \t\r", false, 0, ""},
    };
    for (const auto& c : cases) {
        catalogue table;
        parse_catalogue(c.line, table);
        if (!c.taken) {
            EXPECT_THAT(table, IsEmpty()) << c.line;
            continue;
        }
        ASSERT_EQ(table.size(), 1u) << c.line;
        EXPECT_EQ(table.begin()->first, "a") << c.line;
        EXPECT_EQ(table.begin()->second.size, c.size) << c.line;
        EXPECT_EQ(table.begin()->second.digest, c.digest) << c.line;
    }
}

TEST(parse_catalogue, reads_lines_independently_and_the_last_line_for_a_name_wins) {
    catalogue table;
    table["kept"] = {1, "K"};
    parse_catalogue("b 2 B\r\nbroken line\na 1 A\n\nb 3 C\nlast 4 L", table);
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table["a"].size, 1u);
    EXPECT_EQ(table["b"].size, 3u);
    EXPECT_EQ(table["b"].digest, "C");
    EXPECT_EQ(table["kept"].digest, "K");
    EXPECT_EQ(table["last"].digest, "L");

    parse_catalogue("", table);
    EXPECT_EQ(table.size(), 4u);
}

TEST(parse_catalogue, keeps_every_byte_of_names_and_orders_them_bytewise) {
    catalogue table;
    parse_catalogue("z 1 Z\na/z 1 Y\nab 1 X\nB 1 W\n\xC3\xA9 1 V\nn\0ul 1 U\n"s, table);
    std::vector<std::string> keys;
    for (const auto& [name, entry] : table) keys.push_back(name);
    EXPECT_THAT(keys, ElementsAre("B", "a/z", "ab", "n\0ul"s, "z", "\xC3\xA9"));
}

TEST(parse_dependency_list, needs_a_colon_at_the_end_of_the_first_field) {
    dependency_table table;
    parse_dependency_list(
        "x.dll : a b\n"
        "x.dll: a b\n"
        "y.dll:a b\n"
        "\n"
        "x.dll:\tc a\r\n"
        "empty.dll:\n"
        "a:b: c\n"
        ": d\n"
        "z.dll: +data/ -data/big/ + -",
        table);
    EXPECT_THAT(table, ElementsAre(Pair("", ElementsAre("d")), Pair("a:b", ElementsAre("c")),
                                   Pair("empty.dll", IsEmpty()), Pair("x.dll", ElementsAre("a", "b", "c", "a")),
                                   Pair("z.dll", ElementsAre("+data/", "-data/big/", "+", "-"))));

    // A second parse of the same list appends the members again.
    parse_dependency_list("x.dll: e", table);
    EXPECT_THAT(table["x.dll"], ElementsAre("a", "b", "c", "a", "e"));
}

class resolution : public ::testing::Test {
protected:
    catalogue files;
    dependency_table dependencies;

    void lists(const std::string& catalogue_names, const std::string& dependency_text) {
        std::string text;
        size_t start = 0;
        while (start < catalogue_names.size()) {
            size_t end = catalogue_names.find(' ', start);
            if (end == std::string::npos) end = catalogue_names.size();
            text += catalogue_names.substr(start, end - start) + " 1 D\n";
            start = end + 1;
        }
        parse_catalogue(text, files);
        parse_dependency_list(dependency_text, dependencies);
    }

    std::vector<std::string> resolve(const std::string& root) {
        download_queue queue;
        EXPECT_TRUE(resolve_queue(root, files, dependencies, queue)) << root;
        return names(queue);
    }
};

TEST_F(resolution, fails_when_the_root_is_not_a_key) {
    lists("tblobby.dll data/a", "other.dll: data/a");
    download_queue queue;
    EXPECT_FALSE(resolve_queue("tblobby.dll", files, dependencies, queue));
    EXPECT_THAT(queue, IsEmpty());
}

TEST_F(resolution, queues_the_root_only_when_the_catalogue_lists_it) {
    lists("tblobby.dll", "tblobby.dll:\nlobby.dll:");
    EXPECT_THAT(resolve("tblobby.dll"), ElementsAre("tblobby.dll"));
    EXPECT_THAT(resolve("lobby.dll"), IsEmpty());
}

TEST_F(resolution, applies_members_in_order) {
    lists("data/a data/big/b data/big/c data/c Data/d other",
          "keep.dll: +data/ -data/big/\n"
          "all.dll: -data/big/ +data/\n"
          "back.dll: +data/ -data/ data/c\n"
          "every.dll: +\n"
          "none.dll: + other - data/a\n"
          "case.dll: +Data/ +dat -data/big\n");
    EXPECT_THAT(resolve("keep.dll"), ElementsAre("data/a", "data/c"));
    EXPECT_THAT(resolve("all.dll"), ElementsAre("data/a", "data/big/b", "data/big/c", "data/c"));
    EXPECT_THAT(resolve("back.dll"), ElementsAre("data/c"));
    EXPECT_THAT(resolve("every.dll"), ElementsAre("Data/d", "data/a", "data/big/b", "data/big/c", "data/c", "other"));
    EXPECT_THAT(resolve("none.dll"), ElementsAre("data/a"));
    EXPECT_THAT(resolve("case.dll"), ElementsAre("Data/d", "data/a", "data/c"));
}

TEST_F(resolution, expands_keys_once_and_queues_names_on_every_visit) {
    lists("a b f lib.dll x",
          "a: b -f\n"
          "b: a f\n"
          "root: a lib.dll -b b +lib\n"
          "lib.dll: x\n"
          "x: -x\n");
    // root queues a; a queues b; b finds a visited and queues f; a then drops
    // f; lib.dll is a file and a key; -b drops b and the plain b brings it
    // back although b was visited; +lib adds the file without expanding it.
    EXPECT_THAT(resolve("root"), ElementsAre("a", "b", "lib.dll"));
    EXPECT_THAT(resolve("b"), ElementsAre("a", "b", "f"));
}

TEST_F(resolution, prefixes_do_not_expand_keys) {
    lists("k z", "root: +k\nk: z\n");
    EXPECT_THAT(resolve("root"), ElementsAre("k"));
}

TEST_F(resolution, adds_to_the_queue_it_is_given) {
    lists("a b", "root: -");
    download_queue queue{"a", "elsewhere"};
    EXPECT_TRUE(resolve_queue("root", files, dependencies, queue));
    EXPECT_THAT(names(queue), ElementsAre("elsewhere"));
}

TEST_F(resolution, follows_long_chains_of_keys) {
    // A chain far deeper than a recursive walk could take on a thread's stack.
    const int depth = 50000;
    std::string catalogue_text;
    std::string dependency_text;
    for (int i = 0; i < depth; ++i) {
        catalogue_text += "k" + std::to_string(i) + " 1 D\n";
        dependency_text += "k" + std::to_string(i) + ": k" + std::to_string(i + 1) + "\n";
    }
    parse_catalogue(catalogue_text, files);
    parse_dependency_list(dependency_text, dependencies);
    EXPECT_EQ(resolve("k0").size(), size_t(depth));
}

TEST(is_store_name, accepts_plain_relative_files) {
    for (const char* name : {"tblobby.dll", "data/x.png", ".pm_file_list", "a/b/c/d.txt", "console.txt", "com10",
                             "lpt", "comx.dll", "nul_", "auxiliary/file", "a..b", "..a", ".a/b", "con_/x", "COMA",
                             "\xC3\xA9t\xC3\xA9/caf\xC3\xA9.png", "x~1", "a b"})
        EXPECT_TRUE(is_store_name(name)) << name;
}

TEST(is_store_name, refuses_names_that_leave_the_store_or_name_no_plain_file) {
    for (const char* name : {"", "/", "/a", "a/", "a//b", ".", "..", "./a", "a/./b", "../a", "a/../../b", "a/..",
                             "...", "C:/a", "C:a", "c:", "a:b", "a/b:stream", "\\\\server\\share\\a", "a\\b",
                             "//server/share/a", "CON", "con", "Con/a", "nul.txt", "data/Aux.png", "PRN.tar.gz",
                             "com1", "COM9.dll", "LPT1", "lpt9.log", "com0", "LPT0", "CONIN$", "conout$.x",
                             "COM\xC2\xB9", "lpt\xB3", "NUL .txt", "a.", "a ", "dir./x", "dir /x", "a\tb", "a\nb",
                             "a\rb", "a\x7f", "\x1b[0m"})
        EXPECT_FALSE(is_store_name(name)) << name;
    EXPECT_FALSE(is_store_name(std::string_view("a\0b", 3)));
}

}  // namespace
}  // namespace tamber
