#include "shell/string_table.h"

#include "resources/resource_ids.h"

namespace tamber {

namespace {
struct string_entry {
    uint32_t id;
    const char16_t* text;
};
// Generated from resources/quillon.rc by the build.
constexpr string_entry strings[] = {
#include "string_table.inc"
};
}  // namespace

std::u16string string_text(uint32_t id) {
    for (const string_entry& s : strings)
        if (s.id == id) return s.text;
    return {};
}

}  // namespace tamber
