// Start-up timer for Win32 programs, run under Wine or Windows by bench/win32_startup.py:
//   win32_first_frame RUNS PROGRAM.exe...
// Starts each program RUNS times in turn (after ten warm-up starts each) and measures, for every
// start, the time from just before CreateProcess to its first frame: the moment its main thread
// first waits for input with nothing left to handle (WaitForInputIdle), its window shown and
// painted. The program is then ended. Prints one line per program: the median and the quartiles, in
// ms.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

HWND VisibleWindowOf(DWORD process) {
    struct Search {
        DWORD process;
        HWND found;
    } search{process, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);  // NOLINT
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (owner == s->process && IsWindowVisible(hwnd)) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Milliseconds to the first frame, or a negative number when the program showed none.
double FirstFrame(const std::wstring& program) {
    LARGE_INTEGER frequency{};
    LARGE_INTEGER start{};
    LARGE_INTEGER end{};
    QueryPerformanceFrequency(&frequency);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::wstring command = L"\"" + program + L"\"";
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
        return -1;
    }
    // The window is shown, then every paint it and its controls still owe is made: RedrawWindow
    // has the program's thread paint them all before it returns.
    HWND window = nullptr;
    const ULONGLONG deadline = GetTickCount64() + 30000;
    while ((window = VisibleWindowOf(info.dwProcessId)) == nullptr && GetTickCount64() < deadline &&
           WaitForSingleObject(info.hProcess, 1) == WAIT_TIMEOUT) {
    }
    const bool shown = window != nullptr &&
                       RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    QueryPerformanceCounter(&end);
    TerminateProcess(info.hProcess, 0);
    WaitForSingleObject(info.hProcess, 30000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    if (!shown) {
        return -1;
    }
    return static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

double Quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    const double place = q * static_cast<double>(values.size() - 1);
    const auto below = static_cast<std::size_t>(place);
    const std::size_t above = std::min(below + 1, values.size() - 1);
    return values[below] + (values[above] - values[below]) * (place - static_cast<double>(below));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {  // NOLINT(readability-identifier-naming): the entry point
    const int runs = argc > 2 ? _wtoi(argv[1]) : 0;
    if (runs < 1) {
        std::fprintf(stderr, "usage: win32_first_frame RUNS PROGRAM.exe...\n");
        return 2;
    }
    const std::vector<std::wstring> programs(argv + 2, argv + argc);
    std::vector<std::vector<double>> times(programs.size());
    // Wine's own services keep the machine busy for some seconds after its first program starts:
    // the first rounds only let them settle and warm the caches.
    constexpr int kWarmUpRounds = 10;
    for (int run = -kWarmUpRounds; run < runs; ++run) {
        for (std::size_t p = 0; p < programs.size(); ++p) {
            // A pause between starts, so that each begins with Wine and the X server idle rather
            // than still tearing down the program before.
            Sleep(100);
            const double ms = FirstFrame(programs[p]);
            if (ms < 0) {
                std::fprintf(stderr, "%ls showed no window\n", programs[p].c_str());
                return 1;
            }
            if (run >= 0) {
                times[p].push_back(ms);
            }
        }
    }
    for (std::size_t p = 0; p < programs.size(); ++p) {
        std::printf("%ls %.1f %.1f %.1f\n", programs[p].c_str(), Quantile(times[p], 0.5),
                    Quantile(times[p], 0.25), Quantile(times[p], 0.75));
    }
    return 0;
}
