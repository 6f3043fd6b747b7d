#include "update/release.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "update/download_log.h"
#include "update/file_store.h"
#include "update/sha256.h"

namespace tamber {

namespace {

constexpr std::string_view statement_magic = "tamber-release";
constexpr std::string_view record_magic = "tamber-accepted";
constexpr uint64_t format_version = 1;
// A record is a handful of lines; anything much larger is not one.
constexpr std::size_t record_limit = 4096;
// The longest DER signature of two 32-byte integers.
constexpr std::size_t der_signature_limit = 72;

constexpr char hex_digits[] = "0123456789ABCDEF";

std::string to_hex(std::span<const uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out += hex_digits[b >> 4];
        out += hex_digits[b & 15];
    }
    return out;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // lower case is not the one encoding
}

bool from_hex(std::string_view text, uint8_t* out, std::size_t count) {
    if (text.size() != count * 2) return false;
    for (std::size_t i = 0; i < count; ++i) {
        const int high = hex_value(text[2 * i]), low = hex_value(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        out[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return true;
}

// A decimal number without sign or leading zero, at most `limit`.
bool parse_number(std::string_view text, uint64_t limit, uint64_t& value) {
    if (text.empty() || text.size() > 20 || (text[0] == '0' && text.size() > 1)) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (digit > limit || value > (limit - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return true;
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civil_from_days(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
}

// The lines of a text in which every line ends in LF and holds printable
// ASCII fields separated by single blanks.
class line_reader {
public:
    explicit line_reader(std::string_view text) : text_(text) {}

    bool at_end() const { return at_ == text_.size(); }
    std::size_t offset() const { return at_; }
    int number() const { return number_; }

    // The next line's fields; false with `reason` set when it breaks the rules.
    bool next(std::vector<std::string_view>& fields, std::string& reason) {
        ++number_;
        fields.clear();
        const std::size_t end = text_.find('\n', at_);
        if (end == std::string_view::npos) return fail(reason, "does not end in a line feed");
        const std::string_view line = text_.substr(at_, end - at_);
        at_ = end + 1;
        std::size_t start = 0;
        for (std::size_t i = 0; i <= line.size(); ++i) {
            if (i < line.size() && line[i] != ' ') {
                if (line[i] < 0x21 || line[i] > 0x7E) return fail(reason, "holds a byte outside printable ASCII");
                continue;
            }
            if (i == start) return fail(reason, "has an empty field");
            fields.push_back(line.substr(start, i - start));
            start = i + 1;
        }
        return true;
    }

    bool fail(std::string& reason, const std::string& what) const {
        reason = "line " + std::to_string(number_) + ": " + what;
        return false;
    }

private:
    std::string_view text_;
    std::size_t at_ = 0;
    int number_ = 0;
};

// "NAME VERSION" with the version this host reads.
bool read_magic(line_reader& lines, std::string_view magic, std::string& reason) {
    std::vector<std::string_view> f;
    if (!lines.next(f, reason)) return false;
    uint64_t version = 0;
    if (f.size() != 2 || f[0] != magic || !parse_number(f[1], UINT64_MAX, version))
        return lines.fail(reason, "not a '" + std::string(magic) + "' header");
    if (version != format_version)
        return lines.fail(reason, "format version " + std::string(f[1]) + " is not supported (only 1 is)");
    return true;
}

bool read_release(line_reader& lines, uint64_t& release, std::string& reason) {
    std::vector<std::string_view> f;
    if (!lines.next(f, reason)) return false;
    if (f.size() != 2 || f[0] != "release" || !parse_number(f[1], UINT64_MAX, release) || release == 0)
        return lines.fail(reason, "expected 'release N' with N from 1 to 18446744073709551615");
    return true;
}

bool read_keys(line_reader& lines, key_set& keys, std::string& reason) {
    std::vector<std::string_view> f;
    if (!lines.next(f, reason)) return false;
    if (f.size() < 3 || f[0] != "keys") return lines.fail(reason, "expected 'keys THRESHOLD KEY...'");
    const std::size_t count = f.size() - 2;
    if (count > max_release_keys)
        return lines.fail(reason, "more than " + std::to_string(max_release_keys) + " keys");
    uint64_t threshold = 0;
    if (!parse_number(f[1], count, threshold) || threshold == 0)
        return lines.fail(reason, "the threshold is not from 1 to the number of keys");
    keys.threshold = static_cast<uint32_t>(threshold);
    keys.keys.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        p256_public_key& key = keys.keys[i];
        if (!from_hex(f[2 + i], key.data(), key.size()) || key[0] != 0x04)
            return lines.fail(reason, "key " + std::to_string(i + 1) + " is not an uncompressed P-256 point");
        if (i > 0 && !(keys.keys[i - 1] < key))
            return lines.fail(reason, "the keys are not in ascending order, each once");
    }
    return true;
}

bool read_list(line_reader& lines, std::string_view name, file_list_entry& entry, std::string& reason) {
    std::vector<std::string_view> f;
    if (!lines.next(f, reason)) return false;
    uint64_t size = 0;
    uint8_t digest[32];
    if (f.size() != 4 || f[0] != "list" || f[1] != name || !parse_number(f[2], UINT32_MAX, size) ||
        !from_hex(f[3], digest, sizeof digest))
        return lines.fail(reason, "expected 'list " + std::string(name) + " SIZE SHA-256'");
    entry.size = static_cast<uint32_t>(size);
    entry.digest = std::string(f[3]);
    return true;
}

void append_keys(std::string& out, const key_set& keys) {
    out += "keys " + std::to_string(keys.threshold);
    for (const p256_public_key& key : keys.keys) out += " " + to_hex(key);
    out += "\n";
}

}  // namespace

key_id key_id_of(const p256_public_key& key) {
    sha256_context context;
    sha256_init(context);
    sha256_update(context, key.data(), key.size());
    key_id id;
    sha256_final(context, id.data());
    return id;
}

key_id key_set_digest(const key_set& set) {
    sha256_context context;
    sha256_init(context);
    const uint8_t threshold[4] = {static_cast<uint8_t>(set.threshold >> 24), static_cast<uint8_t>(set.threshold >> 16),
                                  static_cast<uint8_t>(set.threshold >> 8), static_cast<uint8_t>(set.threshold)};
    sha256_update(context, threshold, sizeof threshold);
    for (const p256_public_key& key : set.keys) sha256_update(context, key.data(), key.size());
    key_id digest;
    sha256_final(context, digest.data());
    return digest;
}

std::string format_utc(int64_t seconds) {
    const int64_t day = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    const int64_t rest = seconds - day * 86400;
    int64_t y = 0;
    unsigned m = 0, d = 0;
    civil_from_days(day, y, m, d);
    char text[40];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02u:%02u:%02uZ", static_cast<long long>(y), m, d,
                  static_cast<unsigned>(rest / 3600), static_cast<unsigned>(rest / 60 % 60),
                  static_cast<unsigned>(rest % 60));
    return text;
}

bool parse_utc(std::string_view text, int64_t& seconds) {
    // YYYY-MM-DDTHH:MM:SSZ, every digit in its place.
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':' || text[19] != 'Z')
        return false;
    uint64_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    auto digits = [&](std::size_t at, std::size_t count, uint64_t& value) {
        value = 0;
        for (std::size_t i = at; i < at + count; ++i) {
            if (text[i] < '0' || text[i] > '9') return false;
            value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        }
        return true;
    };
    if (!digits(0, 4, year) || !digits(5, 2, month) || !digits(8, 2, day) || !digits(11, 2, hour) ||
        !digits(14, 2, minute) || !digits(17, 2, second))
        return false;
    if (year < 1970 || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) return false;
    static const unsigned month_days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > month_days[month - 1] + (month == 2 && leap ? 1u : 0u)) return false;
    seconds = days_from_civil(static_cast<int64_t>(year), static_cast<unsigned>(month), static_cast<unsigned>(day)) *
                  86400 +
              static_cast<int64_t>(hour * 3600 + minute * 60 + second);
    return true;
}

bool parse_release_statement(std::string_view text, release_statement& out, std::string& reason) {
    out = release_statement{};
    if (text.size() > release_statement_limit) {
        reason = "larger than " + std::to_string(release_statement_limit) + " bytes";
        return false;
    }
    line_reader lines(text);
    if (!read_magic(lines, statement_magic, reason) || !read_release(lines, out.release, reason)) return false;
    std::vector<std::string_view> f;
    if (!lines.next(f, reason)) return false;
    if (f.size() != 2 || f[0] != "expires" || !parse_utc(f[1], out.expires))
        return lines.fail(reason, "expected 'expires YYYY-MM-DDTHH:MM:SSZ'");
    if (!read_list(lines, ".pm_file_list", out.catalogue, reason) ||
        !read_list(lines, ".tb_file_list", out.dependencies, reason) || !read_keys(lines, out.keys, reason))
        return false;
    out.signed_length = lines.offset();
    while (!lines.at_end()) {
        if (!lines.next(f, reason)) return false;
        release_signature signature;
        p256_signature raw{};
        if (f.size() != 3 || f[0] != "signature" || !from_hex(f[1], signature.key.data(), signature.key.size()) ||
            f[2].size() % 2 != 0 || f[2].size() > 2 * der_signature_limit)
            return lines.fail(reason, "expected 'signature KEY-ID DER'");
        signature.der.resize(f[2].size() / 2);
        if (!from_hex(f[2], signature.der.data(), signature.der.size()) || !parse_der_signature(signature.der, raw))
            return lines.fail(reason, "the signature is not a DER ECDSA signature");
        if (out.signatures.size() == max_release_keys)
            return lines.fail(reason, "more than " + std::to_string(max_release_keys) + " signatures");
        out.signatures.push_back(std::move(signature));
    }
    if (out.signatures.empty()) {
        reason = "no signature";
        return false;
    }
    return true;
}

std::string format_release_body(const release_statement& statement) {
    std::string out = std::string(statement_magic) + " " + std::to_string(format_version) + "\n";
    out += "release " + std::to_string(statement.release) + "\n";
    out += "expires " + format_utc(statement.expires) + "\n";
    out += "list .pm_file_list " + std::to_string(statement.catalogue.size) + " " + statement.catalogue.digest + "\n";
    out += "list .tb_file_list " + std::to_string(statement.dependencies.size) + " " +
           statement.dependencies.digest + "\n";
    append_keys(out, statement.keys);
    return out;
}

std::string format_signature_line(const key_id& key, std::span<const uint8_t> der) {
    return "signature " + to_hex(key) + " " + to_hex(der) + "\n";
}

std::vector<uint8_t> release_signed_message(std::string_view signed_part) {
    // Sized once and copied into: GCC 12 takes an insert after the context
    // for a write past it (-Warray-bounds, a false alarm).
    std::vector<uint8_t> message(release_signing_context.size() + signed_part.size());
    const auto after_context =
        std::copy(release_signing_context.begin(), release_signing_context.end(), message.begin());
    std::copy(signed_part.begin(), signed_part.end(), after_context);
    return message;
}

namespace {

// Goes through the signatures of `statement` by keys of `keys` in order:
// `verifies(key, raw)` says whether one does. Each key counts once, so its
// signatures after one that verifies are passed over. Returns how many keys
// counted; one that is not DER or does not verify sets `bad`.
template <typename Verifies>
std::size_t count_signatures(const release_statement& statement, const key_set& keys, Verifies verifies, bool& bad) {
    std::vector<bool> counted(keys.keys.size(), false);
    std::size_t valid = 0;
    for (const release_signature& signature : statement.signatures) {
        for (std::size_t k = 0; k < keys.keys.size(); ++k) {
            if (counted[k] || key_id_of(keys.keys[k]) != signature.key) continue;
            p256_signature raw{};
            if (parse_der_signature(signature.der, raw) && verifies(keys.keys[k], raw)) {
                counted[k] = true;
                ++valid;
            } else {
                bad = true;
            }
            break;
        }
    }
    return valid;
}

}  // namespace

std::size_t count_valid_signatures(const release_statement& statement, std::string_view text, const key_set& keys,
                                   const signature_verifier& verifier, bool& bad) {
    const std::vector<uint8_t> message = release_signed_message(text.substr(0, statement.signed_length));
    return count_signatures(
        statement, keys,
        [&](const p256_public_key& key, const p256_signature& raw) { return verifier.verify(key, message, raw); },
        bad);
}

bool parse_accepted_release(std::string_view text, accepted_release& out, std::string& reason) {
    out = accepted_release{};
    if (text.size() > record_limit) {
        reason = "larger than " + std::to_string(record_limit) + " bytes";
        return false;
    }
    line_reader lines(text);
    if (!read_magic(lines, record_magic, reason) || !read_release(lines, out.release, reason)) return false;
    std::vector<std::string_view> f;
    if (!lines.next(f, reason)) return false;
    if (f.size() != 2 || f[0] != "built-in" || !from_hex(f[1], out.built_in.data(), out.built_in.size()))
        return lines.fail(reason, "expected 'built-in DIGEST'");
    if (!read_keys(lines, out.keys, reason)) return false;
    if (!lines.at_end()) return lines.fail(reason, "more than a record holds");
    return true;
}

std::string format_accepted_release(const accepted_release& record) {
    std::string out = std::string(record_magic) + " " + std::to_string(format_version) + "\n";
    out += "release " + std::to_string(record.release) + "\n";
    out += "built-in " + to_hex(record.built_in) + "\n";
    append_keys(out, record.keys);
    return out;
}

const char* signed_releases::statement_name() const { return release_statement_name; }

int64_t signed_releases::now() const {
    if (clock_) return clock_->now();
    return static_cast<int64_t>(std::time(nullptr));
}

// What this store has accepted before. A record from a host built with other
// keys keeps its release number; its keys give way to the build's.
const key_set* signed_releases::current_keys(accepted_release& record, std::string& stored, bool& exists,
                                             std::string& reason) const {
    if (!read_small_file(accepted_release_name, record_limit, stored, exists) ||
        (exists && !parse_accepted_release(stored, record, reason))) {
        if (reason.empty()) reason = "cannot be read";
        return nullptr;
    }
    return exists && record.built_in == key_set_digest(built_in_) ? &record.keys : &built_in_;
}

bool signed_releases::ready(std::string_view text) const {
    release_statement statement;
    accepted_release record;
    std::string stored, reason;
    bool exists = false;
    if (!parse_release_statement(text, statement, reason)) return true;
    const key_set* const current = current_keys(record, stored, exists, reason);
    if (!current) return true;

    // Every signature is asked for, even after one that is not ready, so
    // that a platform answering later works on all of them at once. A key's
    // every signature is asked for: the count tries the next one after one
    // that does not verify.
    const std::vector<uint8_t> message = release_signed_message(text.substr(0, statement.signed_length));
    bool all_ready = true;
    auto ask = [&](const key_set& keys) {
        bool bad = false;
        count_signatures(
            statement, keys,
            [&](const p256_public_key& key, const p256_signature& raw) {
                all_ready = verifier_.ready(key, message, raw) && all_ready;
                return false;
            },
            bad);
    };
    ask(*current);
    if (statement.keys != *current) ask(statement.keys);
    return all_ready;
}

release_check::verdict signed_releases::check(const std::string& url, std::string_view text,
                                              release_statement& statement, std::string& detail) const {
    detail.clear();
    std::string reason;
    if (!parse_release_statement(text, statement, reason)) {
        log_message("'%s': release statement unreadable: %s", url.c_str(), reason.c_str());
        return verdict::refused;
    }

    accepted_release record;
    std::string stored;
    bool exists = false;
    const key_set* const current_set = current_keys(record, stored, exists, reason);
    if (!current_set) {
        log_message("'%s': %s; nothing is accepted until it is deleted", accepted_release_name, reason.c_str());
        return verdict::refused;
    }
    const key_set& current = *current_set;
    const key_id built_in = key_set_digest(built_in_);

    bool bad = false;
    const std::size_t valid = count_valid_signatures(statement, text, current, verifier_, bad);
    if (valid < current.threshold) {
        log_message("'%s': %s: %u valid of %u needed", url.c_str(),
                    bad ? "a signature does not verify" : "too few signatures", static_cast<unsigned>(valid),
                    static_cast<unsigned>(current.threshold));
        return verdict::refused;
    }
    // A new key set is taken only when its own keys sign it too: a set that
    // cannot sign would shut every later release out.
    if (statement.keys != current) {
        bool bad_new = false;
        const std::size_t valid_new = count_valid_signatures(statement, text, statement.keys, verifier_, bad_new);
        if (valid_new < statement.keys.threshold) {
            log_message("'%s': too few signatures of the new key set: %u valid of %u needed", url.c_str(),
                        static_cast<unsigned>(valid_new),
                        static_cast<unsigned>(statement.keys.threshold));
            return verdict::refused;
        }
    }
    if (exists && statement.release < record.release) {
        log_message("'%s': rolled back from release %llu to %llu", url.c_str(),
                    static_cast<unsigned long long>(record.release), static_cast<unsigned long long>(statement.release));
        return verdict::refused;
    }
    const int64_t clock = now();
    if (clock >= statement.expires) {
        const std::string expired = format_utc(statement.expires), at = format_utc(clock);
        log_message("'%s': expired on %s (this computer's clock: %s)", url.c_str(), expired.c_str(), at.c_str());
        // The screen's line, for a player: minutes are enough.
        auto readable = [](const std::string& utc) { return utc.substr(0, 10) + " " + utc.substr(11, 5) + " UTC"; };
        detail = "Expired " + readable(expired) + "; clock says " + readable(at);
        return verdict::refused;
    }

    accepted_release next{statement.release, built_in, statement.keys};
    const std::string text_of_next = format_accepted_release(next);
    if (exists && stored == text_of_next) return verdict::accepted;
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text_of_next.data()), text_of_next.size());
    return write_file(bytes, accepted_release_name) ? verdict::accepted : verdict::unwritten;
}

}  // namespace tamber
