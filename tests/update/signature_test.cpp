// Signed lists in the core: the strict DER reader, and the updater's
// handling of signature files over the scripted client (the real verifiers
// and server are tested in tests/native and tests/win32).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "keys/signed_fixture.h"
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

// Accepts exactly the fixture's two signatures, each over its own list.
class fixture_verifier final : public signature_verifier {
public:
    bool verify(const p256_public_key& key, std::span<const uint8_t> message,
                const p256_signature& signature) const override {
        ++calls;
        if (key != fixture::content_key) return false;
        const std::string text(reinterpret_cast<const char*>(message.data()), message.size());
        p256_signature expected{};
        if (text == fixture::catalogue && parse_der_signature(bytes_of(fixture::catalogue_signature), expected))
            return signature == expected;
        if (text == fixture::dependencies &&
            parse_der_signature(bytes_of(fixture::dependencies_signature), expected))
            return signature == expected;
        return false;
    }
    mutable int calls = 0;
};

const std::string base = "http://updates.test/q/";
const std::string stamp = test::fixed_log_clock::stamp;

class signed_updater : public ::testing::Test {
protected:
    signed_updater() {
        up->set_base_url(base);
        up->set_list_signatures(&signatures);
        http.serve(base + ".pm_file_list", fixture::catalogue);
        http.serve(base + ".pm_file_list.sig", fixture::catalogue_signature);
        http.serve(base + ".tb_file_list", fixture::dependencies);
        http.serve(base + ".tb_file_list.sig", fixture::dependencies_signature);
        http.serve(base + fixture::library_name, test::pattern_bytes(3000, 9));
        http.serve(base + fixture::image_name, test::pattern_bytes(500, 10));
    }

    uint32_t run_to_end() {
        for (int steps = 0; steps < 10000 && up->state() >= fetching_catalogue && up->state() <= downloading; ++steps)
            up->step();
        return up->state();
    }

    test::scratch_store store;
    test::fixed_log_clock clock;
    test::fake_http http;
    fixture_verifier verifier;
    content_key_signatures signatures{verifier, fixture::content_key};
    std::unique_ptr<updater> up = std::make_unique<updater>(http);
};

TEST_F(signed_updater, a_signature_is_fetched_after_its_list_while_the_state_stays_the_lists) {
    http.replies[base + ".pm_file_list.sig"].header_waits = 3;
    up->start(fixture::library_name);
    std::vector<uint32_t> states;
    while (up->state() == fetching_catalogue || up->state() == fetching_dependencies) {
        states.push_back(up->state());
        up->step();
    }
    EXPECT_EQ(up->state(), checking);
    // The list: its bytes, its end; the signature: 3 waits, its bytes, its end.
    EXPECT_EQ(std::count(states.begin(), states.end(), fetching_catalogue), 7);
    EXPECT_EQ(run_to_end(), complete);
    EXPECT_EQ(http.requests, (std::vector<std::string>{base + ".pm_file_list", base + ".pm_file_list.sig",
                                                       base + ".tb_file_list", base + ".tb_file_list.sig",
                                                       base + "data/a.png", base + "tblobby.dll"}));
    EXPECT_EQ(verifier.calls, 2);
    EXPECT_TRUE(test::log_lines().empty());
}

TEST_F(signed_updater, a_signature_file_that_cannot_be_had_refuses_its_list_with_one_line) {
    const std::string list = base + ".tb_file_list";
    const std::string file = list + ".sig";
    const std::string missing = "'" + list + "': signature is missing (";
    const struct {
        const char* what;
        fake_reply reply;
        std::string line;
    } rows[] = {
        {"open fails", [] { fake_reply r; r.open_fails = true; r.open_error = 12029; return r; }(),
         missing + "error 12029)"},
        {"connection fails", [] { fake_reply r; r.connect_fails = true; r.open_error = 12007; return r; }(),
         missing + "error 12007)"},
        {"status 500", [] { fake_reply r; r.status = 500; return r; }(), missing + "HTTP status 500)"},
        {"read fails", [] { fake_reply r; r.body = fixture::dependencies_signature; r.fail_after = 4; r.read_error = 10054; return r; }(),
         missing + "read error 10054)"},
        {"short body", [] { fake_reply r; r.body = fixture::dependencies_signature; r.length = 100; return r; }(),
         missing + "partial download, expected 100 bytes, downloaded " +
             std::to_string(fixture::dependencies_signature.size()) + ")"},
        {"far too long", [] { fake_reply r; r.body = std::string(100000, '0'); return r; }(),
         missing + "read error " + std::to_string(error_out_of_memory) + ")"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::filesystem::remove("download.log");
        http.replies[file] = row.reply;
        http.requests.clear();
        up = std::make_unique<updater>(http);
        up->set_base_url(base);
        up->set_list_signatures(&signatures);
        up->start(fixture::library_name);
        EXPECT_EQ(run_to_end(), failed_transfer);
        EXPECT_EQ(up->current_name(), ".tb_file_list");
        EXPECT_EQ(test::log_lines(), std::vector<std::string>{stamp + row.line});
        EXPECT_EQ(http.requests.back(), file);
        EXPECT_EQ(http.open_handles, 1);  // the session alone
    }

    // The refused list was never taken: the next start fetches it again.
    http.serve(file, fixture::dependencies_signature);
    up->start(fixture::library_name);
    EXPECT_EQ(run_to_end(), complete);
    EXPECT_TRUE(std::filesystem::exists("tblobby.dll"));
}

TEST_F(signed_updater, reset_while_a_signature_is_awaited_drops_the_unverified_list) {
    http.replies[base + ".pm_file_list.sig"].headers_never_come = true;
    up->start(fixture::library_name);
    for (int i = 0; i < 5; ++i) up->step();
    ASSERT_EQ(up->state(), fetching_catalogue);
    up->reset();
    EXPECT_EQ(http.open_handles, 1);

    http.serve(base + ".pm_file_list.sig", fixture::catalogue_signature);
    http.requests.clear();
    up->start(fixture::library_name);
    EXPECT_EQ(run_to_end(), complete);
    EXPECT_EQ(http.requests.front(), base + ".pm_file_list");
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
        up = std::make_unique<updater>(http);
        up->set_base_url(base);
        up->set_list_signatures(&signatures);
        up->start(fixture::library_name);
        EXPECT_EQ(run_to_end(), failed_transfer);
        EXPECT_EQ(up->current_name(), fixture::library_name);
        EXPECT_EQ(test::log_lines(), std::vector<std::string>{stamp + row.line});
        EXPECT_EQ(test::read_file(fixture::library_name), "the old lobby");
        EXPECT_EQ(test::read_file(fixture::image_name), test::pattern_bytes(500, 10));  // genuine, written before
        EXPECT_EQ(test::folder_names(), (std::vector<std::string>{"data/", "download.log", "tblobby.dll"}));
        EXPECT_EQ(http.open_handles, 1);  // the session alone
    }

    http.serve(url, genuine).chunks = {7};
    std::filesystem::remove("download.log");
    up->start(fixture::library_name);
    EXPECT_EQ(run_to_end(), complete);
    EXPECT_TRUE(test::read_file(fixture::library_name) == genuine);
    EXPECT_TRUE(test::log_lines().empty());

    // A host without a key writes what it receives.
    http.serve(url, forged);
    test::write_text(fixture::library_name, "the old lobby");
    updater unsigned_run(http);
    unsigned_run.set_base_url(base);
    unsigned_run.start(fixture::library_name);
    for (int steps = 0; steps < 100 && unsigned_run.state() != complete; ++steps) unsigned_run.step();
    EXPECT_EQ(unsigned_run.state(), complete);
    EXPECT_TRUE(test::read_file(fixture::library_name) == forged);
}

}  // namespace
}  // namespace tamber
