// The updater: brings the local store in line with the update server, one
// bounded step per frame (one read of at most 64 KiB, or at most ten local
// file tests), with exact progress counters and final failure states.
//
// This header fixes what the rest of the host reads (the bootstrap applet
// and the progress screen); the private part belongs to the update
// subsystem.
#pragma once

#include <cstdint>
#include <string>

namespace tamber {

enum update_state : uint32_t {
    idle = 0,
    fetching_catalogue = 1,
    fetching_dependencies = 2,
    checking = 3,
    downloading = 4,
    complete = 5,
    failed_internet = 6,
    failed_root_missing = 7,
    failed_open = 8,
    failed_http_status = 9,
    failed_transfer = 10,
    failed_write = 11,
};

class http_client;

class updater {
public:
    explicit updater(http_client& http);
    ~updater();
    updater(const updater&) = delete;
    updater& operator=(const updater&) = delete;

    void set_base_url(const std::string& url);
    void start(const std::string& root_name);
    void step();
    void reset();

    uint32_t state() const;
    uint32_t total_bytes() const;
    uint32_t done_bytes() const;
    uint32_t step_count() const;
    std::string current_name() const;
    std::string root_name() const;
    std::string base_url() const;

private:
    // Fields in the order base_url, state, internet, request, current_name,
    // expected_length, receive_buffer, catalogue, dependency_table,
    // download_queue, total_bytes, done_bytes, root_name, step_count.
};

}  // namespace tamber
