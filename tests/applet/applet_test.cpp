// The library-backed applet against real game libraries (tests/libs), mapped
// by the platform's loader. Every test works in a scratch folder of its own
// that is also the working directory, so libraries are loaded by bare names
// as the host loads "tblobby.dll" from its store. The libraries write every
// call they receive, and their mapping and unmapping, to one log file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "applet/applet.h"

#ifdef _WIN32
#include "platform/win32/win32_library.h"
using platform_loader = tamber::win32::library_loader;
#else
#include "platform/native/dlopen_library.h"
using platform_loader = tamber::native::library_loader;
#endif

namespace {
// What the host export of this test program forwards to, and what reached it.
tamber::applet* host_applet = nullptr;
std::vector<std::pair<uint32_t, uint32_t>> host_calls;
}  // namespace

// The test program's stand-in for quillon.exe's export (host_export.def): a
// library calls it by name; it passes the call on to the applet.
extern "C" void TAMBER_CALL applet_send_packet(uint32_t a, uint32_t b) {
    host_calls.emplace_back(a, b);
    if (host_applet) host_applet->send_packet(a, b);
}

namespace tamber {
namespace {

namespace fs = std::filesystem;

void* const window = reinterpret_cast<void*>(0x1234);
constexpr const char* load_line = "load self 0x1234 0";

constexpr hresult hr(uint32_t value) { return static_cast<hresult>(value); }

void set_env(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

constexpr const char* recorder_settings[] = {
    "TAMBER_RECORDER_LOAD",        "TAMBER_RECORDER_MOUSE_DOWN", "TAMBER_RECORDER_DRAG",
    "TAMBER_RECORDER_CURSOR",      "TAMBER_RECORDER_DRAG_CURSOR", "TAMBER_RECORDER_BALANCE",
    "TAMBER_RECORDER_COLOUR",      "TAMBER_RECORDER_QUIET_FRAMES",
};

// An 800 x 600 frame whose planes are followed by guard bytes; every byte
// starts as junk so that a fill that stops short or runs over shows.
struct test_frame {
    static constexpr int32_t width = 800;
    static constexpr int32_t height = 600;
    static constexpr size_t pixels = size_t{width} * height;
    static constexpr size_t guard = 64;
    static constexpr uint8_t junk = 0xA5;

    std::vector<uint8_t> planes[3];
    frame_view view{};

    test_frame() {
        for (int p = 0; p < 3; ++p) planes[p].assign(pixels + guard, junk);
        view.width = width;
        view.height = height;
        view.pitch = width;
        for (int p = 0; p < 3; ++p) view.plane[p] = planes[p].data();
    }
    void refill() {
        for (auto& plane : planes) std::fill(plane.begin(), plane.end(), junk);
    }
    // Every pixel of plane p is `value` and the guard is untouched.
    bool is(int p, uint8_t value) const {
        const auto& plane = planes[p];
        return std::all_of(plane.begin(), plane.begin() + pixels, [&](uint8_t v) { return v == value; }) &&
               std::all_of(plane.begin() + pixels, plane.end(), [](uint8_t v) { return v == junk; });
    }
    bool is(uint8_t blue, uint8_t green, uint8_t red) const { return is(0, blue) && is(1, green) && is(2, red); }
};

class applet_library : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = fs::current_path();
        dir_ = home_ / "scratch" / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        fs::current_path(dir_);
        log_path_ = (dir_ / "calls.log").string();
        set_env("TAMBER_RECORDER_LOG", log_path_.c_str());
        for (const char* name : recorder_settings) set_env(name, nullptr);
        host_calls.clear();
    }

    void TearDown() override {
        host_applet = nullptr;
        set_env("TAMBER_RECORDER_LOG", nullptr);
        for (const char* name : recorder_settings) set_env(name, nullptr);
        fs::current_path(home_);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    // Puts a built test library into the working folder under `name`.
    static void install(const char* built, const char* name) {
        fs::copy_file(built, name, fs::copy_options::overwrite_existing);
    }

    // The whole log, one entry per line: "<library file>: <call>".
    std::vector<std::string> log() const {
        std::vector<std::string> lines;
        std::ifstream in(log_path_, std::ios::binary);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    // The calls one library received, without the prefix.
    std::vector<std::string> calls_of(const std::string& library) const {
        std::vector<std::string> calls;
        const std::string prefix = library + ": ";
        for (const auto& line : log())
            if (line.compare(0, prefix.size(), prefix) == 0) calls.push_back(line.substr(prefix.size()));
        return calls;
    }

    const std::string& log_path() const { return log_path_; }

    platform_loader loader_;

private:
    fs::path home_;
    fs::path dir_;
    std::string log_path_;
};

using lines = std::vector<std::string>;

TEST_F(applet_library, a_library_with_only_the_required_exports_gets_the_defaults) {
    install(TAMBER_TEST_LIB_MINIMAL, "tblobby.dll");
    applet a(loader_);
    EXPECT_FALSE(a.is_loaded());
    EXPECT_EQ(a.load("tblobby.dll", window, 0), 1);  // the library's own success value
    ASSERT_TRUE(a.is_loaded());

    // render blackens the whole frame, every frame; render2 paints its grey.
    test_frame frame;
    for (int i = 0; i < 2; ++i) {
        frame.refill();
        a.render(16, &frame.view, 1, 2);
        EXPECT_TRUE(frame.is(0, 0, 0)) << "frame " << i;
    }
    frame.refill();
    a.render2(&frame.view);
    EXPECT_TRUE(frame.is(0x80, 0x80, 0x90));

    EXPECT_EQ(a.get_cursor(3, 4), nullptr);
    EXPECT_EQ(a.mouse_down(0, 3, 4, 0), 0);
    EXPECT_EQ(a.mouse_drag(0, 3, 4), nullptr);
    EXPECT_EQ(a.io_state(9), 0);
    // The operations without a result do nothing (and must not call null).
    a.update(16);
    a.mouse_click(0, 3, 4, 0);
    a.mouse_wheel(3, 4, 120);
    a.mouse_move(3, 4);
    a.mouse_up(0, 3, 4);
    a.key_down(65);
    a.key_repeat(65);
    a.key_up(65);
    a.set_message(1);
    a.on_wm_char(65);
    a.set_server_path("http://127.0.0.1/");
    a.on_wm_lobby();
    a.on_wm_async_select(0);
    a.send_packet(1, 2);
    a.on_wm_close();
    a.set_application_type(2);
    // The two required ones reach the library.
    EXPECT_EQ(a.get_balance(), 42);
    a.receive_packet(7, 8);

    EXPECT_EQ(calls_of("tblobby.dll"), (lines{"attach", load_line, "get_balance", "receive_packet 7 8"}));
}

TEST_F(applet_library, a_second_library_replaces_the_first_in_order) {
    install(TAMBER_TEST_LIB_RECORDER, "recorder_a.dll");
    install(TAMBER_TEST_LIB_RECORDER, "recorder_b.dll");
    applet a(loader_);
    ASSERT_EQ(a.load("recorder_a.dll", window, 0), 0);
    ASSERT_EQ(a.load("recorder_b.dll", window, 0), 0);
    a.mouse_move(3, 4);

    // The new library is mapped first (it must be acceptable), then the old
    // one is unloaded and unmapped, and only then does the new one start.
    EXPECT_EQ(log(), (lines{
                         "recorder_a.dll: attach",
                         "recorder_a.dll: load self 0x1234 0",
                         "recorder_b.dll: attach",
                         "recorder_a.dll: unload",
                         "recorder_a.dll: detach",
                         "recorder_b.dll: load self 0x1234 0",
                         "recorder_b.dll: mouse_move 3 4",
                     }));
}

TEST_F(applet_library, a_failing_load_leaves_the_applet_empty) {
    install(TAMBER_TEST_LIB_RECORDER, "tblobby.dll");
    install(TAMBER_TEST_LIB_LOAD_FAILS, "load_fails.dll");
    applet a(loader_);
    ASSERT_EQ(a.load("tblobby.dll", window, 0), 0);
    EXPECT_EQ(a.load("load_fails.dll", window, 0), hr(0x80004005));
    EXPECT_FALSE(a.is_loaded());

    // Empty: nothing reaches either library, and the defaults answer.
    a.mouse_move(5, 6);
    test_frame frame;
    a.render(16, &frame.view, 0, 0);
    EXPECT_TRUE(frame.is(0, 0, 0));
    EXPECT_EQ(a.mouse_down(0, 1, 1, 0), 0);
    EXPECT_EQ(a.get_balance(), 0);
    a.receive_packet(1, 2);
    a.unload();

    const lines expected{
        "tblobby.dll: attach",
        "tblobby.dll: load self 0x1234 0",
        "load_fails.dll: attach",
        "tblobby.dll: unload",
        "tblobby.dll: detach",
        "load_fails.dll: load self 0x1234 0",
        "load_fails.dll: detach",  // unmapped without applet_unload
    };
    EXPECT_EQ(log(), expected);
}

TEST_F(applet_library, refused_libraries_leave_the_held_one_in_use) {
    install(TAMBER_TEST_LIB_RECORDER, "tblobby.dll");
    install(TAMBER_TEST_LIB_NO_RECEIVE, "no_receive.dll");
    std::ofstream("junk.dll", std::ios::binary) << "this is not a library\n";
    std::ofstream("empty.dll", std::ios::binary).close();
    fs::create_directory("folder.dll");

    const struct {
        const char* path;
        hresult expected;
    } cases[] = {
        {"nosuch.dll", hr(0x8007007E)},            // ERROR_MOD_NOT_FOUND
        {"no_folder/nosuch.dll", hr(0x8007007E)},  //
        {"junk.dll", hr(0x800700C1)},              // ERROR_BAD_EXE_FORMAT
        {"empty.dll", hr(0x800700C1)},             //
        {"folder.dll", hr(0x80070005)},            // ERROR_ACCESS_DENIED
        {"no_receive.dll", hr(0x8007000B)},        // a required export is missing
    };

    applet a(loader_);
    ASSERT_EQ(a.load("tblobby.dll", window, 0), 0);
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(a.load(c.path, window, 0), c.expected);
        EXPECT_TRUE(a.is_loaded());
        ++n;
        a.mouse_move(n, n);
        EXPECT_EQ(log().back(), "tblobby.dll: mouse_move " + std::to_string(n) + " " + std::to_string(n));
    }
    const lines all = log();
    EXPECT_EQ(std::count(all.begin(), all.end(), "tblobby.dll: unload"), 0);
    // The library without receive_packet was mapped and let go, never started.
    EXPECT_EQ(calls_of("no_receive.dll"), (lines{"attach", "detach"}));
}

// The platform's loader with one export name hidden: the library then
// lacks that entry point, as far as the applet can tell.
class hiding_loader final : public library_loader {
public:
    explicit hiding_loader(library_loader& real) : real_(real) {}
    const char* hidden = nullptr;

    void* open(const char* path, uint32_t& error) override { return real_.open(path, error); }
    void* symbol(void* module, const char* name) override {
        if (hidden && std::string_view(name) == hidden) return nullptr;
        return real_.symbol(module, name);
    }
    void close(void* module) override { real_.close(module); }

private:
    library_loader& real_;
};

TEST_F(applet_library, a_library_missing_any_required_export_is_refused_unstarted) {
    // The three required names exactly as the library must export them.
#if defined(_WIN32) && defined(__i386__)
    const char* const required[] = {"_applet_load@12", "_applet_get_balance@0", "_applet_receive_packet@8"};
#else
    const char* const required[] = {"applet_load", "applet_get_balance", "applet_receive_packet"};
#endif
    install(TAMBER_TEST_LIB_RECORDER, "tblobby.dll");
    install(TAMBER_TEST_LIB_RECORDER, "game.dll");
    for (const char* name : required) {
        SCOPED_TRACE(name);
        hiding_loader hiding(loader_);
        {
            applet a(hiding);
            ASSERT_EQ(a.load("tblobby.dll", window, 0), 0);
            hiding.hidden = name;
            EXPECT_EQ(a.load("game.dll", window, 0), hr(0x8007000B));  // ERROR_BAD_FORMAT
            EXPECT_TRUE(a.is_loaded());
            a.mouse_move(3, 4);
            EXPECT_EQ(log().back(), "tblobby.dll: mouse_move 3 4");  // the held library stays in use
            a.unload();
            EXPECT_EQ(a.load("game.dll", window, 0), hr(0x8007000B));  // nothing held either
            EXPECT_FALSE(a.is_loaded());
        }
        // Mapped and let go twice, never started; the held one ran as usual.
        EXPECT_EQ(calls_of("game.dll"), (lines{"attach", "detach", "attach", "detach"}));
        EXPECT_EQ(calls_of("tblobby.dll"), (lines{"attach", load_line, "mouse_move 3 4", "unload", "detach"}));
        std::remove(log_path().c_str());
    }
}

TEST_F(applet_library, destruction_unloads_once) {
    install(TAMBER_TEST_LIB_RECORDER, "tblobby.dll");
    {
        applet a(loader_);
        ASSERT_EQ(a.load("tblobby.dll", window, 0), 0);
    }
    EXPECT_EQ(calls_of("tblobby.dll"), (lines{"attach", load_line, "unload", "detach"}));

    // An explicit unload leaves nothing for a second one or the destructor.
    {
        applet a(loader_);
        ASSERT_EQ(a.load("tblobby.dll", window, 0), 0);
        a.unload();
        EXPECT_FALSE(a.is_loaded());
        a.unload();
    }
    EXPECT_EQ(calls_of("tblobby.dll"),
              (lines{"attach", load_line, "unload", "detach", "attach", load_line, "unload", "detach"}));
}

TEST_F(applet_library, every_operation_is_forwarded_unchanged) {
    install(TAMBER_TEST_LIB_RECORDER, "tblobby.dll");
    set_env("TAMBER_RECORDER_MOUSE_DOWN", "2");
    set_env("TAMBER_RECORDER_DRAG", "1");
    set_env("TAMBER_RECORDER_CURSOR", "0x4321");
    set_env("TAMBER_RECORDER_DRAG_CURSOR", "0x99");
    set_env("TAMBER_RECORDER_BALANCE", "-7");
    set_env("TAMBER_RECORDER_COLOUR", "0xFF102030");
    applet a(loader_);
    ASSERT_EQ(a.load("tblobby.dll", window, 0), 0);

    // The nineteen through the interface, as the host calls them.
    applet_base& base = a;
    test_frame frame;
    base.receive_packet(0xDEADBEEF, 7);
    base.update(16);
    base.render(16, &frame.view, -3, 700);
    EXPECT_TRUE(frame.is(0x10, 0x20, 0x30));
    frame.refill();
    base.render2(&frame.view);
    EXPECT_TRUE(frame.is(0x11, 0x22, 0x33));
    EXPECT_EQ(base.get_cursor(5, -6), reinterpret_cast<void*>(0x4321));
    EXPECT_EQ(base.mouse_down(1, 10, 20, 1), 2);

    drag_operation* drag = base.mouse_drag(2, 11, 21);
    ASSERT_NE(drag, nullptr);
    EXPECT_EQ(drag->vtbl->AddRef(drag), 2u);
    drag->vtbl->begin(drag, 11, 21);
    drag->vtbl->move(drag, 12, -22);
    EXPECT_EQ(drag->vtbl->get_cursor(drag, 12, -22), reinterpret_cast<void*>(0x99));
    drag->vtbl->drop(drag, 13, 23);
    drag->vtbl->cancel(drag);
    EXPECT_EQ(drag->vtbl->Release(drag), 1u);

    base.mouse_click(0, 30, 40, 1);
    base.mouse_wheel(50, 60, -120);
    base.mouse_move(-1, -2);
    base.mouse_up(2, 70, 80);
    base.key_down(0x41);
    base.key_repeat(0x41);
    base.key_up(0x1B);
    EXPECT_EQ(base.get_balance(), -7);
    base.set_message(0x8002);
    EXPECT_EQ(base.io_state(5), ~5);
    base.on_wm_char(0x263A);
    base.set_server_path("http://127.0.0.1:8642/");
    // The library-only five.
    a.on_wm_lobby();
    a.on_wm_async_select(10053);
    a.send_packet(0xFFFFFFFF, 0);
    a.on_wm_close();
    a.set_application_type(2);

    const lines expected{
        "attach",
        load_line,
        "receive_packet 3735928559 7",
        "update 16",
        "render 16 800x600 -3 700",
        "render2 800x600",
        "get_cursor 5 -6",
        "mouse_down 1 10 20 1",
        "mouse_drag 2 11 21",
        "drag.AddRef 2",
        "drag.begin 11 21",
        "drag.move 12 -22",
        "drag.get_cursor 12 -22",
        "drag.drop 13 23",
        "drag.cancel",
        "drag.Release 1",
        "mouse_click 0 30 40 1",
        "mouse_wheel 50 60 -120",
        "mouse_move -1 -2",
        "mouse_up 2 70 80",
        "key_down 65",
        "key_repeat 65",
        "key_up 27",
        "get_balance",
        "set_message 32770",
        "io_state 5",
        "on_wm_char 9786",
        "set_server_path http://127.0.0.1:8642/",
        "on_wm_lobby",
        "on_wm_async_select 10053",
        "send_packet 4294967295 0",
        "on_wm_close",
        "set_application_type 2",
    };
    EXPECT_EQ(calls_of("tblobby.dll"), expected);
}

TEST_F(applet_library, the_host_export_reaches_nothing_while_a_library_loads) {
    install(TAMBER_TEST_LIB_RECORDER, "tblobby.dll");
    install(TAMBER_TEST_LIB_CALLS_HOST, "calls_host.dll");
    applet a(loader_);
    host_applet = &a;
    ASSERT_EQ(a.load("tblobby.dll", window, 0), 0);
    EXPECT_EQ(a.load("calls_host.dll", window, 0), 0);

    // The call from inside applet_load came through the export but found the
    // applet empty: neither the old library nor the loading one saw it.
    EXPECT_EQ(host_calls, (std::vector<std::pair<uint32_t, uint32_t>>{{0x11, 0x22}}));
    EXPECT_EQ(log(), (lines{
                         "tblobby.dll: attach",
                         "tblobby.dll: load self 0x1234 0",
                         "calls_host.dll: attach",
                         "tblobby.dll: unload",
                         "tblobby.dll: detach",
                         "calls_host.dll: load self 0x1234 0",
                         "calls_host.dll: host export found",
                         "calls_host.dll: host export returned",
                     }));

    // Once bound, the export reaches the library.
    applet_send_packet(5, 6);
    EXPECT_EQ(log().back(), "calls_host.dll: send_packet 5 6");
}

// Removes the files it was given when it goes, also when a test fails.
struct planted_files {
    std::vector<fs::path> paths;
    planted_files() = default;
    planted_files(const planted_files&) = delete;
    planted_files& operator=(const planted_files&) = delete;
    void plant(const char* built, const fs::path& where) {
        fs::copy_file(built, where, fs::copy_options::overwrite_existing);
        paths.push_back(where);
    }
    ~planted_files() {
        std::error_code ignored;
        for (const fs::path& path : paths) fs::remove(path, ignored);
    }
};

// The lobby and the library it imports come from the loader's folder (the
// store) alone: copies of the same names planted in the current directory
// and beside the program, which the system's standard search looks in
// first, are never mapped.
TEST_F(applet_library, a_library_and_its_imports_come_from_the_loader_s_folder_alone) {
    const std::string companion = fs::path(TAMBER_TEST_LIB_COMPANION).filename().string();
    const fs::path store = fs::current_path() / "store";
    fs::create_directories(store);
    fs::copy_file(TAMBER_TEST_LIB_WITH_COMPANION, store / "tblobby.dll");
    fs::copy_file(TAMBER_TEST_LIB_COMPANION, store / companion);
    const std::string planted_log = (fs::current_path() / "planted.log").string();
    set_env("TAMBER_PLANTED_LOG", planted_log.c_str());
    planted_files planted;
    for (const fs::path& folder : {fs::current_path(), fs::path(TAMBER_TEST_PROGRAM_DIR)}) {
        planted.plant(TAMBER_TEST_LIB_PLANTED, folder / "tblobby.dll");
        planted.plant(TAMBER_TEST_LIB_PLANTED_COMPANION, folder / companion);
    }

    loader_.set_folder(store.native());
    {
        applet a(loader_);
        EXPECT_EQ(a.load("tblobby.dll", window, 0), 0);
    }
    set_env("TAMBER_PLANTED_LOG", nullptr);
    EXPECT_EQ(calls_of("tblobby.dll"), (lines{"attach", "companion 4242", "detach"}));
    EXPECT_FALSE(fs::exists(planted_log)) << "a planted library was mapped";
}

}  // namespace
}  // namespace tamber
