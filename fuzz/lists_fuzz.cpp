// Fuzzes the two list parsers and the queue resolution together, against
// straightforward models of the same rules: the catalogue read with stream
// extraction into a 32-bit unsigned integer, the dependency list read with
// stream extraction of strings, and a recursive resolution that scans the
// whole catalogue for every prefix.
//
// Input: the catalogue list, a NUL byte, the dependency list (no NUL: all of
// it is the catalogue list).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <unordered_set>

#include "update/file_list.h"

using namespace tamber;

namespace {

void model_catalogue(const std::string& text, catalogue& table) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string name, digest;
        uint32_t size = 0;
        if (fields >> name >> size >> digest) table[name] = file_list_entry{size, digest};
    }
}

void model_dependencies(const std::string& text, dependency_table& table) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string key;
        if (!(fields >> key) || key.back() != ':') continue;
        key.pop_back();
        std::vector<std::string>& members = table[key];
        for (std::string member; fields >> member;) members.push_back(member);
    }
}

struct model_resolver {
    const catalogue& files;
    const dependency_table& dependencies;
    download_queue& queue;
    std::unordered_set<std::string> visited;

    void resolve_name(const std::string& name) {
        if (files.count(name)) queue.insert(name);
        if (!visited.insert(name).second) return;
        const auto key = dependencies.find(name);
        if (key == dependencies.end()) return;
        for (const std::string& member : key->second) apply_member(member);
    }
    void apply_member(const std::string& member) {
        if (member.empty()) return;
        const std::string prefix = member.substr(1);
        if (member[0] == '+') {
            for (const auto& [name, entry] : files)
                if (name.compare(0, prefix.size(), prefix) == 0) queue.insert(name);
        } else if (member[0] == '-') {
            for (const auto& [name, entry] : files)
                if (name.compare(0, prefix.size(), prefix) == 0) queue.erase(name);
        } else {
            resolve_name(member);
        }
    }
};

bool same(const catalogue& a, const catalogue& b) {
    if (a.size() != b.size()) return false;
    for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j)
        if (i->first != j->first || i->second.size != j->second.size || i->second.digest != j->second.digest)
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const std::string catalogue_text = input.substr(0, split);
    const std::string dependency_text = split == std::string::npos ? std::string() : input.substr(split + 1);

    catalogue files;
    parse_catalogue(catalogue_text, files);
    catalogue model_files;
    model_catalogue(catalogue_text, model_files);
    if (!same(files, model_files)) std::abort();

    dependency_table dependencies;
    parse_dependency_list(dependency_text, dependencies);
    dependency_table model_table;
    model_dependencies(dependency_text, model_table);
    if (dependencies != model_table) std::abort();

    // The root the host uses, and the first few keys.
    std::vector<std::string> roots{"tblobby.dll"};
    for (const auto& [key, members] : dependencies) {
        if (roots.size() == 5) break;
        roots.push_back(key);
    }
    for (const std::string& root : roots) {
        download_queue queue;
        const bool found = resolve_queue(root, files, dependencies, queue);
        download_queue model_queue;
        if (found != (dependencies.count(root) != 0)) std::abort();
        if (found) model_resolver{files, dependencies, model_queue, {}}.resolve_name(root);
        if (queue != model_queue) std::abort();
        for (const std::string& name : queue) {
            if (!files.count(name)) std::abort();
            (void)is_store_name(name);
        }
    }
    return 0;
}
