#include <gtest/gtest.h>

#include "shell/messages.h"

namespace tamber {
namespace {

TEST(fill_error_code, fills_the_placeholder_with_eight_upper_case_digits) {
    EXPECT_EQ(fill_error_code(u"Failed.\nError code: 0x%08lX.", 0x57), u"Failed.\nError code: 0x00000057.");
    EXPECT_EQ(fill_error_code(u"0x%08lX", 0x8007007E), u"0x8007007E");
    // Only the placeholder is touched; other '%' signs stay as they are.
    EXPECT_EQ(fill_error_code(u"100% sure", 1), u"100% sure");
    EXPECT_EQ(fill_error_code(u"", 1), u"");
}

}  // namespace
}  // namespace tamber
