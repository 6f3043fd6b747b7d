// tamber-catalogue: writes the catalogue list ".pm_file_list" of a content
// folder and, for hosts built with content keys, the signed release
// statement ".tb_release" beside it; checks a folder against both; hashes
// files.
//
//   tamber-catalogue DIR            every regular file below DIR except the
//                                   lists and the statement, as
//                                   "name size DIGEST" lines
//   tamber-catalogue [--sign KEY.pem]... [--expires DAYS] [--release N]
//                    [--key-set PUB.pem... --threshold T] DIR
//                                   the same, then DIR/.tb_release: the next
//                                   release, its expiry, both lists' sizes
//                                   and digests, the key set, one signature
//                                   per KEY.pem (native builds only)
//   tamber-catalogue --verify DIR   tests every listed file as the host does,
//                                   and the statement against the lists
//   tamber-catalogue --hash FILE... prints "DIGEST  FILE" lines
//   tamber-catalogue --engine       prints which SHA-256 path is in use
//
// Publishing refuses, and writes nothing, when a name would be refused by
// the host or holds whitespace (the list's field separator), or when the
// statement would be one the hosts refuse or one that shuts later releases
// out: a release number not above the published one, an expiry in the past,
// a signing key outside the key set, fewer signatures than a key set's
// threshold. Everything is checked and signed before the first byte is
// written; each file is written under a temporary name and renamed into
// place, the statement last, so that a host never sees a statement whose
// catalogue is not there yet.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "tool_files.h"
#if defined(TAMBER_CATALOGUE_SIGNS)
#include "platform/native/openssl_signature.h"
#endif
#include "update/file_list.h"
#include "update/file_store.h"
#include "update/release.h"
#include "update/sha256.h"

namespace fs = std::filesystem;
using namespace tamber;

namespace {

const char* const catalogue_name = ".pm_file_list";
const char* const dependency_name = ".tb_file_list";
const char* const statement_name = release_statement_name;
// What a file is written under before it is renamed into place.
const char* const staging_suffix = ".new";
const uintmax_t largest_32_bit_download = 0x40000000u;  // the 32-bit host's body limit

// A statement lasts 30 days unless told otherwise: long enough for a small
// operator's monthly round of publishing, short enough that hosts behind a
// mirror or proxy frozen on one release refuse it within a month.
constexpr long default_expiry_days = 30;
// Ten years: beyond that an expiry no longer protects anyone.
constexpr long longest_expiry_days = 3650;

int usage() {
    std::fprintf(stderr,
                 "usage: tamber-catalogue DIR\n"
                 "       tamber-catalogue [--sign KEY.pem]... [--expires DAYS] [--release N]\n"
                 "                        [--key-set PUB.pem... --threshold T] DIR\n"
                 "       tamber-catalogue --verify DIR | --hash FILE... | --engine\n"
                 "  DIR             write DIR/%s from the files below DIR\n"
                 "  --sign KEY.pem  then write the signed release statement DIR/%s,\n"
                 "                  signed with each ECDSA P-256 private key given (native builds)\n"
                 "  --expires DAYS  the statement expires DAYS days from now (1 to %ld; default %ld)\n"
                 "  --release N     the release number (default: the published one + 1, or 1)\n"
                 "  --key-set PUB.pem... --threshold T\n"
                 "                  the key set that signs from this release on, and how many of\n"
                 "                  its keys must sign (default: the published set; on a first\n"
                 "                  release the --sign key, 1 of 1). A new set must be signed by\n"
                 "                  enough keys of the published set and of the new one\n"
                 "  --verify DIR    test the files listed in DIR/%s as the host does, and\n"
                 "                  DIR/%s (when there) against the lists\n"
                 "  --hash FILE     print the SHA-256 digest of each FILE\n"
                 "  --engine        print the SHA-256 path in use (hardware or portable)\n",
                 catalogue_name, statement_name, longest_expiry_days, default_expiry_days, catalogue_name,
                 statement_name);
    return 2;
}

// One refusal: a message naming the cause, and exit status 1.
int refuse(const std::string& cause) {
    std::fprintf(stderr, "tamber-catalogue: %s; nothing written\n", cause.c_str());
    return 1;
}

bool has_whitespace(const std::string& name) {
    return name.find_first_of(" \t\r\n\v\f") != std::string::npos;
}

// The files the tool itself writes or reads at the top of a content folder,
// the signature files older tools wrote, and what an interrupted run may
// have left: none of them is content.
bool is_publishing_file(const std::string& name) {
    const std::string names[] = {catalogue_name,
                                 dependency_name,
                                 statement_name,
                                 std::string(catalogue_name) + ".sig",
                                 std::string(dependency_name) + ".sig",
                                 std::string(catalogue_name) + staging_suffix,
                                 std::string(statement_name) + staging_suffix};
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

// The digest text of a file and the bytes read; false when it cannot be opened.
bool hash_path(const fs::path& path, std::string& digest, uint32_t& total) {
    std::FILE* file = std::fopen(path.string().c_str(), "rb");
    if (!file) return false;
    // As the host's test does: 4096-byte reads from a 64 KiB stdio buffer.
    static char stdio_buffer[64 * 1024];
    std::setvbuf(file, stdio_buffer, _IOFBF, sizeof stdio_buffer);
    uint8_t out[32];
    total = hash_file(file, out);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    digest = digest_to_hex(out);
    return !failed;
}

// A list's entry in the statement: its size and upper-case digest.
file_list_entry entry_of(std::string_view text) {
    sha256_context context;
    sha256_init(context);
    sha256_update(context, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    uint8_t digest[32];
    sha256_final(context, digest);
    return {static_cast<uint32_t>(text.size()), digest_to_hex(digest)};
}

std::string lower_case(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

std::string plural(std::size_t count, const char* word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

struct catalogue_text {
    std::string text;
    std::size_t files = 0;
    uint64_t bytes = 0;
};

// The catalogue of DIR, in memory. False, with the reasons printed, when a
// file is refused or cannot be read.
bool make_catalogue(const fs::path& dir, catalogue_text& out) {
    std::error_code error;
    if (!fs::is_directory(dir, error)) {
        std::fprintf(stderr, "tamber-catalogue: '%s' is not a folder\n", dir.string().c_str());
        return false;
    }

    struct file {
        std::string name;
        fs::path path;
        uintmax_t size;
    };
    std::vector<file> files;
    bool refused = false;
    fs::recursive_directory_iterator it(dir, fs::directory_options::none, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const fs::directory_entry& entry = *it;
        const std::string name = entry.path().lexically_relative(dir).generic_string();
        std::error_code status_error;
        if (entry.is_directory(status_error)) continue;
        if (!entry.is_regular_file(status_error)) {
            std::fprintf(stderr, "tamber-catalogue: skipping '%s': not a regular file\n", name.c_str());
            continue;
        }
        if (is_publishing_file(name)) continue;
        if (has_whitespace(name)) {
            std::fprintf(stderr, "tamber-catalogue: refusing '%s': names cannot contain whitespace\n", name.c_str());
            refused = true;
            continue;
        }
        if (!is_store_name(name)) {
            std::fprintf(stderr,
                         "tamber-catalogue: refusing '%s': not a plain relative file name (no '.', '..' or empty "
                         "component, '\\', ':', control character, trailing dot or space, or device name such as "
                         "CON or NUL)\n",
                         name.c_str());
            refused = true;
            continue;
        }
        const uintmax_t size = entry.file_size(status_error);
        if (status_error || size > 0xFFFFFFFFu) {
            std::fprintf(stderr, "tamber-catalogue: refusing '%s': %s\n", name.c_str(),
                         status_error ? status_error.message().c_str() : "larger than 4294967295 bytes");
            refused = true;
            continue;
        }
        // The 32-bit host holds a whole download in memory, at most 1 GiB of
        // it: its update stops at a larger file (state 10). Listed all the
        // same, for 64-bit hosts.
        if (size > largest_32_bit_download)
            std::fprintf(stderr,
                         "tamber-catalogue: warning: '%s' is over 1073741824 bytes (1 GiB): the 32-bit host cannot "
                         "hold it, and its update stops at this file\n",
                         name.c_str());
        files.push_back({name, entry.path(), size});
    }
    if (error) {
        std::fprintf(stderr, "tamber-catalogue: cannot read '%s': %s\n", dir.string().c_str(), error.message().c_str());
        return false;
    }
    if (refused) {
        std::fprintf(stderr, "tamber-catalogue: nothing written\n");
        return false;
    }

    // Byte-wise order, as the host sorts names.
    std::sort(files.begin(), files.end(), [](const file& a, const file& b) { return a.name < b.name; });

    // Windows folds letter case: two such names would be one local file.
    std::map<std::string, std::string> folded;
    for (const file& f : files) {
        const auto [other, added] = folded.emplace(lower_case(f.name), f.name);
        if (!added)
            std::fprintf(stderr, "tamber-catalogue: warning: '%s' and '%s' are the same file on Windows\n",
                         other->second.c_str(), f.name.c_str());
    }

    out = catalogue_text{};
    for (const file& f : files) {
        std::string digest;
        uint32_t read = 0;
        if (!hash_path(f.path, digest, read) || read != f.size) {
            std::fprintf(stderr, "tamber-catalogue: cannot read '%s' (or it changed while being read)\n",
                         f.name.c_str());
            return false;
        }
        out.text += f.name + " " + std::to_string(f.size) + " " + digest + "\n";
        out.bytes += f.size;
    }
    out.files = files.size();
    return true;
}

struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// A file written under a temporary name beside its final one, renamed into
// place by commit(). Until then the old file stays as it was, and the
// temporary file goes with this object.
class staged_file {
public:
    staged_file(fs::path path) : path_(std::move(path)), staged_(path_.string() + staging_suffix) {}
    staged_file(const staged_file&) = delete;
    staged_file& operator=(const staged_file&) = delete;
    ~staged_file() {
        std::error_code ignored;
        if (written_) fs::remove(staged_, ignored);
    }

    const fs::path& path() const { return path_; }

    // Writes every byte and closes the file, each step checked.
    bool write(std::string_view bytes, std::string& error) {
        std::unique_ptr<std::FILE, file_closer> file(std::fopen(staged_.string().c_str(), "wb"));
        if (!file) {
            error = "cannot create '" + staged_.string() + "': " + std::strerror(errno);
            return false;
        }
        written_ = true;
        const bool wrote = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size() &&
                           std::fflush(file.get()) == 0;
        const int saved = errno;
        // The close is where a full disk may show: checked as well.
        const bool closed = std::fclose(file.release()) == 0;
        if (!wrote || !closed) {
            error = "cannot write '" + staged_.string() + "': " + std::strerror(wrote ? errno : saved);
            return false;
        }
        return true;
    }

    // Replaces the file by what write() wrote.
    bool commit(std::string& error) {
        std::error_code failure;
        fs::rename(staged_, path_, failure);
        if (failure) {
            error = "cannot rename '" + staged_.string() + "' to '" + path_.string() + "': " + failure.message();
            return false;
        }
        written_ = false;
        return true;
    }

private:
    fs::path path_;
    fs::path staged_;
    bool written_ = false;
};

// The published statement of DIR, if any. False, with `cause` saying why,
// when there is one that cannot be read.
bool read_published(const fs::path& dir, std::optional<release_statement>& published, std::string& cause) {
    published.reset();
    const fs::path path = dir / statement_name;
    std::error_code error;
    if (!fs::exists(path, error) && !error) return true;
    std::string text;
    if (!tools::read_whole_file(path, text)) {
        cause = "cannot read the published statement '" + path.string() + "'";
        return false;
    }
    release_statement statement;
    std::string reason;
    if (!parse_release_statement(text, statement, reason)) {
        cause = "the published statement '" + path.string() + "' is unreadable (" + reason + "); mend or remove it";
        return false;
    }
    published = std::move(statement);
    return true;
}

int write_catalogue(const fs::path& dir) {
    catalogue_text catalogue;
    if (!make_catalogue(dir, catalogue)) return 1;
    staged_file list(dir / catalogue_name);
    std::string error;
    if (!list.write(catalogue.text, error) || !list.commit(error)) return refuse(error);
    std::printf("wrote %s: %s files, %s bytes\n", list.path().string().c_str(), std::to_string(catalogue.files).c_str(),
                std::to_string(catalogue.bytes).c_str());
    // A statement that no longer matches the catalogue is refused by every
    // signed host: said so, since nothing here signs.
    std::optional<release_statement> published;
    std::string cause;
    if (!read_published(dir, published, cause))
        std::fprintf(stderr, "tamber-catalogue: warning: %s\n", cause.c_str());
    else if (published && !(published->catalogue.size == catalogue.text.size() &&
                            published->catalogue.digest == entry_of(catalogue.text).digest))
        std::fprintf(stderr,
                     "tamber-catalogue: warning: '%s' no longer matches the catalogue: signed hosts refuse it until a "
                     "new release is signed (--sign KEY.pem)\n",
                     (dir / statement_name).string().c_str());
    return 0;
}

struct publish_options {
    std::vector<std::string> sign;
    std::optional<std::string> expires;
    std::optional<std::string> release;
    std::vector<std::string> key_set;
    std::optional<std::string> threshold;
};

#if defined(TAMBER_CATALOGUE_SIGNS)

// A decimal number, all of `text`; false for anything else.
bool parse_integer(const std::string& text, long long low, long long high, long long& value) {
    if (text.empty() || text.size() > 20) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && end == text.c_str() + text.size() && value >= low && value <= high;
}

bool parse_unsigned(const std::string& text, uint64_t& value) {
    if (text.empty() || text.size() > 20 || text[0] < '0' || text[0] > '9') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
    value = parsed;
    return errno == 0 && end == text.c_str() + text.size();
}

struct signing_key {
    std::string path;
    p256_public_key point;
};

std::size_t signers_in(const std::vector<signing_key>& signers, const key_set& set) {
    std::size_t count = 0;
    for (const signing_key& signer : signers)
        if (std::find(set.keys.begin(), set.keys.end(), signer.point) != set.keys.end()) ++count;
    return count;
}

// Whether `text` is a statement the hosts take under `set`: it parses and
// enough of its signatures verify, each under a distinct key of the set.
bool verifies_under(std::string_view text, const key_set& set, std::size_t& valid) {
    release_statement statement;
    std::string reason;
    if (!parse_release_statement(text, statement, reason)) return false;
    bool bad = false;
    valid = count_valid_signatures(statement, text, set, native::openssl_verifier{}, bad);
    return !bad && valid >= set.threshold;
}

int publish(const fs::path& dir, const publish_options& options) {
    // The signing keys, each once.
    std::vector<signing_key> signers;
    if (options.sign.size() > max_release_keys)
        return refuse("at most " + std::to_string(max_release_keys) + " --sign keys");
    for (const std::string& path : options.sign) {
        signing_key signer{path, {}};
        std::string error;
        if (!native::public_point_of_key_file(path, signer.point, error)) return refuse(error);
        for (const signing_key& other : signers)
            if (other.point == signer.point)
                return refuse("'" + path + "' is the same key as '" + other.path + "': each key signs once");
        signers.push_back(std::move(signer));
    }

    // The number and expiry of this release.
    std::optional<release_statement> published;
    std::string cause;
    if (!read_published(dir, published, cause)) return refuse(cause);
    uint64_t release = 1;
    if (published) {
        if (published->release == UINT64_MAX)
            return refuse("the published release is " + std::to_string(published->release) +
                          ": there is no release number above it");
        release = published->release + 1;
    }
    if (options.release) {
        uint64_t asked = 0;
        if (!parse_unsigned(*options.release, asked) || asked == 0)
            return refuse("--release " + *options.release + ": not a release number (1 or more)");
        if (published && asked <= published->release)
            return refuse("--release " + std::to_string(asked) + " is not above the published release " +
                          std::to_string(published->release) + ": hosts that took it would refuse this one");
        release = asked;
    }
    long long days = default_expiry_days;
    if (options.expires) {
        if (!parse_integer(*options.expires, -1000000000LL, 1000000000LL, days))
            return refuse("--expires " + *options.expires + ": not a number of days");
        if (days <= 0)
            return refuse("--expires " + *options.expires + ": an expiry in the past; give DAYS from 1 to " +
                          std::to_string(longest_expiry_days));
        if (days > longest_expiry_days)
            return refuse("--expires " + *options.expires + ": more than " + std::to_string(longest_expiry_days) +
                          " days");
    }
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    const int64_t expires = now + static_cast<int64_t>(days) * 86400;

    // The key set the statement carries.
    key_set next;
    if (!options.key_set.empty()) {
        if (options.key_set.size() > max_release_keys)
            return refuse("--key-set: at most " + std::to_string(max_release_keys) + " keys, " +
                          std::to_string(options.key_set.size()) + " given");
        std::vector<std::string> sources;
        for (const std::string& path : options.key_set) {
            p256_public_key point{};
            std::string error;
            if (!native::read_public_key_file(path, point, error)) return refuse("--key-set: " + error);
            const auto twice = std::find(next.keys.begin(), next.keys.end(), point);
            if (twice != next.keys.end())
                return refuse("--key-set: '" + path + "' is the same key as '" +
                              sources[static_cast<std::size_t>(twice - next.keys.begin())] + "'");
            next.keys.push_back(point);
            sources.push_back(path);
        }
        long long threshold = 0;
        if (!options.threshold ||
            !parse_integer(*options.threshold, 1, static_cast<long long>(next.keys.size()), threshold))
            return refuse("--threshold must be from 1 to " + std::to_string(next.keys.size()) +
                          " (the number of keys in --key-set)");
        next.threshold = static_cast<uint32_t>(threshold);
        std::sort(next.keys.begin(), next.keys.end());
    } else if (published) {
        next = published->keys;
    } else {
        // The tool does not know how many keys the hosts were built to
        // require: several signing keys on a first release name their set.
        if (signers.size() > 1)
            return refuse("no release is published yet: name the key set the hosts are built with, or the one "
                          "they move to, with --key-set PUB.pem... --threshold T");
        next.threshold = 1;
        next.keys = {signers.front().point};
    }

    // Who must sign: the published set's threshold, and a new set's own.
    for (const signing_key& signer : signers) {
        const bool in_next = std::find(next.keys.begin(), next.keys.end(), signer.point) != next.keys.end();
        const bool in_published = published && std::find(published->keys.keys.begin(), published->keys.keys.end(),
                                                         signer.point) != published->keys.keys.end();
        if (!in_next && !in_published)
            return refuse("the key in '" + signer.path + "' is outside the key set: " +
                          (published ? "in neither the published set nor the new one"
                                     : "not in the set this first statement carries"));
    }
    if (published) {
        const std::size_t count = signers_in(signers, published->keys);
        if (count < published->keys.threshold)
            return refuse("too few signatures for the published key set: " + plural(count, "key") + " of it " +
                          (count == 1 ? "signs" : "sign") + ", " + std::to_string(published->keys.threshold) +
                          " needed");
    }
    const bool rotation = !published || next != published->keys;
    {
        const std::size_t count = signers_in(signers, next);
        if (count < next.threshold)
            return refuse(std::string("too few signatures for the ") + (published ? "new " : "") + "key set: " +
                          plural(count, "key") + " of it " + (count == 1 ? "signs" : "sign") + ", " +
                          std::to_string(next.threshold) + " needed" +
                          (published ? " (hosts take a new set only when its own keys sign it too)" : ""));
    }

    // The lists the statement vouches for.
    catalogue_text catalogue;
    if (!make_catalogue(dir, catalogue)) return 1;
    std::string dependencies;
    if (!tools::read_whole_file(dir / dependency_name, dependencies))
        return refuse("cannot read '" + (dir / dependency_name).string() + "'");
    if (dependencies.size() > 0xFFFFFFFFu || catalogue.text.size() > 0xFFFFFFFFu)
        return refuse("a list is larger than 4294967295 bytes");

    release_statement statement;
    statement.release = release;
    statement.expires = expires;
    statement.catalogue = entry_of(catalogue.text);
    statement.dependencies = entry_of(dependencies);
    statement.keys = next;
    std::string text = format_release_body(statement);
    const std::vector<uint8_t> message = release_signed_message(text);
    for (const signing_key& signer : signers) {
        std::vector<uint8_t> der;
        std::string error;
        if (!native::sign_with_key_file(signer.path, message, der, error)) return refuse(error);
        text += format_signature_line(key_id_of(signer.point), der);
    }

    // The statement as a host would judge it, before anything is written.
    std::size_t valid = 0;
    if (!verifies_under(text, next, valid) || (published && !verifies_under(text, published->keys, valid)))
        return refuse("the statement made does not verify under the hosts' rules");

    staged_file list(dir / catalogue_name), written_statement(dir / statement_name);
    std::string error;
    if (!list.write(catalogue.text, error) || !written_statement.write(text, error) || !list.commit(error) ||
        !written_statement.commit(error)) {
        std::fprintf(stderr, "tamber-catalogue: %s\n", error.c_str());
        return 1;
    }
    std::printf("wrote %s: %s files, %s bytes\n", list.path().string().c_str(), std::to_string(catalogue.files).c_str(),
                std::to_string(catalogue.bytes).c_str());

    // What is on disk now, read back and judged by the host's rules.
    std::string on_disk;
    if (!tools::read_whole_file(written_statement.path(), on_disk) || on_disk != text ||
        !verifies_under(on_disk, next, valid)) {
        std::fprintf(stderr, "tamber-catalogue: '%s' does not read back as written\n",
                     written_statement.path().string().c_str());
        return 1;
    }
    std::printf("wrote %s: release %s, expires %s, %s, key set %u of %s%s\n",
                written_statement.path().string().c_str(), std::to_string(release).c_str(),
                format_utc(expires).c_str(), plural(signers.size(), "signature").c_str(), next.threshold,
                std::to_string(next.keys.size()).c_str(),
                published && rotation ? " (new)" : "");
    return 0;
}

#else

int publish(const fs::path&, const publish_options&) {
    std::fprintf(stderr, "tamber-catalogue: this build cannot sign; use a native build of the tool\n");
    return 1;
}

#endif

// Checks DIR's statement, when there is one, against the lists beside it.
// 0 when there is none or it matches and has not expired.
int verify_statement(const fs::path& dir) {
    const fs::path path = dir / statement_name;
    std::error_code error;
    if (!fs::exists(path, error)) {
        std::printf("no %s: content for hosts without keys\n", statement_name);
        return 0;
    }
    std::string text;
    release_statement statement;
    std::string reason;
    if (!tools::read_whole_file(path, text)) {
        std::printf("%s: cannot be read\n", statement_name);
        return 1;
    }
    if (!parse_release_statement(text, statement, reason)) {
        std::printf("%s: unreadable: %s\n", statement_name, reason.c_str());
        return 1;
    }
    int status = 0;
    std::printf("%s: release %s, expires %s, key set %u of %s, %s\n", statement_name,
                std::to_string(statement.release).c_str(), format_utc(statement.expires).c_str(),
                statement.keys.threshold, std::to_string(statement.keys.keys.size()).c_str(),
                plural(statement.signatures.size(), "signature").c_str());
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    if (now >= statement.expires) {
        std::printf("%s: expired on %s (this computer's clock: %s)\n", statement_name,
                    format_utc(statement.expires).c_str(), format_utc(now).c_str());
        status = 1;
    }
    const std::pair<const char*, const file_list_entry*> lists[] = {{catalogue_name, &statement.catalogue},
                                                                    {dependency_name, &statement.dependencies}};
    for (const auto& [name, stated] : lists) {
        std::string list;
        if (!tools::read_whole_file(dir / name, list)) {
            std::printf("%s: %s cannot be read\n", statement_name, name);
            status = 1;
            continue;
        }
        const file_list_entry found = entry_of(list);
        if (found.size == stated->size && found.digest == stated->digest) {
            std::printf("%s: %s matches\n", statement_name, name);
        } else {
            std::printf("%s: %s differs: %u bytes %s stated, %u bytes %s found\n", statement_name, name,
                        static_cast<unsigned>(stated->size), stated->digest.c_str(),
                        static_cast<unsigned>(found.size), found.digest.c_str());
            status = 1;
        }
    }
#if defined(TAMBER_CATALOGUE_SIGNS)
    bool bad = false;
    const std::size_t valid = count_valid_signatures(statement, text, statement.keys, native::openssl_verifier{}, bad);
    std::printf("%s: %s valid under its own key set, %u needed%s\n", statement_name, std::to_string(valid).c_str(),
                statement.keys.threshold, bad ? "; a signature does not verify" : "");
    if (bad || valid < statement.keys.threshold) status = 1;
#endif
    return status;
}

int verify(const fs::path& dir) {
    const int statement_status = verify_statement(dir);
    std::string text;
    if (!tools::read_whole_file(dir / catalogue_name, text)) {
        std::fprintf(stderr, "tamber-catalogue: cannot read '%s'\n", (dir / catalogue_name).string().c_str());
        return 1;
    }
    catalogue files;
    parse_catalogue(text, files);
    // The host tests names relative to its working folder.
    std::error_code error;
    fs::current_path(dir, error);
    if (error) {
        std::fprintf(stderr, "tamber-catalogue: cannot enter '%s': %s\n", dir.string().c_str(),
                     error.message().c_str());
        return 1;
    }
    size_t outdated = 0;
    for (const auto& [name, entry] : files) {
        if (!is_store_name(name)) {
            std::printf("refused %s\n", name.c_str());
            ++outdated;
        } else if (needs_download(name, entry.size, entry.digest)) {
            std::printf("outdated %s\n", name.c_str());
            ++outdated;
        }
    }
    std::printf("%s files, %s current, %s outdated\n", std::to_string(files.size()).c_str(),
                std::to_string(files.size() - outdated).c_str(), std::to_string(outdated).c_str());
    return outdated == 0 && statement_status == 0 ? 0 : 1;
}

int hash_files(int count, char** paths) {
    int status = 0;
    for (int i = 0; i < count; ++i) {
        std::string digest;
        uint32_t total = 0;
        if (!hash_path(paths[i], digest, total)) {
            std::fprintf(stderr, "tamber-catalogue: cannot read '%s'\n", paths[i]);
            status = 1;
            continue;
        }
        std::printf("%s  %s\n", digest.c_str(), paths[i]);
    }
    return status;
}

bool is_option(const std::string& argument) {
    return argument.size() > 2 && argument.compare(0, 2, "--") == 0;
}

// The publishing options before DIR, the last argument. False (usage) for
// an unknown option or one without its value.
bool parse_publish_options(int count, char** arguments, publish_options& options) {
    for (int i = 0; i < count; ++i) {
        const std::string option = arguments[i];
        const bool has_value = i + 1 < count;
        if (option == "--sign" && has_value) {
            options.sign.push_back(arguments[++i]);
        } else if (option == "--expires" && has_value && !options.expires) {
            options.expires = arguments[++i];
        } else if (option == "--release" && has_value && !options.release) {
            options.release = arguments[++i];
        } else if (option == "--threshold" && has_value && !options.threshold) {
            options.threshold = arguments[++i];
        } else if (option == "--key-set" && options.key_set.empty()) {
            while (i + 1 < count && !is_option(arguments[i + 1])) options.key_set.push_back(arguments[++i]);
            if (options.key_set.empty()) return false;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    tools::apply_sha256_choice();
    if (argc < 2) return usage();
    const std::string first = argv[1];
    if (first == "--engine" && argc == 2) {
        std::printf("%s\n", sha256_hardware() ? "hardware" : "portable");
        return 0;
    }
    if (first == "--hash" && argc >= 3) return hash_files(argc - 2, argv + 2);
    if (first == "--verify" && argc == 3) return verify(argv[2]);
    if (argc == 2 && !first.empty() && first[0] != '-') return write_catalogue(first);

    const std::string dir = argv[argc - 1];
    publish_options options;
    if (dir.empty() || dir[0] == '-' || !parse_publish_options(argc - 2, argv + 1, options)) return usage();
    if (options.sign.empty()) return refuse("a release statement needs at least one --sign KEY.pem");
    if (options.threshold && options.key_set.empty())
        return refuse("--threshold goes with --key-set: it is the new key set's");
    if (!options.key_set.empty() && !options.threshold)
        return refuse("--key-set needs --threshold T: how many of its keys must sign");
    std::error_code error;
    if (!fs::is_directory(dir, error)) return refuse("'" + dir + "' is not a folder");
    return publish(dir, options);
}
