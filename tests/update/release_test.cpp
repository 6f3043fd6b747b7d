// The signed release statement: its strict reader, UTC times, and the rules
// a signed host takes a release by (signatures, thresholds, key rotation,
// rollback, expiry, the record in the store), over the stand-in signatures
// of release_test_support.h.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "release_test_support.h"
#include "update/release.h"

namespace tamber {
namespace {

using test::fake_key;
using test::keys_of;
using test::make_statement;

const std::string catalogue = "tblobby.dll 3 2C26B46B68FFC68FF99B453C1D30413413422D706483BFA0F98A5E886266E7AE\n";
const std::string dependencies = "tblobby.dll:\n";

std::string replace_line(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST(release_statement, reads_back_what_is_written_and_covers_all_but_the_signatures) {
    const key_set keys = keys_of(2, {fake_key(1), fake_key(2), fake_key(3)});
    const std::string text = make_statement(12, catalogue, dependencies, keys, {fake_key(1), fake_key(3)});
    release_statement statement;
    std::string reason;
    ASSERT_TRUE(parse_release_statement(text, statement, reason)) << reason;
    EXPECT_EQ(statement.release, 12u);
    EXPECT_EQ(statement.expires, test::year_2030);
    EXPECT_EQ(statement.catalogue.size, catalogue.size());
    EXPECT_EQ(statement.catalogue.digest, test::sha256_hex(catalogue));
    EXPECT_EQ(statement.dependencies.digest, test::sha256_hex(dependencies));
    EXPECT_EQ(statement.keys, keys);
    ASSERT_EQ(statement.signatures.size(), 2u);
    EXPECT_EQ(statement.signatures[0].key, key_id_of(fake_key(1)));
    EXPECT_EQ(text.substr(0, statement.signed_length), format_release_body(statement));
    EXPECT_EQ(text.substr(statement.signed_length, 10), "signature ");
    EXPECT_EQ(text.substr(0, 33), "tamber-release 1\nrelease 12\nexpir");
}

TEST(release_statement, refuses_anything_outside_the_grammar_naming_the_line) {
    const key_set one = keys_of(1, {fake_key(1)});
    const std::string good = make_statement(7, catalogue, dependencies, one, {fake_key(1)});
    const std::string list_line = "list .pm_file_list " + std::to_string(catalogue.size()) + " ";
    const std::string digest = test::sha256_hex(catalogue);
    std::string lower_digest = digest;
    for (char& c : lower_digest) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string key_line = good.substr(good.find("keys "), good.find('\n', good.find("keys ")) - good.find("keys "));
    const std::string key_hex = key_line.substr(7);
    const struct {
        const char* what;
        std::string text;
        std::string reason;
    } rows[] = {
        {"empty", "", "line 1: does not end in a line feed"},
        {"another format", replace_line(good, "tamber-release 1\n", "tamber-release 2\n"),
         "line 1: format version 2 is not supported (only 1 is)"},
        {"not a statement", "data/a.png 500 00\n", "line 1: not a 'tamber-release' header"},
        {"CR LF", replace_line(good, "release 7\n", "release 7\r\n"), "line 2: holds a byte outside printable ASCII"},
        {"two blanks", replace_line(good, "release 7", "release  7"), "line 2: has an empty field"},
        {"trailing blank", replace_line(good, "release 7", "release 7 "), "line 2: has an empty field"},
        {"release 0", replace_line(good, "release 7", "release 0"),
         "line 2: expected 'release N' with N from 1 to 18446744073709551615"},
        {"leading zero", replace_line(good, "release 7", "release 07"),
         "line 2: expected 'release N' with N from 1 to 18446744073709551615"},
        {"past 2^64", replace_line(good, "release 7", "release 18446744073709551616"),
         "line 2: expected 'release N' with N from 1 to 18446744073709551615"},
        {"30 February", replace_line(good, "2030-01-01T00:00:00Z", "2030-02-30T00:00:00Z"),
         "line 3: expected 'expires YYYY-MM-DDTHH:MM:SSZ'"},
        {"local time", replace_line(good, "2030-01-01T00:00:00Z", "2030-01-01T00:00:00"),
         "line 3: expected 'expires YYYY-MM-DDTHH:MM:SSZ'"},
        {"lower-case digest", replace_line(good, digest, lower_digest),
         "line 4: expected 'list .pm_file_list SIZE SHA-256'"},
        {"lists swapped", replace_line(good, list_line, "list .tb_file_list " + std::to_string(catalogue.size()) + " "),
         "line 4: expected 'list .pm_file_list SIZE SHA-256'"},
        {"size past 32 bits", replace_line(good, list_line, "list .pm_file_list 4294967296 "),
         "line 4: expected 'list .pm_file_list SIZE SHA-256'"},
        {"threshold above the keys", replace_line(good, "keys 1 ", "keys 2 "),
         "line 6: the threshold is not from 1 to the number of keys"},
        {"threshold 0", replace_line(good, "keys 1 ", "keys 0 "),
         "line 6: the threshold is not from 1 to the number of keys"},
        {"a key twice", replace_line(good, key_line, key_line + " " + key_hex),
         "line 6: the keys are not in ascending order, each once"},
        {"compressed point", replace_line(good, "keys 1 04", "keys 1 02"),
         "line 6: key 1 is not an uncompressed P-256 point"},
        {"no signature", good.substr(0, good.find("signature ")), "no signature"},
        {"signature not DER", replace_line(good, "signature ", "signature " + std::string(64, 'A') + " 3000\nsignature "),
         "line 7: the signature is not a DER ECDSA signature"},
        {"last line cut", good.substr(0, good.size() - 1), "line 7: does not end in a line feed"},
        {"a line after the signatures", good + "release 8\n", "line 8: expected 'signature KEY-ID DER'"},
        {"too large", good + std::string(release_statement_limit, 'x'), "larger than 16384 bytes"},
    };
    for (const auto& row : rows) {
        release_statement statement;
        std::string reason;
        EXPECT_FALSE(parse_release_statement(row.text, statement, reason)) << row.what;
        EXPECT_EQ(reason, row.reason) << row.what;
    }

    // At most max_release_keys signature lines.
    std::string many = good;
    for (std::size_t i = 1; i < max_release_keys; ++i) many += good.substr(good.find("signature "));
    release_statement statement;
    std::string reason;
    EXPECT_TRUE(parse_release_statement(many, statement, reason)) << reason;
    EXPECT_FALSE(parse_release_statement(many + good.substr(good.find("signature ")), statement, reason));
}

TEST(release_statement, utc_times_are_read_and_written_exactly) {
    const struct {
        const char* text;
        int64_t seconds;
    } rows[] = {
        {"1970-01-01T00:00:00Z", 0},
        {"2000-02-29T23:59:59Z", 951868799},
        {"2026-12-09T23:42:33Z", 1796859753},
        {"2100-03-01T00:00:00Z", 4107542400},
        {"9999-12-31T23:59:59Z", 253402300799},
    };
    for (const auto& row : rows) {
        int64_t seconds = -1;
        EXPECT_TRUE(parse_utc(row.text, seconds)) << row.text;
        EXPECT_EQ(seconds, row.seconds) << row.text;
        EXPECT_EQ(format_utc(row.seconds), row.text);
    }
    for (const char* bad : {"2100-02-29T00:00:00Z", "1969-12-31T23:59:59Z", "2026-13-01T00:00:00Z",
                            "2026-12-09T24:00:00Z", "2026-12-09 23:42:33Z", "2026-12-9T23:42:33Z", "+026-12-09T23:42:33Z"}) {
        int64_t seconds = 0;
        EXPECT_FALSE(parse_utc(bad, seconds)) << bad;
    }
    // Every day of four centuries reads back as written.
    for (int64_t day = 0; day < 146097; day += 7) {
        int64_t seconds = -1;
        const std::string text = format_utc(day * 86400 + 3661);
        ASSERT_TRUE(parse_utc(text, seconds)) << text;
        ASSERT_EQ(seconds, day * 86400 + 3661) << text;
    }
}

class release_rules : public ::testing::Test {
protected:
    release_check::verdict check(const std::string& text) {
        std::filesystem::remove("download.log");
        return releases.check(url, text, statement, detail);
    }
    std::string logged() {
        const auto lines = test::log_lines();
        return lines.size() == 1 ? lines[0].substr(std::string(test::fixed_log_clock::stamp).size())
                                 : std::to_string(lines.size()) + " lines";
    }
    std::optional<std::string> record() { return test::read_file(accepted_release_name); }
    release_check::verdict check_by(const signed_releases& releases_of, const std::string& text) {
        std::filesystem::remove("download.log");
        return releases_of.check(url, text, statement, detail);
    }

    const std::string url = "http://updates.test/q/.tb_release";
    test::scratch_store store;
    test::fixed_log_clock log_clock;
    test::fixed_utc_clock clock;
    test::fake_verifier verifier;
    key_set built_in = keys_of(1, {fake_key(1)});
    signed_releases releases{verifier, built_in, &clock};
    release_statement statement;
    std::string detail;
};

TEST_F(release_rules, a_release_is_accepted_recorded_and_never_rolled_back) {
    EXPECT_EQ(check(make_statement(5, catalogue, dependencies, built_in, {fake_key(1)})),
              release_check::verdict::accepted);
    EXPECT_EQ(statement.release, 5u);
    EXPECT_EQ(statement.catalogue.digest, test::sha256_hex(catalogue));
    EXPECT_TRUE(test::log_lines().empty());
    const auto first = record();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->substr(0, 27), "tamber-accepted 1\nrelease 5");

    // The same release again is the normal second start.
    EXPECT_EQ(check(make_statement(5, catalogue, dependencies, built_in, {fake_key(1)})),
              release_check::verdict::accepted);
    EXPECT_EQ(check(make_statement(4, catalogue, dependencies, built_in, {fake_key(1)})),
              release_check::verdict::refused);
    EXPECT_EQ(logged(), "'" + url + "': rolled back from release 5 to 4");
    EXPECT_EQ(record(), first);
    EXPECT_EQ(check(make_statement(6, catalogue, dependencies, built_in, {fake_key(1)})),
              release_check::verdict::accepted);
    EXPECT_EQ(record()->substr(0, 27), "tamber-accepted 1\nrelease 6");
    EXPECT_EQ(test::folder_names(), std::vector<std::string>{".tb_release (accepted)"});
}

TEST_F(release_rules, an_expired_statement_is_refused_with_its_date_and_the_clock) {
    clock.seconds = test::year_2030 + 90;
    EXPECT_EQ(check(make_statement(5, catalogue, dependencies, built_in, {fake_key(1)})),
              release_check::verdict::refused);
    EXPECT_EQ(logged(),
              "'" + url + "': expired on 2030-01-01T00:00:00Z (this computer's clock: 2030-01-01T00:01:30Z)");
    EXPECT_EQ(detail, "Expired 2030-01-01 00:00 UTC; clock says 2030-01-01 00:01 UTC");
    EXPECT_FALSE(record());
    // Expiry is the first second that is no longer valid.
    clock.seconds = test::year_2030 - 1;
    EXPECT_EQ(check(make_statement(5, catalogue, dependencies, built_in, {fake_key(1)})),
              release_check::verdict::accepted);
    EXPECT_TRUE(detail.empty());
}

TEST_F(release_rules, a_threshold_counts_valid_signatures_of_distinct_keys_of_the_set) {
    const key_set two_of_three = keys_of(2, {fake_key(1), fake_key(2), fake_key(3)});
    signed_releases strict{verifier, two_of_three, &clock};
    auto check_with = [&](const std::string& text) {
        std::filesystem::remove("download.log");
        return strict.check(url, text, statement, detail);
    };
    const std::string short_line = "'" + url + "': too few signatures: 1 valid of 2 needed";
    EXPECT_EQ(check_with(make_statement(1, catalogue, dependencies, two_of_three, {fake_key(2)})),
              release_check::verdict::refused);
    EXPECT_EQ(logged(), short_line);
    EXPECT_EQ(check_with(make_statement(1, catalogue, dependencies, two_of_three, {fake_key(2), fake_key(2)})),
              release_check::verdict::refused);
    EXPECT_EQ(logged(), short_line);
    // A key outside the set adds nothing.
    EXPECT_EQ(check_with(make_statement(1, catalogue, dependencies, two_of_three, {fake_key(2), fake_key(9)})),
              release_check::verdict::refused);
    EXPECT_EQ(logged(), short_line);
    EXPECT_FALSE(record());

    // One byte changed after signing: no signature verifies.
    const std::string signed_text =
        make_statement(1, catalogue, dependencies, two_of_three, {fake_key(3), fake_key(1)});
    EXPECT_EQ(check_with(replace_line(signed_text, "\nrelease 1\n", "\nrelease 9\n")), release_check::verdict::refused);
    EXPECT_EQ(logged(), "'" + url + "': a signature does not verify: 0 valid of 2 needed");
    EXPECT_EQ(check_with(signed_text), release_check::verdict::accepted);
}

TEST_F(release_rules, a_signature_made_without_the_context_never_counts) {
    release_statement bare;
    bare.release = 3;
    bare.expires = test::year_2030;
    bare.catalogue = {static_cast<uint32_t>(catalogue.size()), test::sha256_hex(catalogue)};
    bare.dependencies = {static_cast<uint32_t>(dependencies.size()), test::sha256_hex(dependencies)};
    bare.keys = built_in;
    const std::string body = format_release_body(bare);
    // Signed over the body's bytes alone, as a list's signature would be.
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(body.data()), body.size());
    const std::string text =
        body + format_signature_line(key_id_of(fake_key(1)), test::der_of(test::fake_raw_signature(fake_key(1), bytes)));
    EXPECT_EQ(check(text), release_check::verdict::refused);
    EXPECT_EQ(logged(), "'" + url + "': a signature does not verify: 0 valid of 1 needed");
}

TEST_F(release_rules, a_new_key_set_needs_both_sets_and_then_retires_the_old_keys) {
    const key_set next = keys_of(1, {fake_key(7)});
    // Signed by the current key alone: the new set could not sign, so it
    // is not taken.
    EXPECT_EQ(check(make_statement(2, catalogue, dependencies, next, {fake_key(1)})), release_check::verdict::refused);
    EXPECT_EQ(logged(), "'" + url + "': too few signatures of the new key set: 0 valid of 1 needed");
    // Signed by the new key alone: the current set has not agreed.
    EXPECT_EQ(check(make_statement(2, catalogue, dependencies, next, {fake_key(7)})), release_check::verdict::refused);
    EXPECT_EQ(logged(), "'" + url + "': too few signatures: 0 valid of 1 needed");
    EXPECT_FALSE(record());

    EXPECT_EQ(check(make_statement(2, catalogue, dependencies, next, {fake_key(1), fake_key(7)})),
              release_check::verdict::accepted);
    // The old key is retired: what it alone signs is refused from now on,
    // even a statement that names it again.
    EXPECT_EQ(check(make_statement(3, catalogue, dependencies, built_in, {fake_key(1)})),
              release_check::verdict::refused);
    EXPECT_EQ(logged(), "'" + url + "': too few signatures: 0 valid of 1 needed");
    EXPECT_EQ(check(make_statement(2, catalogue, dependencies, next, {fake_key(1), fake_key(7)})),
              release_check::verdict::accepted);
    EXPECT_EQ(check(make_statement(3, catalogue, dependencies, next, {fake_key(7)})), release_check::verdict::accepted);

    // A host built with other keys starts from its own, and keeps the
    // release number.
    const key_set rebuilt = keys_of(1, {fake_key(4)});
    signed_releases other_build{verifier, rebuilt, &clock};
    EXPECT_EQ(other_build.check(url, make_statement(3, catalogue, dependencies, rebuilt, {fake_key(4)}), statement,
                                detail),
              release_check::verdict::accepted);
    std::filesystem::remove("download.log");
    EXPECT_EQ(other_build.check(url, make_statement(2, catalogue, dependencies, rebuilt, {fake_key(4)}), statement,
                                detail),
              release_check::verdict::refused);
    EXPECT_EQ(logged(), "'" + url + "': rolled back from release 3 to 2");
}

TEST_F(release_rules, ready_asks_for_every_signature_by_a_key_of_either_set_and_no_other) {
    test::later_verifier later;
    later.waits = 1;
    const key_set two_of_three = keys_of(2, {fake_key(1), fake_key(2), fake_key(3)});
    signed_releases waiting{later, two_of_three, &clock};
    // Key 9 is in no set; key 7 only in the new one the statement names.
    const key_set next = keys_of(1, {fake_key(1), fake_key(7)});
    const std::string text =
        make_statement(1, catalogue, dependencies, next, {fake_key(2), fake_key(9), fake_key(1), fake_key(7)});
    EXPECT_FALSE(waiting.ready(text));
    EXPECT_TRUE(waiting.ready(text));
    std::vector<p256_public_key> asked;
    for (const auto& ask : later.asked) asked.push_back(ask.first);
    // Each round: keys 2 and 1 of the current set, then 1 and 7 of the new.
    const std::vector<p256_public_key> round = {fake_key(2), fake_key(1), fake_key(1), fake_key(7)};
    std::vector<p256_public_key> two_rounds = round;
    two_rounds.insert(two_rounds.end(), round.begin(), round.end());
    EXPECT_EQ(asked, two_rounds);
    EXPECT_EQ(check_by(waiting, text), release_check::verdict::accepted);
    EXPECT_EQ(later.early, 0);

    // Signed by foreign keys alone: nothing to wait for.
    later.asked.clear();
    EXPECT_TRUE(waiting.ready(make_statement(2, catalogue, dependencies, two_of_three, {fake_key(9)})));
    EXPECT_TRUE(later.asked.empty());
}

TEST_F(release_rules, ready_waits_for_nothing_that_check_refuses_before_the_signatures) {
    test::later_verifier later;
    later.waits = 1000;
    signed_releases waiting{later, built_in, &clock};
    const std::string good = make_statement(5, catalogue, dependencies, built_in, {fake_key(1)});
    const std::string unreadable = replace_line(good, "release 5\n", "release 05\n");
    EXPECT_TRUE(waiting.ready(unreadable));
    EXPECT_EQ(check_by(waiting, unreadable), release_check::verdict::refused);
    EXPECT_EQ(logged(), "'" + url + "': release statement unreadable: line 2: expected 'release N' with N from 1 to "
                                    "18446744073709551615");
    test::write_text(accepted_release_name, "not a record\n");
    EXPECT_TRUE(waiting.ready(good));
    EXPECT_EQ(check_by(waiting, good), release_check::verdict::refused);
    EXPECT_TRUE(later.asked.empty());
}

TEST_F(release_rules, a_record_that_cannot_be_read_or_written_stops_the_run) {
    const std::string good = make_statement(5, catalogue, dependencies, built_in, {fake_key(1)});
    test::write_text(accepted_release_name, "tamber-accepted 1\nrelease 0\n");
    EXPECT_EQ(check(good), release_check::verdict::refused);
    EXPECT_EQ(logged(), "'.tb_release (accepted)': line 2: expected 'release N' with N from 1 to "
                        "18446744073709551615; nothing is accepted until it is deleted");
    EXPECT_EQ(record(), "tamber-accepted 1\nrelease 0\n");

    std::filesystem::remove(accepted_release_name);
    std::filesystem::create_directory(std::string(accepted_release_name) + " (partial)");
    EXPECT_EQ(check(good), release_check::verdict::unwritten);
    EXPECT_EQ(logged().substr(0, 38), "Cannot open '.tb_release (accepted)': ");
    EXPECT_FALSE(record());
}

}  // namespace
}  // namespace tamber
