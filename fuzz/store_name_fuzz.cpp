// Fuzzes the store-name test: whatever it accepts must be a relative path
// that stays inside the store and names no Windows device, checked here by
// rules written independently of the implementation.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "update/file_list.h"

using namespace tamber;

namespace {

std::string upper(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    return result;
}

// True when the component would open a device on Windows.
bool device(std::string_view component) {
    std::string base = upper(component.substr(0, component.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    static const char* const names[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char* name : names)
        if (base == name) return true;
    if (base.size() == 4 && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0) && base[3] >= '1' &&
        base[3] <= '9')
        return true;
    return false;
}

void check_accepted(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.back() == '/') std::abort();
    for (char c : name) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '\\' || c == ':') std::abort();
    }
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string_view::npos) end = name.size();
        const std::string_view component = name.substr(start, end - start);
        if (component.empty() || component == "." || component == ".." || component.back() == '.' ||
            component.back() == ' ' || device(component))
            std::abort();
        start = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view name(reinterpret_cast<const char*>(data), size);
    if (is_store_name(name)) check_accepted(name);
    // Joining two accepted names with '/' gives an accepted name, and a
    // refused component refuses the whole path wherever it stands.
    const size_t half = size / 2;
    const std::string_view first = name.substr(0, half), second = name.substr(half);
    if (is_store_name(first) && is_store_name(second)) {
        const std::string joined = std::string(first) + "/" + std::string(second);
        if (!is_store_name(joined)) std::abort();
    }
    if (!is_store_name(first) && !first.empty() && first.find('/') == std::string_view::npos) {
        const std::string nested = "dir/" + std::string(first) + "/file";
        if (is_store_name(nested)) std::abort();
    }
    return 0;
}
