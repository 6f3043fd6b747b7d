// The HTTP fetcher: one named file at a time from the update server, read in
// chunks of at most 64 KiB into memory. Opening only starts the request, and
// a read takes what has arrived (the reply's headers, then the body) and
// never waits for more, so a slow server never holds up a frame; a transfer
// that stalls, falls below the rate floor, or whose body outgrows what the
// catalogue allows, fails and is abandoned. Failures are logged and become
// the updater's state; nothing is retried.
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "update/body_buffer.h"
#include "update/download_log.h"
#include "update/updater.h"

namespace tamber {

body_buffer::~body_buffer() { std::free(data_); }

bool body_buffer::append(const void* bytes, std::size_t count) {
    if (count == 0) return true;
    if (count > limit_ || size_ > limit_ - count) return false;
    const std::size_t needed = size_ + count;
    if (needed > capacity_) {
        // Double the capacity (within the limit) so appending stays linear;
        // if that much cannot be had, try for exactly what is needed.
        std::size_t wanted = capacity_ < read_chunk_bytes ? read_chunk_bytes : capacity_;
        if (wanted <= limit_ / 2) wanted *= 2;
        else wanted = limit_;
        if (wanted < needed) wanted = needed;
        void* grown = std::realloc(data_, wanted);
        if (!grown && wanted > needed) {
            wanted = needed;
            grown = std::realloc(data_, wanted);
        }
        if (!grown) return false;
        data_ = static_cast<uint8_t*>(grown);
        capacity_ = wanted;
    }
    std::memcpy(data_ + size_, bytes, count);
    size_ = needed;
    return true;
}

void body_buffer::clear() {
    if (capacity_ > retained_capacity) {
        release();
        return;
    }
    size_ = 0;
}

void body_buffer::release() {
    std::free(data_);
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
}

void body_buffer::swap(body_buffer& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
    std::swap(limit_, other.limit_);
}

void updater::open_internet() {
    uint32_t error = 0;
    internet_.reset(http_.open_session(http_user_agent, error));
    if (!internet_) {
        log_message("InternetOpen: error %d", static_cast<int>(error));
        state_ = failed_internet;
    }
}

bool updater::open_file(const std::string& name, uint64_t body_bound) {
    end_transfer();
    receive_buffer_.set_limit(body_bound < receive_limit_ ? static_cast<std::size_t>(body_bound) : receive_limit_);
    current_name_ = name;

    // The name is appended as it stands: no separator, no escaping.
    const std::string address = url();
    uint32_t error = 0;
    request_.reset(http_.open_url(internet_.get(), address.c_str(), error));
    if (!request_) {
        fail_open(error);
        return false;
    }
    // The request is on its way; its reply is taken in by the reads that
    // follow, so a server slow to answer holds up no frame.
    awaiting_headers_ = true;
    last_arrival_ = now();
    state_ = downloading;
    return true;
}

void updater::fail_open(uint32_t error) {
    log_message("Cannot open '%s': error %d", url().c_str(), static_cast<int>(error));
    end_transfer();
    state_ = failed_open;
}

bool updater::take_headers() {
    uint32_t error = 0;
    switch (http_.poll_open(request_.get(), error)) {
    case open_status::failed: fail_open(error); return false;
    case open_status::waiting:
        // A reply whose headers do not come within the stall time fails as
        // an open that timed out.
        if (now() - last_arrival_ >= stall_timeout_) fail_open(error_timed_out);
        return false;
    case open_status::ready: break;
    }
    awaiting_headers_ = false;

    // A status that cannot be read counts as 500.
    uint32_t status = 500;
    if (!http_.query_status(request_.get(), status)) status = 500;
    if (status >= 300) {
        log_message("Cannot open '%s': HTTP status %d", url().c_str(), static_cast<int>(status));
        end_transfer();
        state_ = failed_http_status;
        return false;
    }

    // Without a Content-Length any body size is accepted (0 = none announced).
    uint32_t length = 0;
    if (!http_.query_content_length(request_.get(), length)) length = 0;
    expected_length_ = length;
    last_arrival_ = now();
    pace_.restart(last_arrival_);
    return true;
}

int32_t updater::read_step() {
    // The reply's headers first; the same step goes on to the body's first
    // read once they are in.
    if (awaiting_headers_ && !take_headers()) return request_ ? read_nothing_yet : read_failed;

    // Scratch space for this call alone; its bytes are appended to the body.
    uint8_t scratch[read_chunk_bytes];
    uint32_t count = 0;
    uint32_t error = 0;
    const read_status status = http_.read(request_.get(), scratch, read_chunk_bytes, count, error);
    const auto read_at = now();
    switch (status) {
    case read_status::failed:
        fail_transfer(error);
        return read_failed;
    case read_status::waiting:
        if (read_at - last_arrival_ < stall_timeout_ && pace_.keeps_up(read_at)) return read_nothing_yet;
        fail_transfer(error_timed_out);
        return read_failed;
    case read_status::bytes:
        if (count > read_chunk_bytes) count = read_chunk_bytes;
        if (!receive_buffer_.append(scratch, count)) {
            // Longer than the catalogue allows, or more than memory holds:
            // fail instead of growing without bound.
            fail_transfer(error_out_of_memory);
            return read_failed;
        }
        last_arrival_ = read_at;
        pace_.add(count);
        if (!pace_.keeps_up(read_at)) {
            fail_transfer(error_timed_out);
            return read_failed;
        }
        if (count > 0) return static_cast<int32_t>(count);
        return read_nothing_yet;
    case read_status::end: break;
    }

    const uint32_t received = static_cast<uint32_t>(receive_buffer_.size());
    if (expected_length_ == 0 || expected_length_ == received) return 0;
    log_message("'%s': partial download, expected %u bytes, downloaded %u", url().c_str(),
                static_cast<unsigned>(expected_length_), static_cast<unsigned>(received));
    state_ = failed_transfer;
    return read_failed;
}

void updater::fail_transfer(uint32_t error) {
    if (fetching_statement_ && error == error_out_of_memory)
        log_message("'%s': release statement too large: more than %u bytes", url().c_str(),
                    static_cast<unsigned>(release_statement_limit));
    else
        log_message("'%s': read error %d", url().c_str(), static_cast<int>(error));
    state_ = failed_transfer;
    end_transfer();
}

void updater::end_transfer() {
    request_.close();
    awaiting_headers_ = false;
    expected_length_ = 0;
    receive_buffer_.clear();
}

}  // namespace tamber
