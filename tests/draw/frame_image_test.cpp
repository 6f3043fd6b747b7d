#include <gtest/gtest.h>

#include "draw/frame_image.h"

namespace tamber {
namespace {

TEST(frame_image, starts_black_and_views_its_planes) {
    frame_image image(800, 600);
    frame_view v = image.view();
    EXPECT_EQ(v.width, 800);
    EXPECT_EQ(v.height, 600);
    EXPECT_EQ(v.pitch, 800);
    EXPECT_EQ(v.reserved3 | v.reserved4 | v.reserved5 | v.reserved9 | v.reserved10, 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(v.plane[i], image.plane(i));
        EXPECT_EQ(image.plane(i)[0], 0);
        EXPECT_EQ(image.plane(i)[800 * 600 - 1], 0);
    }
}

}  // namespace
}  // namespace tamber
