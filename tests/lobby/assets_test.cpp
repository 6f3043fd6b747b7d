// The lobby's assets: the theme file, the BMP decoder, and loading the
// example content (or nothing) from the working directory.
#include <cstring>
#include <string>
#include <vector>

#include "lobby_test_support.h"

namespace lobby_test {
namespace {

lobby::theme parsed(const std::string &text) {
    lobby::theme t = lobby::default_theme();
    lobby::parse_theme(text.data(), text.size(), t);
    return t;
}

TEST(lobby_theme, settings_override_the_defaults) {
    const lobby::theme t = parsed(
        "# comment\r\n"
        "\n"
        "name   The Lucky  Seven \r\n"
        "  balance 1234567\n"
        "felt #102030\n"
        "accent\t#a0B0c0\n"
        "game2 Poker\n"
        "note3 Spin to win"); // no newline at the end
    EXPECT_STREQ(t.casino_name, "The Lucky  Seven");
    EXPECT_EQ(t.start_balance, 1234567);
    EXPECT_TRUE(same(t.felt, lobby::rgb(0x102030)));
    EXPECT_TRUE(same(t.accent, lobby::rgb(0xA0B0C0)));
    EXPECT_STREQ(t.tile_names[1], "Poker");
    EXPECT_STREQ(t.tile_notes[2], "Spin to win");
    EXPECT_STREQ(t.tile_names[0], "Roulette") << "untouched keys keep their default";
}

TEST(lobby_theme, bad_lines_are_skipped) {
    const lobby::theme defaults = lobby::default_theme();
    const lobby::theme t = parsed(
        "felt #12345\n"            // too short
        "header 102030\n"          // no '#'
        "panel #GG0000\n"          // not hex
        "balance -5\n"             // not a whole number
        "balance 99999999999\n"    // too large
        "game4 Keno\n"             // no fourth game
        "game0 Keno\n"
        "colour #FFFFFF\n"         // unknown key
        "name\n"                   // no value
        "name Caf\xC3\xA9\n"       // not drawable
        "text #FFFFFF\n");         // and a good line still applies
    EXPECT_TRUE(same(t.felt, defaults.felt));
    EXPECT_TRUE(same(t.header, defaults.header));
    EXPECT_TRUE(same(t.panel, defaults.panel));
    EXPECT_EQ(t.start_balance, defaults.start_balance);
    EXPECT_STREQ(t.casino_name, defaults.casino_name);
    for (int i = 0; i < lobby::tile_count; ++i) EXPECT_STREQ(t.tile_names[i], defaults.tile_names[i]);
    EXPECT_TRUE(same(t.text, lobby::rgb(0xFFFFFF)));
}

TEST(lobby_theme, long_values_are_cut_to_fit) {
    const lobby::theme t = parsed("name " + std::string(100, 'N') + "\ngame1 " + std::string(40, 'G') + "\n");
    EXPECT_EQ(std::strlen(t.casino_name), sizeof t.casino_name - 1);
    EXPECT_EQ(std::strlen(t.tile_names[0]), sizeof t.tile_names[0] - 1);
}

// A BMP file: 14-byte file header, 40-byte info header, then rows padded to
// four bytes, in blue-green-red order. `rows` are given top row first.
std::vector<uint8_t> bmp(int32_t width, int32_t height, bool top_down, const std::vector<std::vector<uint32_t>> &rows,
                         uint16_t bits = 24, uint32_t compression = 0) {
    const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
    std::vector<uint8_t> out(54 + stride * rows.size(), 0);
    auto u16 = [&](size_t at, uint32_t v) {
        out[at] = uint8_t(v);
        out[at + 1] = uint8_t(v >> 8);
    };
    auto u32 = [&](size_t at, uint32_t v) {
        u16(at, v & 0xFFFF);
        u16(at + 2, v >> 16);
    };
    out[0] = 'B';
    out[1] = 'M';
    u32(2, uint32_t(out.size()));
    u32(10, 54);
    u32(14, 40);
    u32(18, uint32_t(width));
    u32(22, uint32_t(top_down ? -height : height));
    u16(26, 1);
    u16(28, bits);
    u32(30, compression);
    for (size_t r = 0; r < rows.size(); ++r) {
        const size_t stored = top_down ? r : rows.size() - 1 - r;
        for (size_t x = 0; x < rows[r].size(); ++x) {
            uint8_t *p = &out[54 + stored * stride + x * 3];
            p[0] = uint8_t(rows[r][x]);       // blue
            p[1] = uint8_t(rows[r][x] >> 8);  // green
            p[2] = uint8_t(rows[r][x] >> 16); // red
        }
    }
    return out;
}

TEST(lobby_bmp, decodes_both_row_orders_with_padding) {
    // 3 x 2: rows of 9 bytes padded to 12. Colours written as 0xRRGGBB.
    const std::vector<std::vector<uint32_t>> rows = {{0xFF0000, 0x00FF00, 0x0000FF}, {0x102030, 0x405060, 0x708090}};
    for (bool top_down : {false, true}) {
        const std::vector<uint8_t> file = bmp(3, 2, top_down, rows);
        static lobby::image picture;
        ASSERT_TRUE(lobby::decode_bmp(file.data(), file.size(), picture)) << top_down;
        ASSERT_EQ(picture.width, 3);
        ASSERT_EQ(picture.height, 2);
        EXPECT_TRUE(same(picture.pixels[0], lobby::rgb(0xFF0000))) << "top left, top_down " << top_down;
        EXPECT_TRUE(same(picture.pixels[2], lobby::rgb(0x0000FF)));
        EXPECT_TRUE(same(picture.pixels[3], lobby::rgb(0x102030))) << "bottom left";
        EXPECT_TRUE(same(picture.pixels[5], lobby::rgb(0x708090)));
    }
}

TEST(lobby_bmp, refuses_what_it_cannot_read) {
    const std::vector<std::vector<uint32_t>> one_row = {{0x112233}};
    const std::vector<uint8_t> good = bmp(1, 1, false, one_row);
    struct {
        const char *what;
        std::vector<uint8_t> file;
    } cases[] = {
        {"32 bits per pixel", bmp(1, 1, false, one_row, 32)},
        {"compressed", bmp(1, 1, false, one_row, 24, 1)},
        {"zero width", bmp(0, 1, false, {{}})},
        {"wider than the cap", bmp(lobby::max_image_side + 1, 1, false, {{}})},
        {"more pixels than the cap", bmp(512, 512, false, {{}})},
        {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 54)},
        {"not a BMP", std::vector<uint8_t>(60, 'x')},
        {"empty", {}},
    };
    for (auto &c : cases) {
        static lobby::image picture;
        picture.width = picture.height = 7;
        EXPECT_FALSE(lobby::decode_bmp(c.file.data(), c.file.size(), picture)) << c.what;
        EXPECT_FALSE(picture.loaded()) << c.what;
    }
    // Height INT32_MIN cannot be negated.
    std::vector<uint8_t> file = good;
    file[22] = file[23] = file[24] = 0;
    file[25] = 0x80;
    static lobby::image picture;
    EXPECT_FALSE(lobby::decode_bmp(file.data(), file.size(), picture));
    // Pixel data offset pointing past the end.
    file = good;
    file[10] = 0xFF;
    EXPECT_FALSE(lobby::decode_bmp(file.data(), file.size(), picture));
}

TEST(lobby_assets, example_content_is_read_from_the_working_directory) {
    scoped_directory cwd(TAMBER_LOBBY_CONTENT_DIR);
    ASSERT_EQ(applet_load(nullptr, nullptr, 0), 0);
    const lobby::state &s = lobby::the_lobby();
    EXPECT_STREQ(s.look.casino_name, "GOLDEN TAMBER");
    EXPECT_EQ(applet_get_balance(), 2500);
    ASSERT_TRUE(s.have_icons);
    ASSERT_TRUE(s.have_felt);
    const lobby::image &icons = lobby::icons_image();
    EXPECT_EQ(icons.width, 192);
    EXPECT_EQ(icons.height, 64);

    // The roulette picture is drawn where the first tile shows its game:
    // centred 50 pixels below the tile's top.
    test_frame frame(800, 600, 800, 0);
    applet_render(16, &frame.view, -1, -1);
    const int32_t left = 170 - 32, top = lobby::layout::tiles[0].top + 50 - 32;
    int compared = 0;
    for (int32_t y = 0; y < 64; y += 7) {
        for (int32_t x = 0; x < 64; x += 5) {
            const lobby::colour p = icons.pixels[y * icons.width + x];
            if (same(p, lobby::rgb(0xFF00FF))) continue; // transparent
            EXPECT_TRUE(same(frame.at(left + x, top + y), p)) << x << "," << y;
            ++compared;
        }
    }
    EXPECT_GT(compared, 40);
    applet_unload();
}

TEST(lobby_assets, no_assets_means_built_in_defaults) {
    scoped_directory cwd(empty_directory());
    ASSERT_EQ(applet_load(nullptr, nullptr, 0), 0);
    const lobby::state &s = lobby::the_lobby();
    EXPECT_STREQ(s.look.casino_name, "TAMBER CASINO");
    EXPECT_FALSE(s.have_icons);
    EXPECT_FALSE(s.have_felt);
    EXPECT_EQ(applet_get_balance(), 1000);
    applet_unload();
}

} // namespace
} // namespace lobby_test
