// The window of body bytes between the WinINet client's reader thread and
// its caller: bounded by its capacity however far the writer runs ahead,
// and the bytes come out in order across the ring's wrap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/win32/body_window.h"

namespace tamber::win32 {
namespace {

uint8_t pattern(std::size_t i) { return static_cast<uint8_t>(i % 251); }

// A writer that puts up to three reads' worth per turn, no more than the
// room (as the reader thread on a fast link does), and a caller that takes
// less per turn: the window never holds more than its capacity, and a body
// many times that size passes through it intact.
TEST(body_window, a_writer_far_ahead_of_the_caller_is_held_to_the_capacity) {
    constexpr std::size_t capacity = 4 * 65536;
    constexpr std::size_t body = 24u << 20;
    body_window window;
    ASSERT_TRUE(window.allocate(capacity));
    std::vector<uint8_t> read_bytes(65536), taken(65536);
    std::size_t written = 0, checked = 0;
    while (checked < body) {
        for (int writes = 0; writes < 3 && written < body && window.room() > 0; ++writes) {
            const std::size_t wanted = std::min({read_bytes.size(), window.room(), body - written});
            for (std::size_t i = 0; i < wanted; ++i) read_bytes[i] = pattern(written + i);
            ASSERT_EQ(window.put(read_bytes.data(), wanted), wanted);
            written += wanted;
            ASSERT_LE(window.size(), capacity);
        }
        const std::size_t got = window.take(taken.data(), 40000);
        ASSERT_GT(got, 0u);
        for (std::size_t i = 0; i < got; ++i) ASSERT_EQ(taken[i], pattern(checked + i)) << checked + i;
        checked += got;
    }
    EXPECT_EQ(window.capacity(), capacity);
    EXPECT_EQ(window.size(), 0u);
}

TEST(body_window, a_full_window_takes_only_what_the_caller_has_made_room_for) {
    body_window window;
    ASSERT_TRUE(window.allocate(1000));
    std::vector<uint8_t> bytes(1500);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = pattern(i);
    EXPECT_EQ(window.put(bytes.data(), 1500), 1000u);  // no more than fits
    EXPECT_EQ(window.room(), 0u);
    EXPECT_EQ(window.put(bytes.data(), 1), 0u);
    std::vector<uint8_t> out(1000);
    EXPECT_EQ(window.take(out.data(), 300), 300u);
    EXPECT_EQ(window.room(), 300u);
    EXPECT_EQ(window.put(bytes.data() + 1000, 500), 300u);  // wraps round
    EXPECT_EQ(window.take(out.data(), 2000), 1000u);
    for (std::size_t i = 0; i < 1000; ++i) ASSERT_EQ(out[i], pattern(300 + i)) << i;
    EXPECT_EQ(window.take(out.data(), 1), 0u);
}

}  // namespace
}  // namespace tamber::win32
