// Texts the shell shows the user.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tamber {

// Replaces the error-code placeholder "%08lX" of a string-table text with
// the code in eight upper-case hexadecimal digits. Texts without the
// placeholder come back unchanged; nothing else is interpreted, so a stray
// '%' in a text cannot misbehave.
std::u16string fill_error_code(std::u16string_view text, uint32_t code);

}  // namespace tamber
