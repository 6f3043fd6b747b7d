// The body bytes a request's reader thread has taken from the network and
// the caller has not taken yet: a ring of a fixed capacity, allocated once,
// so however far the reader runs ahead of the caller it holds no more than
// that; the rest of the body waits in the socket. Standard C++ alone (its
// logic is tested natively too); the owner guards it with its own lock.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace tamber::win32 {

class body_window {
public:
    body_window() = default;
    ~body_window() { std::free(data_); }
    body_window(const body_window&) = delete;
    body_window& operator=(const body_window&) = delete;

    // Allocates the ring; false, with a capacity of 0, when the memory
    // cannot be had. Called once, before anything is put in.
    bool allocate(std::size_t capacity) noexcept {
        if (data_) return capacity_ == capacity;
        data_ = static_cast<unsigned char*>(std::malloc(capacity));
        capacity_ = data_ ? capacity : 0;
        return data_ != nullptr;
    }

    std::size_t capacity() const noexcept { return capacity_; }
    // The unread bytes held.
    std::size_t size() const noexcept { return size_; }
    // How many more bytes fit.
    std::size_t room() const noexcept { return capacity_ - size_; }

    // Appends as many of the `count` bytes as there is room for; returns
    // how many.
    std::size_t put(const void* bytes, std::size_t count) noexcept {
        count = std::min(count, room());
        if (count == 0) return 0;
        const auto* from = static_cast<const unsigned char*>(bytes);
        const std::size_t tail = (head_ + size_) % capacity_;
        const std::size_t first = std::min(count, capacity_ - tail);
        std::memcpy(data_ + tail, from, first);
        std::memcpy(data_, from + first, count - first);
        size_ += count;
        return count;
    }

    // Takes out at most `count` of the oldest bytes; returns how many.
    std::size_t take(void* out, std::size_t count) noexcept {
        count = std::min(count, size_);
        if (count == 0) return 0;
        auto* to = static_cast<unsigned char*>(out);
        const std::size_t first = std::min(count, capacity_ - head_);
        std::memcpy(to, data_ + head_, first);
        std::memcpy(to + first, data_, count - first);
        head_ = (head_ + count) % capacity_;
        size_ -= count;
        if (size_ == 0) head_ = 0;  // the next bytes go in one piece
        return count;
    }

private:
    unsigned char* data_ = nullptr;
    std::size_t capacity_ = 0;
    std::size_t head_ = 0;  // the oldest unread byte
    std::size_t size_ = 0;
};

}  // namespace tamber::win32
