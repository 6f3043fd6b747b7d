// The two lists the update server publishes: the catalogue ".pm_file_list"
// (name, size, SHA-256 digest) and the dependency list ".tb_file_list"
// (name: members...), and the resolution of a root name into the download
// queue.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tamber {

struct file_list_entry {
    uint32_t size = 0;
    std::string digest;  // as listed; current files have 64 upper-case hex digits
};

// Ordered by plain byte-wise comparison (std::string compares as unsigned
// bytes).
using catalogue = std::map<std::string, file_list_entry>;
using dependency_table = std::map<std::string, std::vector<std::string>>;
using download_queue = std::set<std::string>;

// Add the lines of a complete list body to the table; malformed lines are
// skipped, nothing ever fails as a whole.
void parse_catalogue(std::string_view text, catalogue& table);
void parse_dependency_list(std::string_view text, dependency_table& table);

// Resolves `root` through the dependency table into `queue` (catalogue names
// only). Returns false, queueing nothing, when `root` is not a key of the
// dependency table.
bool resolve_queue(const std::string& root, const catalogue& files, const dependency_table& dependencies,
                   download_queue& queue);

// True when `name` names a plain file inside the store: relative, '/'
// separators only, no empty, "." or ".." component, no backslash, ':' or
// control character, no component ending in a dot or a space (Windows drops
// them), no Windows device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$,
// CONOUT$, any letter case, with or without an extension) in any component.
// Names that fail are never tested, fetched or written.
bool is_store_name(std::string_view name);

}  // namespace tamber
