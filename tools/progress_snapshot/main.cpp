// progress_snapshot OUTDIR: draws the progress screen in every state the
// bootstrap applet can show, over its background and with its status
// messages, and writes each frame to OUTDIR as a PNG file.
#include <cstdio>
#include <string>
#include <vector>

#include "applet/tb_applet.h"
#include "draw/progress_screen.h"
#include "draw/text.h"
#include "image/png.h"

#if defined(_WIN32)
#include "platform/win32/gdi_font.h"
using platform_font_engine = tamber::win32::gdi_font_engine;
#else
#include "platform/native/freetype_font.h"
using platform_font_engine = tamber::freetype_font_engine;
#endif

namespace {

using namespace tamber;

struct snapshot {
    const char* file;
    progress_status status;
    int32_t load_result;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: progress_snapshot OUTDIR\n");
        return 2;
    }
    const std::string dir = argv[1];

    platform_font_engine engine;
    const font large_font(engine, large_font_desc());
    const font small_font(engine, small_font_desc());
    render_bitmap bitmap(engine);
    if (large_font.get() == nullptr || small_font.get() == nullptr || bitmap.pixels() == nullptr) {
        std::fprintf(stderr, "progress_snapshot: the font engine could not make the fonts or the bitmap\n");
        return 1;
    }
    const text_resources text{large_font, small_font, bitmap};

    const snapshot snapshots[] = {
        {"state0_loading.png", {idle, 0, 0, 0, "", "tblobby.dll", ""}, 0},
        {"state0_load_error.png", {idle, 0, 0, 0, "", "tblobby.dll", ""}, static_cast<int32_t>(0x8007007E)},
        {"state1_2_file_list.png", {fetching_catalogue, 3, 0, 0, ".pm_file_list", "tblobby.dll", ""}, -1},
        {"state3_4_downloading.png", {downloading, 5, 3000, 1000, "games/roulette.dll", "tblobby.dll", ""}, -1},
        {"state3_4_checking_no_total.png", {checking, 7, 0, 0, "", "tblobby.dll", ""}, -1},
        {"state5_complete.png", {complete, 41, 3000, 3000, "", "tblobby.dll", ""}, -1},
        {"state6_7_failed_root.png", {failed_root_missing, 2, 0, 0, "", "tblobby.dll", ""}, -1},
        {"state8_11_failed_file.png", {failed_transfer, 9, 3000, 1200, "a/b.dat", "tblobby.dll", ""}, -1},
        {"state10_expired_release.png",
         {failed_transfer, 3, 0, 0, ".tb_release", "tblobby.dll", "Expired 2026-11-30 00:00 UTC; clock says 2026-12-09 23:50 UTC"},
         -1},
    };

    frame_image image(800, 600);
    std::vector<uint8_t> rgb(size_t{800} * 600 * 3);
    for (const snapshot& s : snapshots) {
        frame_view view = image.view();
        draw_rect(view, {0, 0, view.width, view.height}, 0xFF000025, 0xFF000025);
        const int32_t cx = view.width / 2, cy = view.height / 2;
        const std::u16string message = widen_bytes(status_message(s.status.state, s.load_result));
        draw_progress_screen(s.status, view, cx, cy, message, text);

        for (size_t i = 0; i < size_t{800} * 600; ++i) {
            rgb[3 * i] = image.plane(2)[i];
            rgb[3 * i + 1] = image.plane(1)[i];
            rgb[3 * i + 2] = image.plane(0)[i];
        }
        const std::string path = dir + "/" + s.file;
        if (!write_png(path, 800, 600, rgb)) {
            std::fprintf(stderr, "progress_snapshot: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}
