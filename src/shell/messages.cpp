#include "shell/messages.h"

namespace tamber {

std::u16string fill_error_code(std::u16string_view text, uint32_t code) {
    static constexpr std::u16string_view placeholder = u"%08lX";
    std::u16string out(text);
    const size_t at = out.find(placeholder);
    if (at == std::u16string::npos) return out;
    char16_t digits[8];
    for (int i = 7; i >= 0; --i, code >>= 4) digits[i] = u"0123456789ABCDEF"[code & 0xF];
    out.replace(at, placeholder.size(), digits, 8);
    return out;
}

}  // namespace tamber
