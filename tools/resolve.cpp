// tamber-resolve: shows what the host would download for a root name.
//
//   tamber-resolve DIR ROOT
//
// Reads DIR/.pm_file_list and DIR/.tb_file_list with the host's parsers and
// prints, in download order (ascending bytes), "name size" for every queued
// file, then "total N files B bytes", then an "unresolved KEY: MEMBER" line for
// every dependency-list member that names nothing: a plain name that is
// neither a catalogue name nor a key, or a '+'/'-' prefix that begins no
// catalogue name. Exits 1 when ROOT is not a key of the dependency list.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <utility>

#include "tool_files.h"
#include "update/file_list.h"

namespace fs = std::filesystem;
using namespace tamber;

namespace {

bool read_list(const fs::path& path, std::string& text) {
    if (tools::read_whole_file(path, text)) return true;
    std::fprintf(stderr, "tamber-resolve: cannot read '%s'\n", path.string().c_str());
    return false;
}

bool begins_some_name(const catalogue& files, const std::string& prefix) {
    const auto it = files.lower_bound(prefix);
    return it != files.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

bool names_something(const catalogue& files, const dependency_table& dependencies, const std::string& member) {
    if (!member.empty() && (member[0] == '+' || member[0] == '-')) return begins_some_name(files, member.substr(1));
    return files.count(member) != 0 || dependencies.count(member) != 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tamber-resolve DIR ROOT\n");
        return 2;
    }
    const fs::path dir = argv[1];
    const std::string root = argv[2];

    std::string catalogue_text, dependency_text;
    if (!read_list(dir / ".pm_file_list", catalogue_text) || !read_list(dir / ".tb_file_list", dependency_text))
        return 1;
    catalogue files;
    dependency_table dependencies;
    parse_catalogue(catalogue_text, files);
    parse_dependency_list(dependency_text, dependencies);

    download_queue queue;
    if (!resolve_queue(root, files, dependencies, queue)) {
        std::fprintf(stderr, "tamber-resolve: '%s' is not a key of .tb_file_list: the host would stop there\n",
                     root.c_str());
        return 1;
    }

    uint64_t total = 0;
    for (const std::string& name : queue) {
        const uint32_t size = files.at(name).size;
        std::printf("%s %s\n", name.c_str(), std::to_string(size).c_str());
        total += size;
        if (!is_store_name(name))
            std::fprintf(stderr,
                         "tamber-resolve: warning: the host refuses the name '%s': its update stops there (state 11), "
                         "and no file after it in this list is fetched\n",
                         name.c_str());
    }
    std::printf("total %s files %s bytes\n", std::to_string(queue.size()).c_str(), std::to_string(total).c_str());
    if (total > 0xFFFFFFFFu)
        std::fprintf(stderr, "tamber-resolve: warning: over 4294967295 bytes: the host's progress counter wraps\n");

    // Each key and member once, in key order and then member order.
    for (const auto& [key, members] : dependencies) {
        std::set<std::string> reported;
        for (const std::string& member : members)
            if (!names_something(files, dependencies, member) && reported.insert(member).second)
                std::printf("unresolved %s: %s\n", key.c_str(), member.c_str());
    }
    return 0;
}
