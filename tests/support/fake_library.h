// A game library without a file, for tests of the code that binds one: a
// loader that "maps" a single library whose exports are given by operation
// name, and answers the host's look-ups under the names this build exports
// them by (from the SDK header's table: decorated on 32-bit Windows, plain
// elsewhere).
#pragma once

#include <cstring>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "applet/library.h"

namespace tamber::test {

// The name this build exports `operation` under ("" for no entry point).
inline std::string exported_name(std::string_view operation) {
#define TAMBER_TEST_NAME(op, bytes, required) \
    if (operation == #op) return TAMBER_ENTRY_NAME(op, bytes);
    TAMBER_APPLET_ENTRY_POINTS(TAMBER_TEST_NAME)
#undef TAMBER_TEST_NAME
    return {};
}

// A function as the untyped address a loader hands out.
template <typename F>
void* as_symbol(F f) {
    void* p;
    static_assert(sizeof(p) == sizeof(f));
    std::memcpy(&p, &f, sizeof(p));
    return p;
}

class fake_library_loader final : public library_loader {
public:
    // Each pair: an operation ("load", "render", ...) and its function.
    fake_library_loader(std::initializer_list<std::pair<std::string_view, void*>> exports) {
        for (const auto& [operation, address] : exports) exports_[exported_name(operation)] = address;
    }

    bool present = true;             // false: open fails like a missing file
    std::vector<std::string> opened;  // the paths asked for
    int closed = 0;
    // How many calls of prepare answer "not yet", as an asynchronous
    // platform's do while it maps the library.
    int prepare_waits = 0;
    std::vector<std::string> prepared;  // the paths prepare was asked for

    bool prepare(const char* path) override {
        prepared.push_back(path);
        if (prepare_waits == 0) return true;
        --prepare_waits;
        return false;
    }

    void* open(const char* path, uint32_t& error) override {
        opened.push_back(path);
        if (!present) {
            error = error_mod_not_found;
            return nullptr;
        }
        return this;
    }
    void* symbol(void*, const char* name) override {
        const auto it = exports_.find(name);
        return it == exports_.end() ? nullptr : it->second;
    }
    void close(void*) override { ++closed; }

private:
    std::map<std::string, void*> exports_;
};

}  // namespace tamber::test
