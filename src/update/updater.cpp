#include "update/updater.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "update/download_log.h"
#include "update/file_store.h"
#include "update/sha256.h"

namespace tamber {

namespace {
constexpr const char* catalogue_list_name = ".pm_file_list";
constexpr const char* dependency_list_name = ".tb_file_list";
}  // namespace

updater::updater(http_client& http) : http_(http), internet_(http), request_(http) {}

// Members go in reverse order: the request is closed before the internet
// handle.
updater::~updater() = default;

void updater::set_base_url(const std::string& url) { base_url_ = url; }

void updater::start(const std::string& root_name) {
    reset();
    root_name_ = root_name;
    if (base_url_.empty()) {
        state_ = complete;
        return;
    }
    if (!internet_) {
        open_internet();
        if (!internet_) return;
    }
    if (catalogue_.empty()) {
        fetch_catalogue_list();
    } else if (dependency_table_.empty()) {
        fetch_dependency_list();
    } else {
        build_queue();
    }
}

void updater::step() {
    switch (state_) {
    case fetching_catalogue: catalogue_step(); break;
    case fetching_dependencies: dependency_step(); break;
    case checking: check_step(); break;
    case downloading: download_step(); break;
    default: return;  // idle, complete and the final failure states
    }
    ++step_count_;
}

void updater::reset() {
    end_transfer();
    fetching_statement_ = false;
    statement_received_ = false;
    failure_detail_.clear();
    receive_buffer_.release();
    current_name_.clear();
    state_ = idle;
    download_queue_.clear();
    total_bytes_ = 0;
    done_bytes_ = 0;
    root_name_.clear();
    step_count_ = 0;
}

// A signed host asks for the release statement before anything else; the
// catalogue follows once the statement is accepted.
void updater::fetch_catalogue_list() {
    if (!check_) {
        if (open_file(catalogue_list_name, list_receive_limit)) state_ = fetching_catalogue;
        return;
    }
    if (open_file(check_->statement_name(), release_statement_limit)) {
        fetching_statement_ = true;
        state_ = fetching_catalogue;
    }
}

void updater::fetch_dependency_list() { fetch_list(dependency_list_name, statement_.dependencies, fetching_dependencies); }

void updater::fetch_list(const char* name, const file_list_entry& listed, uint32_t list_state) {
    uint64_t bound = list_receive_limit;
    if (check_) {
        expect_body(listed);
        // One read past the stated size shows a longer list for what it is.
        bound = std::min<uint64_t>(uint64_t{listed.size} + body_slack_bytes, list_receive_limit);
    }
    if (open_file(name, bound)) state_ = list_state;
}

void updater::expect_body(const file_list_entry& listed) {
    if (!check_) return;
    listed_ = listed;
    sha256_init(body_digest_);
}

void updater::build_queue() {
    if (!resolve_queue(root_name_, catalogue_, dependency_table_, download_queue_)) {
        state_ = failed_root_missing;
        return;
    }
    done_bytes_ = 0;
    total_bytes_ = 0;
    for (const std::string& name : download_queue_) {
        const auto entry = catalogue_.find(name);
        if (entry != catalogue_.end()) total_bytes_ += entry->second.size;  // wraps modulo 2^32
    }
    state_ = checking;
}

void updater::catalogue_step() {
    if (fetching_statement_) {
        statement_step();
        return;
    }
    if (!list_step()) return;
    parse_catalogue(receive_buffer_.text(), catalogue_);
    end_list();
    fetch_dependency_list();
}

void updater::dependency_step() {
    if (!list_step()) return;
    parse_dependency_list(receive_buffer_.text(), dependency_table_);
    end_list();
    build_queue();
}

void updater::statement_step() {
    if (!statement_received_) {
        if (read_step() != 0) return;
        statement_received_ = true;
    }
    // The body is complete and is not read again; the check may still wait
    // for the platform's cryptography, a step at a time. No transfer limit
    // runs meanwhile: they are read_step's, and the server is done.
    if (!check_->ready(receive_buffer_.text())) return;
    statement_received_ = false;
    fetching_statement_ = false;
    const release_check::verdict verdict = check_->check(url(), receive_buffer_.text(), statement_, failure_detail_);
    end_transfer();
    if (verdict != release_check::verdict::accepted) {
        // Nothing of a refused release is requested.
        state_ = verdict == release_check::verdict::unwritten ? failed_write : failed_transfer;
        return;
    }
    current_name_.clear();
    fetch_list(catalogue_list_name, statement_.catalogue, fetching_catalogue);
}

bool updater::list_step() {
    const int32_t count = read_step();
    if (check_ && count > 0) body_as_listed(static_cast<uint32_t>(count));
    if (count != 0) return false;
    return !check_ || body_as_listed(0);
}

void updater::end_list() {
    end_transfer();
    current_name_.clear();
}

void updater::check_step() {
    for (uint32_t tested = 0; tested < tests_per_step; ++tested) {
        if (download_queue_.empty()) {
            state_ = complete;
            return;
        }
        const auto first = download_queue_.begin();
        current_name_ = *first;
        download_queue_.erase(first);

        // A name that would leave the store (absolute, "..", a drive or a
        // device name) is never tested, fetched or written: the run fails
        // as a write would.
        if (!is_store_name(current_name_)) {
            log_message("Cannot open '%s': error %d: %s", current_name_.c_str(), EINVAL, std::strerror(EINVAL));
            state_ = failed_write;
            return;
        }

        const auto entry = catalogue_.find(current_name_);
        if (entry == catalogue_.end()) continue;  // only catalogue names are ever queued
        if (needs_download(current_name_, entry->second.size, entry->second.digest)) {
            expect_body(entry->second);
            open_file(current_name_, uint64_t{entry->second.size} + body_slack_bytes);
            return;
        }
        done_bytes_ += entry->second.size;
    }
}

void updater::download_step() {
    const int32_t count = read_step();
    if (count > 0) {
        done_bytes_ += static_cast<uint32_t>(count);
        if (check_) body_as_listed(static_cast<uint32_t>(count));
        return;
    }
    if (count < 0) return;  // failed, or nothing arrived yet
    if (check_ && !body_as_listed(0)) return;
    const bool written = write_file(receive_buffer_.bytes(), current_name_);
    end_transfer();
    state_ = written ? checking : failed_write;
}

// The signed statement vouches for the lists' sizes and digests, and through
// the catalogue for every file's, not for the server that sends them: a body
// is hashed as it arrives and taken only if it is exactly what is listed.
// One that grows past the listed size is given up at once.
bool updater::body_as_listed(uint32_t count) {
    const std::span<const uint8_t> body = receive_buffer_.bytes();
    const bool complete = count == 0;
    // A list's entry comes from the release statement, a file's from the
    // catalogue.
    const char* source = state_ == downloading ? "the catalogue" : "the release statement";
    if (body.size() > listed_.size || (complete && body.size() != listed_.size)) {
        log_message("'%s': size differs from %s: %u bytes listed, %u downloaded", url().c_str(), source,
                    static_cast<unsigned>(listed_.size), static_cast<unsigned>(body.size()));
        end_transfer();
        state_ = failed_transfer;
        return false;
    }
    if (!complete) {
        sha256_update(body_digest_, body.data() + body.size() - count, count);
        return true;
    }
    uint8_t digest[32];
    sha256_final(body_digest_, digest);
    const std::string downloaded = digest_to_hex(digest);
    if (downloaded == listed_.digest) return true;
    log_message("'%s': SHA-256 differs from %s: %s listed, %s downloaded", url().c_str(), source,
                listed_.digest.c_str(), downloaded.c_str());
    end_transfer();
    state_ = failed_transfer;
    return false;
}

}  // namespace tamber
