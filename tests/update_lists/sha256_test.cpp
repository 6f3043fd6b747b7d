#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "update/file_store.h"
#include "update/sha256.h"
#include "temp_folder.h"

namespace tamber {
namespace {

const std::string empty_digest = "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855";

std::string digest_of(const std::string& message) {
    sha256_context context;
    sha256_init(context);
    sha256_update(context, message.data(), message.size());
    uint8_t out[32];
    sha256_final(context, out);
    return digest_to_hex(out);
}

std::vector<uint8_t> random_bytes(std::mt19937& random, size_t count) {
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes) b = uint8_t(random());
    return bytes;
}

// The published FIPS 180-2 messages, and lengths on either side of the point
// where the padding needs a second block.
TEST(sha256, gives_the_published_digests) {
    const struct {
        std::string message;
        const char* digest;
    } cases[] = {
        {"", "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
        {"abc", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopq"
         "rstu",
         "CF5B16A778AF8380036CE59E7B0492370B249B11E8F07A51AFAC45037AFEE9D1"},
        {std::string(1000000, 'a'), "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0"},
        {std::string(55, 'a'), "9F4390F8D30C2DD92EC9F095B65E2B9AE9B0A925A5258E241C9F1E910F734318"},
        {std::string(56, 'a'), "B35439A4AC6F0948B6D6F9E3C6AF0F5F590CE20F1BDE7090EF7970686EC6738A"},
        {std::string(63, 'a'), "7D3E74A05D7DB15BCE4AD9EC0658EA98E3F06EEECF16B4C6FFF2DA457DDC2F34"},
        {std::string(64, 'a'), "FFE054FE7AE0CB6DC65C3AF9B61D5209F439851DB43D0BA5997337DF154668EB"},
        {std::string(65, 'a'), "635361C48BB9EAB14198E76EA8AB7F1A41685D6AD62AA9146D301D4F17EB0AE0"},
    };
    for (bool portable : {false, true}) {
        sha256_force_portable(portable);
        for (const auto& c : cases) EXPECT_EQ(digest_of(c.message), c.digest) << c.message.size() << " bytes";
    }
    sha256_force_portable(false);
}

TEST(sha256, hex_is_upper_case_most_significant_nibble_first) {
    uint8_t digest[32];
    for (int i = 0; i < 32; ++i) digest[i] = uint8_t(i * 8 + 0x0A);
    EXPECT_EQ(digest_to_hex(digest), "0A121A222A323A424A525A626A727A828A929AA2AAB2BAC2CAD2DAE2EAF2FA02");
}

TEST(sha256, any_split_of_the_input_gives_the_same_digest) {
    std::mt19937 random(7);
    for (int trial = 0; trial < 50; ++trial) {
        const std::vector<uint8_t> data = random_bytes(random, random() % 3000);
        sha256_context whole;
        sha256_init(whole);
        sha256_update(whole, data.data(), data.size());
        uint8_t expected[32];
        sha256_final(whole, expected);

        sha256_context pieces;
        sha256_init(pieces);
        for (size_t at = 0; at < data.size();) {
            const size_t piece = std::min<size_t>(data.size() - at, random() % 200);
            sha256_update(pieces, data.data() + at, piece);
            at += piece;
        }
        EXPECT_EQ(pieces.count_low, data.size());
        uint8_t out[32];
        sha256_final(pieces, out);
        EXPECT_EQ(digest_to_hex(out), digest_to_hex(expected)) << "trial " << trial;
    }
}

// The byte count is 64 bits wide: the carry reaches the high word, and the
// high word reaches the length bits in the padding.
TEST(sha256, counts_past_four_gigabytes) {
    sha256_context context;
    sha256_init(context);
    context.count_low = 0xFFFFFFF0u;
    uint8_t data[32] = {};
    sha256_update(context, data, 16);  // completes the block at 2^32 bytes
    EXPECT_EQ(context.count_low, 0u);
    EXPECT_EQ(context.count_high, 1u);

    // At exactly 2^32 bytes the final block is 0x80, zeros and the bit
    // count 2^35 = 00 00 00 08 00 00 00 00.
    sha256_context expected = context;
    uint8_t last[64] = {0x80};
    last[59] = 0x08;
    reference::sha256_transform(expected, last);
    uint8_t out[32];
    sha256_final(context, out);
    for (int i = 0; i < 8; ++i) {
        const uint32_t word = uint32_t(out[4 * i]) << 24 | uint32_t(out[4 * i + 1]) << 16 |
                              uint32_t(out[4 * i + 2]) << 8 | out[4 * i + 3];
        EXPECT_EQ(word, expected.state[i]) << i;
    }
}

TEST(sha256, fast_transforms_match_the_reference) {
    std::mt19937 random(11);
    sha256_force_portable(false);
    const bool hardware = sha256_hardware();
    for (bool portable : {true, false}) {
        if (!portable && !hardware) {
            std::printf("no SHA extensions on this CPU: hardware path not compared\n");
            continue;
        }
        sha256_force_portable(portable);
        EXPECT_EQ(sha256_hardware(), !portable);
        for (int trial = 0; trial < 200; ++trial) {
            sha256_context fast;
            for (uint32_t& word : fast.state) word = random();
            sha256_context slow = fast;
            const std::vector<uint8_t> block = random_bytes(random, 64);
            sha256_transform(fast, block.data());
            reference::sha256_transform(slow, block.data());
            ASSERT_EQ(std::memcmp(fast.state, slow.state, sizeof fast.state), 0) << "portable " << portable;
        }
        // Several whole blocks in one update go through the multi-block path.
        const std::vector<uint8_t> data = random_bytes(random, 64 * 37);
        sha256_context fast;
        sha256_init(fast);
        sha256_update(fast, data.data(), data.size());
        sha256_context slow;
        sha256_init(slow);
        for (size_t at = 0; at < data.size(); at += 64) reference::sha256_transform(slow, data.data() + at);
        EXPECT_EQ(std::memcmp(fast.state, slow.state, sizeof fast.state), 0) << "portable " << portable;
    }
    sha256_force_portable(false);
}

class sha256_files : public ::testing::Test {
protected:
    temp_folder folder{"sha256"};

    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = folder.name() + "/" + name;
        std::FILE* file = std::fopen(path.c_str(), "wb");
        EXPECT_NE(file, nullptr);
        if (file) {
            if (!bytes.empty()) {
                EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
            }
            std::fclose(file);
        }
        return path;
    }
};

std::vector<uint8_t> pattern(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = uint8_t(i * 31 + 7);
    return bytes;
}

TEST_F(sha256_files, hash_file_reads_to_the_end_from_the_current_position) {
    const struct {
        size_t size;
        const char* digest;
    } cases[] = {
        {4096, "D41D438C379110C7F7B2C561B1F04F26C1B4549110791F8E022F48974280C13E"},
        {4097, "BB37FB3430FB3BC003F70512EE0189AEC84B029B221885C8F16280D1B935483E"},
    };
    for (const auto& c : cases) {
        const std::string path = write("p" + std::to_string(c.size), pattern(c.size));
        std::FILE* file = std::fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        uint8_t out[32];
        EXPECT_EQ(hash_file(file, out), c.size);
        EXPECT_EQ(digest_to_hex(out), c.digest);

        // From a position inside the file: only the rest is hashed.
        std::fseek(file, long(c.size - 3), SEEK_SET);
        EXPECT_EQ(hash_file(file, out), 3u);
        const std::vector<uint8_t> all = pattern(c.size);
        EXPECT_EQ(digest_to_hex(out), digest_of(std::string(all.end() - 3, all.end())));
        std::fclose(file);
    }
}

TEST_F(sha256_files, needs_download_only_when_the_local_copy_differs) {
    const std::vector<uint8_t> bytes = pattern(4097);
    const std::string good = write("good.bin", bytes);
    const std::string digest = "BB37FB3430FB3BC003F70512EE0189AEC84B029B221885C8F16280D1B935483E";
    std::vector<uint8_t> changed = bytes;
    changed[2048] ^= 1;
    const std::string one_byte = write("changed.bin", changed);
    const std::string empty = write("empty.bin", {});
    std::filesystem::create_directory(folder.name() + "/dir");
    std::string lower = digest;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));

    EXPECT_FALSE(needs_download(good, 4097, digest));
    EXPECT_FALSE(needs_download(empty, 0, empty_digest));

    EXPECT_TRUE(needs_download(folder.name() + "/missing.bin", 4097, digest));
    EXPECT_TRUE(needs_download(good, 4096, digest));
    EXPECT_TRUE(needs_download(good, 4098, digest));
    EXPECT_TRUE(needs_download(one_byte, 4097, digest));
    EXPECT_TRUE(needs_download(good, 4097, lower));
    EXPECT_TRUE(needs_download(good, 4097, digest + "0"));
    EXPECT_TRUE(needs_download(good, 4097, ""));
    // A folder is never a current file, not even an "empty" one.
    EXPECT_TRUE(needs_download(folder.name() + "/dir", 0, empty_digest));
    EXPECT_TRUE(needs_download("", 0, empty_digest));
    EXPECT_TRUE(needs_download(empty + std::string(1, '\0') + "x", 0, empty_digest));
}

}  // namespace
}  // namespace tamber
