// tamber-catalogue: writes the catalogue list ".pm_file_list" of a content
// folder, checks a folder against its list, or hashes files.
//
//   tamber-catalogue DIR            every regular file below DIR except the
//                                   two lists, as "name size DIGEST" lines
//   tamber-catalogue --verify DIR   tests every listed file as the host does
//   tamber-catalogue --hash FILE... prints "DIGEST  FILE" lines
//   tamber-catalogue --engine       prints which SHA-256 path is in use
//   tamber-catalogue --sign KEY DIR writes the catalogue as for DIR, then
//                                   signs both lists with the ECDSA P-256
//                                   private key in the PEM file KEY:
//                                   DIR/.pm_file_list.sig, .tb_file_list.sig
//                                   (native builds only)
//
// Names are refused, and nothing is written, when the host would refuse them
// or when they contain whitespace (the list's field separator).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "tool_files.h"
#if defined(TAMBER_CATALOGUE_SIGNS)
#include "platform/native/openssl_signature.h"
#endif
#include "update/file_list.h"
#include "update/file_store.h"
#include "update/sha256.h"

namespace fs = std::filesystem;
using namespace tamber;

namespace {

const char* const catalogue_name = ".pm_file_list";
const char* const dependency_name = ".tb_file_list";
const uintmax_t largest_32_bit_download = 0x40000000u;  // the 32-bit host's body limit

int usage() {
    std::fprintf(stderr,
                 "usage: tamber-catalogue DIR | --sign KEY DIR | --verify DIR | --hash FILE... | --engine\n"
                 "  DIR           write DIR/%s from the files below DIR\n"
                 "  --sign KEY DIR  the same, then sign DIR's two lists with the ECDSA P-256\n"
                 "                private key in the PEM file KEY (writes LIST.sig beside each)\n"
                 "  --verify DIR  test the files listed in DIR/%s as the host does\n"
                 "  --hash FILE   print the SHA-256 digest of each FILE\n"
                 "  --engine      print the SHA-256 path in use (hardware or portable)\n",
                 catalogue_name, catalogue_name);
    return 2;
}

bool has_whitespace(const std::string& name) {
    return name.find_first_of(" \t\r\n\v\f") != std::string::npos;
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

std::string lower_case(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

int write_catalogue(const fs::path& dir) {
    std::error_code error;
    if (!fs::is_directory(dir, error)) {
        std::fprintf(stderr, "tamber-catalogue: '%s' is not a folder\n", dir.string().c_str());
        return 1;
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
        if (name == catalogue_name || name == dependency_name) continue;
        if (name == std::string(catalogue_name) + ".sig" || name == std::string(dependency_name) + ".sig") continue;
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
        return 1;
    }
    if (refused) {
        std::fprintf(stderr, "tamber-catalogue: nothing written\n");
        return 1;
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

    std::string text;
    uint64_t total_bytes = 0;
    for (const file& f : files) {
        std::string digest;
        uint32_t read = 0;
        if (!hash_path(f.path, digest, read) || read != f.size) {
            std::fprintf(stderr, "tamber-catalogue: cannot read '%s' (or it changed while being read)\n",
                         f.name.c_str());
            return 1;
        }
        text += f.name + " " + std::to_string(f.size) + " " + digest + "\n";
        total_bytes += f.size;
    }

    const fs::path list = dir / catalogue_name;
    std::ofstream out(list, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "tamber-catalogue: cannot write '%s'\n", list.string().c_str());
        return 1;
    }
    std::printf("wrote %s: %s files, %s bytes\n", list.string().c_str(), std::to_string(files.size()).c_str(),
                std::to_string(total_bytes).c_str());
    return 0;
}

// Writes DIR/LIST.sig for both lists: the DER ECDSA signature of each
// list's exact bytes, as `openssl dgst -sha256 -sign KEY` writes it.
int sign_lists(const std::string& key, const fs::path& dir) {
#if defined(TAMBER_CATALOGUE_SIGNS)
    // Both signatures are made before either is written, so that a failure
    // leaves no list with a stale signature beside a fresh one.
    std::vector<uint8_t> signatures[2];
    const char* const names[2] = {catalogue_name, dependency_name};
    for (int i = 0; i < 2; ++i) {
        const fs::path list = dir / names[i];
        std::string text;
        if (!tools::read_whole_file(list, text)) {
            std::fprintf(stderr, "tamber-catalogue: cannot read '%s': nothing signed\n", list.string().c_str());
            return 1;
        }
        std::string error;
        if (!native::sign_with_key_file(key, {reinterpret_cast<const uint8_t*>(text.data()), text.size()},
                                        signatures[i], error)) {
            std::fprintf(stderr, "tamber-catalogue: %s: nothing signed\n", error.c_str());
            return 1;
        }
    }
    for (int i = 0; i < 2; ++i) {
        const fs::path signature_path = dir / (std::string(names[i]) + ".sig");
        std::ofstream out(signature_path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(signatures[i].data()),
                  static_cast<std::streamsize>(signatures[i].size()));
        out.close();
        if (!out) {
            std::fprintf(stderr, "tamber-catalogue: cannot write '%s'\n", signature_path.string().c_str());
            return 1;
        }
        std::printf("wrote %s\n", signature_path.string().c_str());
    }
    return 0;
#else
    (void)key;
    (void)dir;
    std::fprintf(stderr, "tamber-catalogue: this build cannot sign; use a native build of the tool\n");
    return 1;
#endif
}

// Whether DIR's lists can be signed with KEY, before anything is written:
// the key signs, and the dependency list (which the tool does not write) is
// there.
bool can_sign(const std::string& key, const fs::path& dir) {
#if defined(TAMBER_CATALOGUE_SIGNS)
    std::string text;
    if (!tools::read_whole_file(dir / dependency_name, text)) {
        std::fprintf(stderr, "tamber-catalogue: cannot read '%s': nothing written\n",
                     (dir / dependency_name).string().c_str());
        return false;
    }
    std::vector<uint8_t> signature;
    std::string error;
    if (native::sign_with_key_file(key, {}, signature, error)) return true;
    std::fprintf(stderr, "tamber-catalogue: %s: nothing written\n", error.c_str());
    return false;
#else
    (void)key;
    (void)dir;
    std::fprintf(stderr, "tamber-catalogue: this build cannot sign; use a native build of the tool\n");
    return false;
#endif
}

int verify(const fs::path& dir) {
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
    return outdated == 0 ? 0 : 1;
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
    if (first == "--sign" && argc == 4) {
        if (!can_sign(argv[2], argv[3])) return 1;
        const int written = write_catalogue(argv[3]);
        return written != 0 ? written : sign_lists(argv[2], argv[3]);
    }
    if (argc == 2 && !first.empty() && first[0] != '-') return write_catalogue(first);
    return usage();
}
