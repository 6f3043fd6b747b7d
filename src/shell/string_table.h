// quillon.exe's string table, for the hosts that are not Windows programs
// (tamber, the browser host): the same texts, read from its resource script
// when the host is built (src/CMakeLists.txt makes string_table.inc).
#pragma once

#include <cstdint>
#include <string>

namespace tamber {

// String `id`; empty for an id the table has not.
std::u16string string_text(uint32_t id);

}  // namespace tamber
