// The built library as the host sees it: loaded with dlopen, every entry
// point found by its plain name, and a first frame drawn through them.
// (The Windows build checks tblobby.dll's decorated names with objdump.)
#ifdef TAMBER_LOBBY_LIBRARY

#include <dlfcn.h>

#include "lobby_test_support.h"

namespace lobby_test {
namespace {

TEST(lobby_library, exports_every_entry_point_and_runs) {
    scoped_directory cwd(empty_directory());
    void *library = dlopen(TAMBER_LOBBY_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
#define TAMBER_CHECK_EXPORT(operation, bytes, required) \
    EXPECT_NE(dlsym(library, "applet_" #operation), nullptr) << #operation;
    TAMBER_APPLET_ENTRY_POINTS(TAMBER_CHECK_EXPORT)
#undef TAMBER_CHECK_EXPORT
    EXPECT_EQ(dlsym(library, "_ZN5lobby9the_lobbyEv"), nullptr) << "internals stay hidden";

    auto load = reinterpret_cast<applet_load_fn>(dlsym(library, "applet_load"));
    auto render = reinterpret_cast<applet_render_fn>(dlsym(library, "applet_render"));
    auto mouse_down = reinterpret_cast<applet_mouse_down_fn>(dlsym(library, "applet_mouse_down"));
    auto get_balance = reinterpret_cast<applet_get_balance_fn>(dlsym(library, "applet_get_balance"));
    auto unload = reinterpret_cast<applet_unload_fn>(dlsym(library, "applet_unload"));
    ASSERT_TRUE(load && render && mouse_down && get_balance && unload);
    ASSERT_EQ(load(nullptr, nullptr, 0), 0);
    EXPECT_EQ(get_balance(), 1000);
    EXPECT_EQ(mouse_down(0, at::chip[0].x, at::chip[0].y, 0), TAMBER_PRESS_DRAG);
    test_frame frame(800, 600, 800, 0);
    render(16, &frame.view, 0, 0);
    const lobby::colour felt = frame.at(400, 300);
    EXPECT_GT(felt.g, felt.r) << "a green table";
    unload();
    dlclose(library);
}

} // namespace
} // namespace lobby_test

#endif
