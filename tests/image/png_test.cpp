// The PNG writer every host and tool writes pictures with: what it writes is
// read back here by the format's rules (signature, chunks and their CRCs,
// the zlib stream's stored blocks and Adler-32), across more than one
// deflate block.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/png.h"

namespace tamber {
namespace {

uint32_t be32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t{b[at]} << 24 | uint32_t{b[at + 1]} << 16 | uint32_t{b[at + 2]} << 8 | b[at + 3];
}

TEST(png, checksums_match_their_published_values) {
    const std::string iend = "IEND", wikipedia = "Wikipedia";
    EXPECT_EQ(crc32(reinterpret_cast<const uint8_t*>(iend.data()), iend.size()), 0xAE426082u);
    EXPECT_EQ(adler32(reinterpret_cast<const uint8_t*>(wikipedia.data()), wikipedia.size()), 0x11E60398u);
}

TEST(png, an_image_over_one_deflate_block_reads_back_pixel_for_pixel) {
    constexpr uint32_t width = 200, height = 120;  // 72,120 bytes of rows: two stored blocks
    std::vector<uint8_t> rgb(size_t{width} * height * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
    const std::string path = (std::filesystem::temp_directory_path() / "tamber-png-test.png").string();
    ASSERT_TRUE(write_png(path, width, height, rgb));
    const std::vector<uint8_t> file = [&] {
        std::ifstream in(path, std::ios::binary);  // closed before the file is removed, as Windows needs
        return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }();
    std::filesystem::remove(path);

    ASSERT_GT(file.size(), 8u);
    EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 8),
              (std::vector<uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
    std::vector<std::string> names;
    std::vector<uint8_t> header, z;
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t length = be32(file, at);
        ASSERT_LE(at + 12 + length, file.size());
        const std::string name(file.begin() + at + 4, file.begin() + at + 8);
        EXPECT_EQ(crc32(file.data() + at + 4, 4 + length), be32(file, at + 8 + length)) << name;
        names.push_back(name);
        std::vector<uint8_t>& data = name == "IHDR" ? header : z;
        if (name != "IEND") data.insert(data.end(), file.begin() + at + 8, file.begin() + at + 8 + length);
        at += 12 + length;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    ASSERT_EQ(header.size(), 13u);
    EXPECT_EQ(be32(header, 0), width);
    EXPECT_EQ(be32(header, 4), height);
    EXPECT_EQ(std::vector<uint8_t>(header.begin() + 8, header.end()), (std::vector<uint8_t>{8, 2, 0, 0, 0}));

    // zlib header, stored blocks (BFINAL on the last only), Adler-32.
    ASSERT_GE(z.size(), 2u);
    EXPECT_EQ((z[0] << 8 | z[1]) % 31, 0);
    std::vector<uint8_t> raw;
    size_t at = 2;
    int blocks = 0;
    for (bool last = false; !last; ++blocks) {
        ASSERT_LE(at + 5, z.size());
        last = z[at] == 1;
        ASSERT_TRUE(z[at] == 0 || z[at] == 1);
        const uint32_t n = z[at + 1] | z[at + 2] << 8, complement = z[at + 3] | z[at + 4] << 8;
        ASSERT_EQ(n ^ 0xFFFF, complement);
        ASSERT_LE(at + 5 + n, z.size());
        raw.insert(raw.end(), z.begin() + at + 5, z.begin() + at + 5 + n);
        at += 5 + n;
    }
    EXPECT_EQ(blocks, 2);
    ASSERT_EQ(at + 4, z.size());
    EXPECT_EQ(adler32(raw.data(), raw.size()), be32(z, at));
    ASSERT_EQ(raw.size(), (size_t{width} * 3 + 1) * height);
    for (uint32_t y = 0; y < height; ++y) {
        const size_t row = y * (size_t{width} * 3 + 1);
        ASSERT_EQ(raw[row], 0) << "row " << y;  // filter type 0
        ASSERT_TRUE(std::equal(raw.begin() + row + 1, raw.begin() + row + 1 + width * 3, rgb.begin() + y * width * 3))
            << "row " << y;
    }

    EXPECT_FALSE(write_png(path, width, height + 1, rgb));  // a size that does not match the pixels
}

}  // namespace
}  // namespace tamber
