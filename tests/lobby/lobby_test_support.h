// Helpers shared by the lobby tests: a frame with its own planes, a working
// directory switched for the length of a test, and a fixture that loads the
// lobby afresh.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "lobby.h"
#include "tamber_applet.h"

namespace lobby_test {

// Planes of exactly pitch * height bytes, so AddressSanitizer catches any
// write outside the frame.
struct test_frame {
    std::vector<uint8_t> planes[3];
    frame_view view{};

    test_frame(int32_t width, int32_t height, int32_t pitch, uint8_t fill) {
        for (auto &p : planes) p.assign(size_t(pitch) * size_t(height), fill);
        view.width = width;
        view.height = height;
        view.pitch = pitch;
        for (int i = 0; i < 3; ++i) view.plane[i] = planes[i].data();
    }
    lobby::colour at(int32_t x, int32_t y) const {
        const size_t i = size_t(y) * size_t(view.pitch) + size_t(x);
        return lobby::colour{planes[2][i], planes[1][i], planes[0][i]};
    }
};

inline bool same(lobby::colour a, lobby::colour b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

// Makes `dir` the working directory until destroyed (the lobby reads its
// assets relative to it).
class scoped_directory {
public:
    explicit scoped_directory(const std::filesystem::path &dir) : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~scoped_directory() { std::filesystem::current_path(previous_); }

private:
    std::filesystem::path previous_;
};

// An empty folder: no assets, so the lobby runs on its built-in defaults.
inline std::filesystem::path empty_directory() {
    const auto dir = std::filesystem::temp_directory_path() / "tamber_lobby_test_empty";
    std::filesystem::create_directories(dir);
    return dir;
}

// Where things are on the lobby's 800 x 600 screen.
namespace at {
struct point {
    int32_t x, y;
};
constexpr point tile[3] = {{170, 205}, {400, 205}, {630, 205}};
constexpr point fullscreen{614, 36};
constexpr point quit{736, 36};
constexpr point name_field{170, 352};
constexpr point chip[5] = {{248, 545}, {324, 545}, {400, 545}, {476, 545}, {552, 545}};
constexpr point spot{400, 388};
constexpr point felt{400, 300};
} // namespace at

// The window handle the lobby is loaded with; posts must go to it.
inline tamber_handle test_window() {
    static char window;
    return &window;
}

class lobby_fixture : public ::testing::Test {
protected:
    void SetUp() override {
        posted.clear();
        sent.clear();
        host_exports_send_packet = true;
        ASSERT_EQ(applet_load(nullptr, test_window(), 0), 0);
    }
    void TearDown() override { applet_unload(); }

    lobby::state &lobby_state() { return lobby::the_lobby(); }

    // Picks up the chip of the given kind from the tray; the host's part:
    // mouse_down answered 1, mouse_drag, AddRef, begin.
    drag_operation *pick_up(int kind) {
        const at::point p = at::chip[kind];
        EXPECT_EQ(applet_mouse_down(0, p.x, p.y, 0), TAMBER_PRESS_DRAG);
        drag_operation *d = applet_mouse_drag(0, p.x, p.y);
        EXPECT_NE(d, nullptr);
        if (d) {
            d->vtbl->AddRef(d);
            d->vtbl->begin(d, p.x, p.y);
        }
        return d;
    }
    // Releases the button at (x, y) the way the host does: a local
    // reference, move, the shell's reference dropped, mouse_move, drop.
    void release_at(drag_operation *d, int32_t x, int32_t y) {
        d->vtbl->AddRef(d);
        d->vtbl->move(d, x, y);
        d->vtbl->Release(d);
        applet_mouse_move(x, y);
        d->vtbl->drop(d, x, y);
        d->vtbl->Release(d);
    }
    // Escape during a drag: cancel, then the shell's reference goes.
    void escape(drag_operation *d) {
        d->vtbl->cancel(d);
        d->vtbl->Release(d);
    }
    void bet(int kind) { release_at(pick_up(kind), at::spot.x, at::spot.y); }

private:
    scoped_directory cwd_{empty_directory()};
};

} // namespace lobby_test
