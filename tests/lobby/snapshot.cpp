// tamber_lobby_snapshot CONTENT_DIR OUT_DIR: renders the lobby in a few
// situations and writes each frame as a PNG into OUT_DIR, for people to
// look at. CONTENT_DIR is the folder with lobby/ (the assets); "-" renders
// with the built-in defaults only.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "image/png.h"
#include "tamber_applet.h"

namespace {

// The planar frame as an RGB PNG.
bool write_png(const std::string &path, const frame_view &view) {
    std::vector<uint8_t> rgb;
    rgb.reserve(size_t(view.width) * size_t(view.height) * 3);
    for (int32_t y = 0; y < view.height; ++y) {
        for (int32_t x = 0; x < view.width; ++x) {
            const size_t i = size_t(y) * size_t(view.pitch) + size_t(x);
            rgb.insert(rgb.end(), {view.plane[2][i], view.plane[1][i], view.plane[0][i]});
        }
    }
    return tamber::write_png(path, uint32_t(view.width), uint32_t(view.height), rgb);
}

struct frame {
    std::vector<uint8_t> planes[3];
    frame_view view{};

    frame() {
        for (auto &p : planes) p.assign(800 * 600, 0);
        view.width = 800;
        view.height = 600;
        view.pitch = 800;
        for (int i = 0; i < 3; ++i) view.plane[i] = planes[i].data();
    }
};

void type(const char *text) {
    for (const char *p = text; *p; ++p) applet_on_wm_char(uint32_t(uint8_t(*p)));
}

// A chip dragged from the tray and dropped at (x, y).
void bet_chip(int32_t chip_x, int32_t x, int32_t y) {
    if (applet_mouse_down(0, chip_x, 545, 0) != 1) return;
    drag_operation *d = applet_mouse_drag(0, chip_x, 545);
    if (!d) return;
    d->vtbl->AddRef(d);
    d->vtbl->begin(d, chip_x, 545);
    d->vtbl->move(d, x, y);
    d->vtbl->drop(d, x, y);
    d->vtbl->Release(d);
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s CONTENT_DIR|- OUT_DIR\n", argv[0]);
        return 2;
    }
    const std::filesystem::path out = std::filesystem::absolute(argv[2]);
    std::filesystem::create_directories(out);
    const std::string content = argv[1];
    if (content == "-") {
        std::filesystem::current_path(std::filesystem::temp_directory_path());
    } else {
        std::filesystem::current_path(content);
    }
    frame f;
    auto shot = [&](const char *name, int32_t x, int32_t y) {
        applet_update(16);
        applet_render(16, &f.view, x, y);
        const std::string path = (out / name).string();
        if (!write_png(path, f.view)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return false;
        }
        std::printf("%s\n", path.c_str());
        return true;
    };

    applet_load(nullptr, nullptr, 0);
    bool ok = shot("lobby-start.png", 400, 200); // pointer over the middle tile

    type("Ada");
    bet_chip(476, 400, 388);
    bet_chip(400, 402, 386);
    bet_chip(324, 398, 390);
    applet_key_down(0x27); // selection moves to the next game
    ok = shot("lobby-bets.png", 400, 388) && ok;

    // A chip in mid-drag over the spot.
    applet_mouse_down(0, 552, 545, 0);
    drag_operation *d = applet_mouse_drag(0, 552, 545);
    if (d) {
        d->vtbl->AddRef(d);
        d->vtbl->begin(d, 552, 545);
        d->vtbl->move(d, 420, 370);
        ok = shot("lobby-dragging.png", 420, 370) && ok;
        d->vtbl->cancel(d);
        d->vtbl->Release(d);
    }

    applet_mouse_click(0, 170, 200, 0); // open the first game: flash + message
    ok = shot("lobby-clicked.png", 700, 36) && ok;
    applet_unload();
    return ok ? 0 : 1;
}
