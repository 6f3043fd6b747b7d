// The updater: brings the local store in line with the update server, one
// bounded step per frame (one read of at most 64 KiB, or at most ten local
// file tests), with exact progress counters and final failure states.
//
// A run: fetch the catalogue ".pm_file_list", fetch the dependency list
// ".tb_file_list", resolve the root name into the download queue, then test
// the queued names in ascending byte order and download each one that is
// missing or differs. Every failure ends the run in a final state (6 to 11)
// with one line in the download log; only reset or a new start leaves it.
// A host built with content keys first fetches the signed release statement
// ".tb_release" and goes on only once it is accepted (release.h); it then
// takes each list only with the size and SHA-256 digest the statement gives,
// and writes a downloaded file only when the body has the size and digest
// the catalogue lists for it.
//
// This header fixes what the rest of the host reads (the bootstrap applet
// and the progress screen); the private part belongs to the update
// subsystem.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "update/body_buffer.h"
#include "update/file_list.h"
#include "update/http.h"
#include "update/sha256.h"
#include "update/release.h"

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

// Where the updater reads the time its transfer limits (the stall limit, the
// rate floor) are measured in: the steady clock unless a test puts its own
// in place.
class transfer_clock {
public:
    virtual std::chrono::steady_clock::time_point now() const = 0;

protected:
    ~transfer_clock() = default;
};

class updater {
public:
    // At most this many queued names are tested per step.
    static constexpr uint32_t tests_per_step = 10;

    explicit updater(http_client& http);
    // Closes the request, then the internet handle.
    ~updater();
    updater(const updater&) = delete;
    updater& operator=(const updater&) = delete;

    // The update server's base URL, an http or https URL ending in '/'. Empty means
    // no server: a run completes at once.
    void set_base_url(const std::string& url);
    // A signed host's check of the release: with it, a run begins with the
    // release statement, and a statement refused ends it in failed_transfer
    // (failed_write when the store's record of it cannot be written) with
    // the check's log line. Each list is then taken only with the size and
    // digest the statement gives, and each downloaded body only with the
    // size and digest of its catalogue entry: anything else ends the run in
    // failed_transfer with one log line, and nothing is written.
    // While the check is not ready for a complete statement (its platform's
    // cryptography answers later), each step asks it again and the state
    // stays fetching_catalogue; no transfer limit runs meanwhile.
    // Null (the default): lists are taken as they come, no statement is
    // requested and bodies are written as received. Set before start; the
    // object must outlive the updater.
    void set_release_check(const release_check* check) { check_ = check; }
    // Begins a run (after a reset) towards `root_name`. Lists loaded by an
    // earlier run of this object are reused.
    void start(const std::string& root_name);
    // One unit of work in states 1 to 4; nothing in any other state.
    void step();
    // Abandons whatever is in progress and returns to idle. Keeps the base
    // URL, the internet handle and both lists.
    void reset();

    uint32_t state() const { return state_; }
    uint32_t total_bytes() const { return total_bytes_; }
    uint32_t done_bytes() const { return done_bytes_; }
    uint32_t step_count() const { return step_count_; }
    std::string current_name() const { return current_name_; }
    std::string root_name() const { return root_name_; }
    std::string base_url() const { return base_url_; }
    // After a refused release statement, what the progress screen adds to
    // the failure (an expiry and the computer's clock); empty otherwise.
    std::string failure_detail() const { return failure_detail_; }

    // The largest body held in memory (default_receive_limit, and never more
    // than 4 GiB - 1, since sizes are 32-bit). A longer body fails the
    // transfer as out of memory. For tests and tools.
    // Each transfer is further bounded by what the catalogue says: a file's
    // listed size plus body_slack_bytes, a list list_receive_limit.
    void set_receive_limit(std::size_t bytes) {
        receive_limit_ = bytes < default_receive_limit ? bytes : default_receive_limit;
    }
    // How long a transfer may go without a body byte, or wait for its
    // reply's headers, before it fails (stall_timeout). For tests.
    void set_stall_timeout(std::chrono::milliseconds timeout) { stall_timeout_ = timeout; }
    // The clock of the transfer limits; null (the default) is the steady
    // clock. The object must outlive the updater. For tests.
    void set_clock(const transfer_clock* clock) { clock_ = clock; }

private:
    // Transfers (fetcher.cpp).
    void open_internet();
    // Starts the transfer of `name`, whose body may hold at most
    // `body_bound` bytes. The reply's status and length are taken in by
    // read_step once they have arrived.
    bool open_file(const std::string& name, uint64_t body_bound);
    // Takes in the reply's headers if they are in: true once the body may be
    // read; false while they are awaited (request still open) or when the
    // open failed (logged, state set, request closed).
    bool take_headers();
    // Ends an open that failed: logs "Cannot open '%s': error %d", sets the
    // state and closes the request.
    void fail_open(uint32_t error);
    // Above 0: bytes arrived; 0: the body is complete; read_failed: the
    // transfer failed (state set); read_nothing_yet: no bytes this time.
    static constexpr int32_t read_failed = -1;
    static constexpr int32_t read_nothing_yet = -2;
    int32_t read_step();
    void end_transfer();
    // Ends a failed transfer: logs "'%s': read error %d", sets the state and
    // closes the request without reading the rest of its body.
    void fail_transfer(uint32_t error);
    std::string url() const { return base_url_ + current_name_; }
    std::chrono::steady_clock::time_point now() const {
        return clock_ ? clock_->now() : std::chrono::steady_clock::now();
    }

    // The two lists and the queue.
    void fetch_catalogue_list();
    void fetch_dependency_list();
    void build_queue();
    // One step of the list being fetched. True once the list is complete
    // and, on a signed host, has the size and digest of the statement:
    // receive_buffer_ then holds it.
    bool list_step();
    // Ends the transfer of an accepted list, whose text has been parsed.
    void end_list();
    // The release statement's step: once it is complete and the check is
    // ready for it, its check, then the catalogue's request.
    void statement_step();
    // Requests the list `name` (`listed` its entry in the statement).
    void fetch_list(const char* name, const file_list_entry& listed, uint32_t list_state);

    // The work of one step, by state.
    void catalogue_step();
    void dependency_step();
    void check_step();
    void download_step();
    // A signed host's test of the body being transferred against `listed_`
    // (a list's entry in the statement, or a file's in the catalogue):
    // `count` bytes have just arrived, or 0 once the body is complete. False,
    // with the line logged and the transfer failed, when it differs.
    bool body_as_listed(uint32_t count);
    // On a signed host, the entry the next body is tested against.
    void expect_body(const file_list_entry& listed);

    http_client& http_;
    std::string base_url_;
    uint32_t state_ = idle;
    http_owner internet_;  // declared before request_: destroyed after it
    http_owner request_;
    bool awaiting_headers_ = false;  // request_ is open and its reply's headers are not in yet
    std::string current_name_;
    uint32_t expected_length_ = 0;
    body_buffer receive_buffer_;
    std::size_t receive_limit_ = default_receive_limit;
    std::chrono::milliseconds stall_timeout_ = stall_timeout;
    // When the transfer's last body byte arrived (its request was made, while
    // the headers are awaited).
    std::chrono::steady_clock::time_point last_arrival_;
    // The body's average rate since its headers came in.
    rate_floor pace_;
    const transfer_clock* clock_ = nullptr;
    catalogue catalogue_;
    dependency_table dependency_table_;
    const release_check* check_ = nullptr;
    // The release statement is being fetched (its state is fetching_catalogue).
    bool fetching_statement_ = false;
    // Its body is complete in receive_buffer_, awaiting the check's ready().
    bool statement_received_ = false;
    release_statement statement_;
    std::string failure_detail_;
    download_queue download_queue_;
    // The entry of the list or file being transferred, and on a signed host
    // the digest of its body so far.
    file_list_entry listed_;
    sha256_context body_digest_{};
    uint32_t total_bytes_ = 0;
    uint32_t done_bytes_ = 0;
    std::string root_name_;
    uint32_t step_count_ = 0;
};

}  // namespace tamber
