// The signed release statement ".tb_release": what a host built with content
// keys fetches first, before anything else, and trusts the two lists through.
// It names one published release: a release number that only grows, an
// expiry time, the size and SHA-256 digest of each list, and the key set
// that signs releases from now on. So a signed host
// - takes each list only with the stated size and digest (a list cannot be
//   served as the other one, nor come from another release);
// - refuses a release below the highest it has accepted (rollback), and a
//   statement past its expiry (a server, mirror or proxy that goes on
//   serving one release for ever);
// - needs `threshold` valid signatures from distinct keys of its current key
//   set, which a statement may replace (key rotation).
//
// The statement is ASCII text, one item per line, fields separated by one
// blank, every line ending in LF, nothing else allowed:
//
//   tamber-release 1
//   release 12
//   expires 2027-01-08T12:00:00Z
//   list .pm_file_list 20817 <64 hex digits>
//   list .tb_file_list 312 <64 hex digits>
//   keys 2 <130 hex digits> <130 hex digits> <130 hex digits>
//   signature <64 hex digits> <hex digits>
//   signature ...
//
// Line one is the format version. "keys" is the threshold and the public
// keys (uncompressed P-256 points), in ascending byte order, no key twice.
// Each "signature" line gives the SHA-256 of the signing key's point (its
// key id) and the DER ECDSA signature; the signatures cover the SHA-256 of
// release_signing_context followed by every byte before the first
// "signature" line. Hexadecimal is upper case throughout, numbers decimal
// without leading zeros.
//
// What a host has accepted lives in the store as ".tb_release (accepted)"
// (the blank keeps it apart from every listed name):
//
//   tamber-accepted 1
//   release 12
//   built-in <64 hex digits>   the digest of the key set the host was built with
//   keys 2 <130 hex digits> ...
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "update/file_list.h"
#include "update/signature.h"

namespace tamber {

constexpr const char* release_statement_name = ".tb_release";
constexpr const char* accepted_release_name = ".tb_release (accepted)";

// The largest statement fetched: one with the most keys and signatures
// allowed takes under 3 KiB.
constexpr std::size_t release_statement_limit = 16 * 1024;
// At most this many keys in a set, and signature lines in a statement.
constexpr std::size_t max_release_keys = 8;

// The bytes in front of what a statement's signatures cover. No list, no
// other file the tools write, can begin with them (a NUL is in no list), so a
// signature made for anything else never verifies as a statement's.
inline constexpr std::string_view release_signing_context{"tamber release statement\0", 25};

using key_id = std::array<uint8_t, 32>;

// The SHA-256 of the key's 65-byte point.
key_id key_id_of(const p256_public_key& key);

struct key_set {
    uint32_t threshold = 1;
    std::vector<p256_public_key> keys;  // ascending, distinct

    bool operator==(const key_set&) const = default;
};

// The digest a key set is known by: SHA-256 over the threshold (four bytes,
// big-endian) and the points in order.
key_id key_set_digest(const key_set& set);

struct release_signature {
    key_id key;
    std::vector<uint8_t> der;
};

struct release_statement {
    uint64_t release = 0;
    int64_t expires = 0;  // seconds since 1970-01-01 00:00:00 UTC
    file_list_entry catalogue;
    file_list_entry dependencies;
    key_set keys;
    std::vector<release_signature> signatures;
    // How many leading bytes of the text the signatures cover.
    std::size_t signed_length = 0;
};

// Reads a statement. False, with `reason` saying where and why ("line 3:
// expiry is not a UTC time ..."), for anything the grammar above does not
// allow.
bool parse_release_statement(std::string_view text, release_statement& out, std::string& reason);

// The text of a statement up to its signatures, as parse reads it back.
std::string format_release_body(const release_statement& statement);
// One signature line.
std::string format_signature_line(const key_id& key, std::span<const uint8_t> der);
// What the signatures of a statement whose text begins with `signed_part`
// are over: release_signing_context, then `signed_part`.
std::vector<uint8_t> release_signed_message(std::string_view signed_part);

// UTC times as "2027-01-08T12:00:00Z", years 1970 to 9999.
std::string format_utc(int64_t seconds);
bool parse_utc(std::string_view text, int64_t& seconds);

// How many signatures of `statement` (whose text is `text`) verify under
// distinct keys of `keys`. Signatures by keys outside the set do not count;
// `bad` is set when a signature by a key of the set does not verify.
std::size_t count_valid_signatures(const release_statement& statement, std::string_view text, const key_set& keys,
                                   const signature_verifier& verifier, bool& bad);

struct accepted_release {
    uint64_t release = 0;
    key_id built_in{};
    key_set keys;
};

bool parse_accepted_release(std::string_view text, accepted_release& out, std::string& reason);
std::string format_accepted_release(const accepted_release& record);

// What the updater asks of a signed host, and all it knows of one. Kept
// behind a virtual call so that a host without keys links none of it.
class release_check {
public:
    enum class verdict {
        accepted,  // `statement` holds it, the store's record is up to date
        refused,   // one line logged; nothing in the store changed
        unwritten, // accepted, but the record could not be written (logged)
    };
    // Checks the statement fetched from `url` against the record in the
    // store (or, without one, the key set the host was built with). On a
    // refusal `detail` may hold a line for the progress screen.
    virtual verdict check(const std::string& url, std::string_view text, release_statement& statement,
                          std::string& detail) const = 0;
    // Whether check() can give its verdict on `text` now. False while the
    // platform's cryptography has yet to answer for one of the statement's
    // signatures (signature_verifier::ready, which this starts): the updater
    // asks again on its next step, and checks once this is true.
    virtual bool ready([[maybe_unused]] std::string_view text) const { return true; }
    // The name the statement is fetched by. Asked of the check, and defined
    // out of line, so that a host without one does not even hold the name.
    virtual const char* statement_name() const = 0;

protected:
    ~release_check() = default;
};

// The wall clock expiry is judged by: seconds since 1970 UTC.
class utc_clock {
public:
    virtual int64_t now() const = 0;

protected:
    ~utc_clock() = default;
};

// The check with a key set compiled into the host.
class signed_releases final : public release_check {
public:
    // `clock` null: the system clock. Both objects must outlive this one.
    signed_releases(const signature_verifier& verifier, key_set built_in, const utc_clock* clock = nullptr)
        : verifier_(verifier), built_in_(std::move(built_in)), clock_(clock) {}

    verdict check(const std::string& url, std::string_view text, release_statement& statement,
                  std::string& detail) const override;
    // Asks the verifier's ready() for every signature check() may verify:
    // those by keys of the current set, and of the statement's new set if it
    // names one. True at once for a statement or record check() refuses
    // before any signature is looked at.
    bool ready(std::string_view text) const override;
    const char* statement_name() const override;

private:
    int64_t now() const;
    // Reads the store's record (`exists` false without one) into `record`
    // and `stored`: the key set statements are checked against, or null
    // with `reason` set when the record cannot be read.
    const key_set* current_keys(accepted_release& record, std::string& stored, bool& exists,
                                std::string& reason) const;

    const signature_verifier& verifier_;
    key_set built_in_;
    const utc_clock* clock_;
};

}  // namespace tamber
