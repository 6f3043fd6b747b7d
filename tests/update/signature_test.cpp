// Signed content in the core: the strict DER reader, and the updater of a
// signed host over the scripted client: the release statement first, each
// list and file taken only as listed (the real verifiers and server are
// tested in tests/native and tests/win32).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "keys/signed_fixture.h"
#include "release_test_support.h"
#include "draw/progress_screen.h"
#include "update/signature.h"
#include "update/updater.h"
#include "update_test_support.h"

namespace tamber {
namespace {

namespace fixture = test::signed_fixture;
using test::fake_reply;

std::span<const uint8_t> bytes_of(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

std::string hex(const uint8_t* bytes, std::size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

std::string integer(const std::string& value) { return std::string{'\x02', static_cast<char>(value.size())} + value; }
std::string sequence(const std::string& content) {
    return std::string{'\x30', static_cast<char>(content.size())} + content;
}

TEST(der_signature, reads_r_and_s_right_aligned) {
    // 0x7f.. needs no sign byte; 0x80.. has one; a short value is padded.
    const std::string r = std::string(1, '\x7f') + std::string(31, '\x11');
    const std::string s = std::string(1, '\x00') + std::string(1, '\x80') + std::string(31, '\x22');
    p256_signature raw{};
    ASSERT_TRUE(parse_der_signature(bytes_of(sequence(integer(r) + integer(s))), raw));
    EXPECT_EQ(hex(raw.data(), 32), "7f" + std::string(62, '1'));
    EXPECT_EQ(raw[32], 0x80);
    EXPECT_EQ(raw[63], 0x22);

    ASSERT_TRUE(parse_der_signature(bytes_of(sequence(integer("\x05") + integer(std::string(20, '\x33')))), raw));
    EXPECT_EQ(hex(raw.data(), 32), std::string(62, '0') + "05");
    EXPECT_EQ(hex(raw.data() + 32, 32), std::string(24, '0') + std::string(40, '3'));

    // What openssl wrote parses, and only in full.
    for (const std::string& der : {fixture::catalogue_signature, fixture::dependencies_signature}) {
        EXPECT_TRUE(parse_der_signature(bytes_of(der), raw));
        for (std::size_t cut = 0; cut < der.size(); ++cut)
            EXPECT_FALSE(parse_der_signature(bytes_of(der.substr(0, cut)), raw)) << "cut at " << cut;
    }
}

TEST(der_signature, refuses_anything_but_the_strict_form) {
    const std::string value(32, '\x11');
    const std::string high = std::string(1, '\x00') + std::string(1, '\x80') + std::string(31, '\x11');
    const struct {
        const char* what;
        std::string der;
    } rows[] = {
        {"empty", ""},
        {"tag only", "\x30"},
        {"not a sequence", std::string{'\x31'} + sequence(integer(value) + integer(value)).substr(1)},
        {"long-form length", std::string{'\x30', '\x81', '\x44'} + integer(value) + integer(value)},
        {"indefinite length", std::string{'\x30', '\x80'} + integer(value) + integer(value) + std::string(2, '\0')},
        {"length past the end", std::string{'\x30', '\x45'} + integer(value) + integer(value)},
        {"length short of the end", std::string{'\x30', '\x43'} + integer(value) + integer(value)},
        {"bytes after the sequence", sequence(integer(value) + integer(value)) + std::string(1, '\0')},
        {"one integer", sequence(integer(value))},
        {"three integers", sequence(integer(value) + integer(value) + integer(value))},
        {"not an integer", sequence(std::string{'\x04', '\x20'} + value + integer(value))},
        {"empty integer", sequence(integer("") + integer(value))},
        {"integer length past the sequence", sequence(integer(value) + std::string{'\x02', '\x21'} + value)},
        {"zero r", sequence(integer(std::string(1, '\0')) + integer(value))},
        {"zero s, long", sequence(integer(value) + integer(std::string(32, '\0')))},
        {"negative r", sequence(integer(std::string(1, '\x80') + std::string(31, '\x11')) + integer(value))},
        {"needless leading zero", sequence(integer(std::string(1, '\0') + value) + integer(value))},
        {"33-byte value", sequence(integer(high.substr(1) + "\x11") + integer(value))},
        {"34 bytes with sign byte", sequence(integer(high + "\x11") + integer(value))},
        {"long-form integer length", sequence(std::string{'\x02', '\x81', '\x20'} + value + integer(value))},
    };
    for (const auto& row : rows) {
        p256_signature raw{};
        EXPECT_FALSE(parse_der_signature(bytes_of(row.der), raw)) << row.what;
    }
}

const std::string base = "http://updates.test/q/";
const std::string stamp = test::fixed_log_clock::stamp;

class signed_updater : public ::testing::Test {
protected:
    signed_updater() {
        publish(1, fixture::catalogue, fixture::dependencies);
        http.serve(base + fixture::library_name, test::pattern_bytes(3000, 9));
        http.serve(base + fixture::image_name, test::pattern_bytes(500, 10));
        fresh_updater();
    }

    // The statement of `release` for these two lists, and the lists.
    void publish(uint64_t release, const std::string& catalogue, const std::string& dependencies) {
        http.serve(base + ".tb_release", test::make_statement(release, catalogue, dependencies, keys, {key}));
        http.serve(base + ".pm_file_list", catalogue);
        http.serve(base + ".tb_file_list", dependencies);
    }

    void fresh_updater() {
        up = std::make_unique<updater>(http);
        up->set_base_url(base);
        up->set_release_check(&releases);
    }

    uint32_t run_to_end() {
        for (int steps = 0; steps < 10000 && up->state() >= fetching_catalogue && up->state() <= downloading; ++steps)
            up->step();
        return up->state();
    }

    test::scratch_store store;
    test::fixed_log_clock clock;
    test::fixed_utc_clock utc;
    test::fake_http http;
    test::fake_verifier verifier;
    p256_public_key key = test::fake_key(1);
    key_set keys = test::keys_of(1, {key});
    signed_releases releases{verifier, keys, &utc};
    std::unique_ptr<updater> up;
};

TEST_F(signed_updater, the_statement_comes_first_and_the_lists_follow_as_it_states) {
    http.replies[base + ".tb_release"].header_waits = 3;
    up->start(fixture::library_name);
    std::vector<uint32_t> states;
    while (up->state() == fetching_catalogue || up->state() == fetching_dependencies) {
        states.push_back(up->state());
        up->step();
    }
    EXPECT_EQ(up->state(), checking);
    // The statement: 3 waits, its bytes, its end; the catalogue: its bytes, its end.
    EXPECT_EQ(std::count(states.begin(), states.end(), fetching_catalogue), 7);
    EXPECT_EQ(run_to_end(), complete);
    EXPECT_EQ(http.requests, (std::vector<std::string>{base + ".tb_release", base + ".pm_file_list",
                                                       base + ".tb_file_list", base + "data/a.png",
                                                       base + "tblobby.dll"}));
    EXPECT_TRUE(test::log_lines().empty());
    EXPECT_TRUE(std::filesystem::exists(accepted_release_name));
}

// Whoever sits between host and server may serve any genuine file in a
// list's place: the other list, or the list of another release. Neither
// has the size and digest the statement gives, so the run stops there.
TEST_F(signed_updater, a_list_other_than_the_statement_gives_is_refused) {
    std::string changed = fixture::dependencies;
    changed[0] = 'T';
    const std::string older_catalogue = test::catalogue_line("tblobby.dll", "old");
    const std::string catalogue_url = base + ".pm_file_list", dependencies_url = base + ".tb_file_list";
    const struct {
        const char* what;
        std::string url;
        std::string bytes;
        std::string line;
    } rows[] = {
        {"the dependency list as the catalogue", catalogue_url, fixture::dependencies,
         "'" + catalogue_url + "': size differs from the release statement: " +
             std::to_string(fixture::catalogue.size()) + " bytes listed, " +
             std::to_string(fixture::dependencies.size()) + " downloaded"},
        {"another release's catalogue", catalogue_url, older_catalogue,
         "'" + catalogue_url + "': size differs from the release statement: " +
             std::to_string(fixture::catalogue.size()) + " bytes listed, " + std::to_string(older_catalogue.size()) +
             " downloaded"},
        {"one byte changed", dependencies_url, changed,
         "'" + dependencies_url + "': SHA-256 differs from the release statement: " +
             test::sha256_hex(fixture::dependencies) + " listed, " + test::sha256_hex(changed) + " downloaded"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::filesystem::remove("download.log");
        publish(1, fixture::catalogue, fixture::dependencies);
        http.serve(row.url, row.bytes);
        http.requests.clear();
        fresh_updater();
        up->start(fixture::library_name);
        EXPECT_EQ(run_to_end(), failed_transfer);
        EXPECT_EQ(test::log_lines(), std::vector<std::string>{stamp + row.line});
        EXPECT_EQ(http.requests.back(), row.url);
        EXPECT_FALSE(std::filesystem::exists(fixture::library_name));
        EXPECT_EQ(http.open_handles, 1);  // the session alone
    }
}

TEST_F(signed_updater, a_statement_that_cannot_be_had_or_is_refused_stops_before_the_lists) {
    const std::string url = base + ".tb_release";
    const std::string other = test::make_statement(2, fixture::catalogue, fixture::dependencies, keys, {test::fake_key(2)});
    const struct {
        const char* what;
        fake_reply reply;
        uint32_t state;
        std::string line;
    } rows[] = {
        {"missing", [] { fake_reply r; r.status = 404; return r; }(), failed_http_status,
         "Cannot open '" + url + "': HTTP status 404"},
        {"endless", [] { fake_reply r; r.endless = true; r.chunks = {1000}; return r; }(), failed_transfer,
         "'" + url + "': release statement too large: more than 16384 bytes"},
        {"another key's", [&] { fake_reply r; r.body = other; return r; }(), failed_transfer,
         "'" + url + "': too few signatures: 0 valid of 1 needed"},
        {"not a statement", [] { fake_reply r; r.body = fixture::catalogue; return r; }(), failed_transfer,
         "'" + url + "': release statement unreadable: line 1: not a 'tamber-release' header"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::filesystem::remove("download.log");
        http.replies[url] = row.reply;
        http.requests.clear();
        fresh_updater();
        up->start(fixture::library_name);
        EXPECT_EQ(run_to_end(), row.state);
        EXPECT_EQ(up->current_name(), ".tb_release");
        EXPECT_EQ(test::log_lines(), std::vector<std::string>{stamp + row.line});
        EXPECT_EQ(http.requests, std::vector<std::string>{url});
        EXPECT_EQ(test::folder_names(), std::vector<std::string>{"download.log"});
        EXPECT_EQ(http.open_handles, 1);
    }
}

// A clock that moves only when the test moves it.
struct manual_clock final : transfer_clock {
    std::chrono::steady_clock::time_point now() const override { return at; }
    std::chrono::steady_clock::time_point at{};
};

// In a browser the signatures are verified asynchronously: the updater
// steps on until the verdict is in, requests nothing meanwhile, reads the
// statement no further, and gives the same verdict as without the wait.
TEST_F(signed_updater, the_lists_wait_for_a_verdict_that_comes_later) {
    const std::string url = base + ".tb_release";
    const std::string good = test::make_statement(1, fixture::catalogue, fixture::dependencies, keys, {key});
    std::string changed = good;
    changed[changed.find("\nrelease 1\n") + 9] = '2';
    const struct {
        const char* what;
        std::string statement;
        uint32_t state;
        std::vector<std::string> lines;
    } rows[] = {
        {"accepted", good, complete, {}},
        {"changed after signing", changed, failed_transfer,
         {stamp + "'" + url + "': a signature does not verify: 0 valid of 1 needed"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::filesystem::remove("download.log");
        std::filesystem::remove(accepted_release_name);
        http.serve(url, row.statement);
        http.requests.clear();
        test::later_verifier later;
        later.waits = 5;
        signed_releases waiting{later, keys, &utc};
        manual_clock steady;
        fresh_updater();
        up->set_release_check(&waiting);
        up->set_clock(&steady);
        up->start(fixture::library_name);
        std::size_t reads = 0;
        while (later.asked.empty() && up->state() == fetching_catalogue) up->step();
        // The body is in: from now on, the wait far outlasts the stall limit.
        for (std::size_t ask = 1; ask <= later.waits; ++ask) {
            ASSERT_EQ(later.asked.size(), ask);
            EXPECT_EQ(up->state(), fetching_catalogue);
            EXPECT_EQ(up->current_name(), ".tb_release");
            EXPECT_EQ(http.requests, std::vector<std::string>{url});
            if (ask == 1) reads = http.read_sizes.size();
            EXPECT_EQ(http.read_sizes.size(), reads);
            steady.at += std::chrono::hours(1);
            up->step();
        }
        EXPECT_EQ(later.asked.size(), later.waits + 1);
        EXPECT_EQ(later.early, 0);
        EXPECT_EQ(run_to_end(), row.state);
        EXPECT_EQ(test::log_lines(), row.lines);
        EXPECT_EQ(http.requests.size(), row.state == complete ? 5u : 1u);
        EXPECT_EQ(http.open_handles, 1);
    }
}

TEST_F(signed_updater, an_expired_release_says_when_on_the_progress_screen) {
    utc.seconds = test::year_2030 + test::one_day;
    up->start(fixture::library_name);
    EXPECT_EQ(run_to_end(), failed_transfer);
    const progress_status status = progress_of(*up);
    EXPECT_EQ(status.current_name, ".tb_release");
    EXPECT_EQ(status.detail, "Expired 2030-01-01 00:00 UTC; clock says 2030-01-02 00:00 UTC");
    EXPECT_EQ(http.requests.size(), 1u);
    // A new start begins without it.
    utc.seconds = test::year_2030 - test::one_day;
    up->start(fixture::library_name);
    EXPECT_TRUE(up->failure_detail().empty());
    EXPECT_EQ(run_to_end(), complete);
}

TEST_F(signed_updater, a_record_that_cannot_be_written_fails_as_a_write_and_requests_no_list) {
    std::filesystem::create_directory(std::string(accepted_release_name) + " (partial)");
    up->start(fixture::library_name);
    EXPECT_EQ(run_to_end(), failed_write);
    EXPECT_EQ(http.requests, std::vector<std::string>{base + ".tb_release"});
}

TEST_F(signed_updater, reset_while_the_statement_is_awaited_starts_over_with_it) {
    http.replies[base + ".tb_release"].headers_never_come = true;
    up->start(fixture::library_name);
    for (int i = 0; i < 5; ++i) up->step();
    ASSERT_EQ(up->state(), fetching_catalogue);
    up->reset();
    EXPECT_EQ(http.open_handles, 1);

    publish(1, fixture::catalogue, fixture::dependencies);
    http.requests.clear();
    up->start(fixture::library_name);
    EXPECT_EQ(run_to_end(), complete);
    EXPECT_EQ(http.requests.front(), base + ".tb_release");
    EXPECT_TRUE(test::log_lines().empty());
}

// Whoever serves the genuine signed lists may still send any bytes for a
// file: a signed host writes a body only with the size and digest the
// signed catalogue lists. Anything else fails the transfer with one line
// saying what differs; the copy on disk stays, and no temporary file is
// left. The genuine body, hashed as it arrives in odd pieces, is written.
TEST_F(signed_updater, a_body_that_differs_from_the_signed_catalogue_is_never_written) {
    const std::string genuine = test::pattern_bytes(3000, 9);
    std::string forged = genuine;
    forged[1234] = static_cast<char>(forged[1234] ^ 0x01);
    const std::string url = base + fixture::library_name;
    const std::string size_differs = "'" + url + "': size differs from the catalogue: 3000 bytes listed, ";
    const struct {
        const char* what;
        fake_reply reply;
        std::string line;
    } rows[] = {
        {"one byte changed", [&] { fake_reply r; r.body = forged; r.length = 3000; return r; }(),
         "'" + url + "': SHA-256 differs from the catalogue: " + test::sha256_hex(genuine) + " listed, " +
             test::sha256_hex(forged) + " downloaded"},
        {"one byte short", [&] { fake_reply r; r.body = genuine.substr(1); return r; }(), size_differs + "2999 downloaded"},
        {"one byte long", [&] { fake_reply r; r.body = genuine + "x"; return r; }(), size_differs + "3001 downloaded"},
        // Given up as soon as it is longer than listed, not at the memory bound.
        {"endless", [] { fake_reply r; r.endless = true; return r; }(), size_differs + "4000 downloaded"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::filesystem::remove("download.log");
        test::write_text(fixture::library_name, "the old lobby");
        http.replies[url] = row.reply;
        http.replies[url].chunks = {1000};
        fresh_updater();
        up->start(fixture::library_name);
        EXPECT_EQ(run_to_end(), failed_transfer);
        EXPECT_EQ(up->current_name(), fixture::library_name);
        EXPECT_EQ(test::log_lines(), std::vector<std::string>{stamp + row.line});
        EXPECT_EQ(test::read_file(fixture::library_name), "the old lobby");
        EXPECT_EQ(test::read_file(fixture::image_name), test::pattern_bytes(500, 10));  // genuine, written before
        EXPECT_EQ(test::folder_names(), (std::vector<std::string>{".tb_release (accepted)", "data/", "download.log",
                                                                  "tblobby.dll"}));
        EXPECT_EQ(http.open_handles, 1);  // the session alone
    }

    http.serve(url, genuine).chunks = {7};
    std::filesystem::remove("download.log");
    up->start(fixture::library_name);
    EXPECT_EQ(run_to_end(), complete);
    EXPECT_TRUE(test::read_file(fixture::library_name) == genuine);
    EXPECT_TRUE(test::log_lines().empty());

    // A host without keys requests no statement and writes what it receives.
    http.serve(url, forged);
    http.requests.clear();
    test::write_text(fixture::library_name, "the old lobby");
    updater unsigned_run(http);
    unsigned_run.set_base_url(base);
    unsigned_run.start(fixture::library_name);
    for (int steps = 0; steps < 100 && unsigned_run.state() != complete; ++steps) unsigned_run.step();
    EXPECT_EQ(unsigned_run.state(), complete);
    EXPECT_TRUE(test::read_file(fixture::library_name) == forged);
    EXPECT_EQ(http.requests.front(), base + ".pm_file_list");
}

}  // namespace
}  // namespace tamber
