// The in-memory body of a transfer and the limits it is read under: the
// user agent, the read size, the stall timeout, the rate floor, the size
// bounds and the error numbers of a failed read. The transfer operations
// themselves (open_internet, open_file, read_step, end_transfer) are members
// of `updater`, in fetcher.cpp.
#pragma once

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace tamber {

constexpr const char* http_user_agent = "tamber/1.0";

// At most this many body bytes are read per read_step, so one frame waits
// for at most one chunk.
constexpr uint32_t read_chunk_bytes = 65536;

// A transfer from which no body byte arrives for this long fails as a read
// error (error_timed_out). Reads never wait for bytes, so without this a
// server that stops sending would hold a transfer open for ever.
constexpr std::chrono::milliseconds stall_timeout{30000};

// A body must also arrive at an average of at least rate_floor_bytes_per_second
// over each rate_window, or the transfer fails as a stalled one does
// (error_timed_out). The stall limit alone lets a server hold a transfer
// open for ever by sending one byte just before each 30 s are up.
// - 256 bytes a second is far below any link that still works: a poor
//   mobile connection (EDGE, a weak 3G cell) moves several KiB a second,
//   and even GPRS one to five KiB. A 1 MiB lobby at the floor itself still
//   arrives, in a little over an hour.
// - A minute averages out the pauses of a real link (a cell hand-over, a
//   congested hop) that the stall limit lets through, and cuts a drip off
//   within about a minute of its body's start.
// The windows follow one another from the moment the reply's headers are
// in (waiting for them is the stall limit's business); each is judged once
// it has passed, so a body that ends sooner is never judged, and a window
// that keeps up starts the next. 256 x 60 = 15 KiB a minute, well under one
// read: when the host's own frames are held up (a modal dialog), the first
// read after takes what has piled up meanwhile, so an honest link is not
// failed for the host's pause.
constexpr uint32_t rate_floor_bytes_per_second = 256;
constexpr std::chrono::seconds rate_window{60};

// The rate floor's account of one transfer.
class rate_floor {
public:
    using time_point = std::chrono::steady_clock::time_point;

    // A new window from `now`, with no bytes in it.
    void restart(time_point now) {
        window_start_ = now;
        window_bytes_ = 0;
    }
    void add(uint32_t count) { window_bytes_ += count; }
    // False when a whole window has passed by `now` with fewer bytes than
    // the floor asks for. A window that had enough starts the next at `now`.
    bool keeps_up(time_point now) {
        if (now - window_start_ < rate_window) return true;
        if (window_bytes_ < uint64_t{rate_floor_bytes_per_second} * rate_window.count()) return false;
        restart(now);
        return true;
    }

private:
    time_point window_start_{};
    uint64_t window_bytes_ = 0;
};

// The error number reported as "'%s': read error %d" when a transfer stalls
// or falls below the rate floor:
// WinINet's ERROR_INTERNET_TIMEOUT on Windows, libcurl's
// CURLE_OPERATION_TIMEDOUT in native builds (their clients report errors in
// those numbers).
#if defined(_WIN32)
constexpr uint32_t error_timed_out = 12002;
#else
constexpr uint32_t error_timed_out = 28;
#endif

// A file's body may be longer than its catalogue size by at most this much
// (one read): a plain size mismatch is still written as received and fetched
// again on the next start, while a body that goes on past it fails as out of
// memory.
constexpr uint32_t body_slack_bytes = read_chunk_bytes;

// The bound for the two lists, which have no listed size: far above any real
// catalogue, far below what would strain the host's memory.
constexpr std::size_t list_receive_limit = 64u * 1024u * 1024u;

// The error number reported as "'%s': read error %d" when a body cannot be
// held in memory: the platform's own out-of-memory code.
#if defined(_WIN32)
constexpr uint32_t error_out_of_memory = 8;  // ERROR_NOT_ENOUGH_MEMORY
#else
constexpr uint32_t error_out_of_memory = ENOMEM;
#endif

// The largest body the updater holds in memory.
// - 64-bit: 4 GiB - 1. Catalogue sizes, Content-Length and the progress
//   counters are 32-bit, so no listed file is larger.
// - 32-bit: 1 GiB. The process has 2 GiB of address space, and growing a
//   block needs the old and the new copy at once; past 1 GiB an allocation
//   fails at a point that depends on fragmentation. Refusing at a fixed size
//   makes the failure the same on every machine.
constexpr std::size_t default_receive_limit =
    sizeof(void*) >= 8 ? static_cast<std::size_t>(0xFFFFFFFFu) : static_cast<std::size_t>(0x40000000u);

// Memory an emptied body_buffer keeps for the next body.
constexpr std::size_t retained_capacity = 16u * 1024u * 1024u;

// A growable byte array that reports running out of memory as a result
// instead of throwing, and refuses to grow beyond its limit.
class body_buffer {
public:
    body_buffer() = default;
    ~body_buffer();
    body_buffer(const body_buffer&) = delete;
    body_buffer& operator=(const body_buffer&) = delete;

    // Appends `count` bytes. False, with nothing appended, when the result
    // would exceed the limit or memory cannot be had.
    bool append(const void* bytes, std::size_t count);
    // Empties the buffer. Up to retained_capacity of memory is kept for the
    // next body: fresh memory costs a page fault per page, which on a run of
    // many files costs more than the copying itself.
    void clear();
    // Empties the buffer and gives all its memory back.
    void release();
    // Exchanges the contents and limits of two buffers, without copying.
    void swap(body_buffer& other) noexcept;

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::span<const uint8_t> bytes() const { return {data_, size_}; }
    std::string_view text() const { return {reinterpret_cast<const char*>(data_), size_}; }

    std::size_t limit() const { return limit_; }
    void set_limit(std::size_t bytes) { limit_ = bytes; }

private:
    uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::size_t limit_ = default_receive_limit;
};

}  // namespace tamber
