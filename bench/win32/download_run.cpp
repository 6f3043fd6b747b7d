// One whole update run of the updater over the WinINet client, as the host
// makes it: one step a frame (or steps in a loop with no frame), measured.
//
// Usage: download_run.exe BASE_URL STORE_DIR ROOT_NAME [FRAME_MS]
// The store folder becomes the current directory (files are written there).
// FRAME_MS (default 0): the frame period each step is paced to; 0 steps in
// a loop. Prints, one a line:
//   bytes N            bytes the run counted as done
//   seconds S          from the first request to `complete`
//   steps K            updater steps taken
//   peak_private B     the most private memory seen, sampled every 16 steps
//                      (Wine reports none: 0)
//   peak_commit B      the process's peak commit charge, as Windows keeps it
//   working_before B   the process's working set before the run
//   peak_working B     its peak working set (under Wine: the peak resident
//                      memory the kernel kept for the process)
//   threads_before T   threads of the process before the run
//   threads_after T    right after it
//   threads_later T    5 s after it, the session closed
// Exits 1 if the run does not complete.
#include <windows.h>
#include <mmsystem.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

#include "platform/win32/wininet_http.h"
#include "update/updater.h"

namespace {

int thread_count() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    CloseHandle(snapshot);
    return count;
}

PROCESS_MEMORY_COUNTERS_EX memory() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    return counters;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s BASE_URL STORE_DIR ROOT_NAME [FRAME_MS]\n", argv[0]);
        return 2;
    }
    const std::string base_url = argv[1];
    const std::string root_name = argv[3];
    const int frame_ms = argc > 4 ? std::atoi(argv[4]) : 0;
    std::error_code error;
    std::filesystem::current_path(argv[2], error);
    if (error) {
        std::fprintf(stderr, "cannot enter %s: %s\n", argv[2], error.message().c_str());
        return 2;
    }
    timeBeginPeriod(1);  // as the host's frame pacing asks

    const int threads_before = thread_count();
    const std::size_t working_before = memory().WorkingSetSize;
    std::size_t peak_private = memory().PrivateUsage;
    uint64_t steps = 0;
    uint32_t state = 0, done = 0;
    std::string at;
    double seconds = 0;
    int threads_after = 0;
    {
        tamber::win32::wininet_http http;
        tamber::updater up(http);
        up.set_base_url(base_url);
        using clock = std::chrono::steady_clock;
        const auto begin = clock::now();
        auto next = begin;
        up.start(root_name);
        while (up.state() >= tamber::fetching_catalogue && up.state() <= tamber::downloading) {
            up.step();
            if (++steps % 16 == 0) {
                const std::size_t now_private = memory().PrivateUsage;
                if (now_private > peak_private) peak_private = now_private;
            }
            if (frame_ms > 0) {
                next += std::chrono::milliseconds(frame_ms);
                const auto now = clock::now();
                if (next > now)
                    std::this_thread::sleep_until(next);
                else
                    next = now;
            }
        }
        seconds = std::chrono::duration<double>(clock::now() - begin).count();
        state = up.state();
        done = up.done_bytes();
        at = up.current_name();
        threads_after = thread_count();
    }
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const int threads_later = thread_count();
    const PROCESS_MEMORY_COUNTERS_EX end = memory();
    if (end.PrivateUsage > peak_private) peak_private = end.PrivateUsage;
    if (state != tamber::complete) {
        std::fprintf(stderr, "the run ended in state %u at '%s' (see download.log)\n", state, at.c_str());
        return 1;
    }
    std::printf("bytes %u\nseconds %.6f\nsteps %llu\npeak_private %llu\npeak_commit %llu\n", done, seconds,
                static_cast<unsigned long long>(steps), static_cast<unsigned long long>(peak_private),
                static_cast<unsigned long long>(end.PeakPagefileUsage));
    std::printf("working_before %llu\npeak_working %llu\n", static_cast<unsigned long long>(working_before),
                static_cast<unsigned long long>(end.PeakWorkingSetSize));
    std::printf("threads_before %d\nthreads_after %d\nthreads_later %d\n", threads_before, threads_after,
                threads_later);
    return 0;
}
