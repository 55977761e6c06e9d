#include "tests/win32/remote.h"

#include <oleacc.h>
#include <shellapi.h>

#include <cstdlib>
#include <utility>

#include "win32/control_ids.h"

namespace driver {

namespace {

const std::wstring kMainTitle = L"ZENTRIQ V1.00";
const std::wstring kAboutTitle = L"ZENTRIQ V1.00  [DELTA DVP Series ...";

std::vector<HWND> TopLevelWindows(DWORD process, const std::wstring* title) {
    struct Search {
        DWORD process;
        const std::wstring* title;
        std::vector<HWND> found;
    } search{process, title, {}};
    EnumWindows(
        [](HWND hwnd, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);  // NOLINT
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (owner == s->process && IsWindowVisible(hwnd) &&
                (s->title == nullptr || Text(hwnd) == *s->title)) {
                s->found.push_back(hwnd);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void SendKeys(std::vector<INPUT>& inputs) {
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

INPUT KeyInput(WORD virtualKey, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

}  // namespace

bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    DWORD pause = 10;
    while (!done()) {
        if (GetTickCount64() > deadline) {
            return false;
        }
        Sleep(pause);
        pause = pause < 100 ? pause * 2 : pause;
    }
    return true;
}

std::string ToString(const Box& box) {
    // Appended piece by piece: GCC 12's optimiser takes "text" + string for an overlapping copy.
    std::string text = "(";
    for (const int value : {box.left, box.top, box.width, box.height}) {
        text += std::to_string(value);
        text += ", ";
    }
    text.resize(text.size() - 2);
    text += ")";
    return text;
}

std::wstring Text(HWND hwnd) {
    DWORD_PTR length = 0;
    // SMTO_ABORTIFHUNG gives up at once on a window whose thread has been busy for a few seconds,
    // as a freshly started program on a loaded machine can be: ask again until the step's time
    // is up, rather than read that as no answer.
    const bool answered = WaitFor([&] {
        return SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kStepTimeoutMs,
                                   &length) != 0;
    });
    if (!answered) {
        return L"<no answer>";
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, kStepTimeoutMs, &copied);
    text.resize(copied);
    return text;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

Box ClientOnScreen(HWND hwnd) {
    RECT client{};
    GetClientRect(hwnd, &client);
    POINT corner{0, 0};
    ClientToScreen(hwnd, &corner);
    return {corner.x, corner.y, client.right, client.bottom};
}

Box PlaceInParent(HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);  // NOLINT
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::optional<std::string> AccessibleName(HWND hwnd) {
    IAccessible* accessible = nullptr;
    if (FAILED(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                          reinterpret_cast<void**>(&accessible))) ||  // NOLINT
        accessible == nullptr) {
        return std::nullopt;
    }
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    std::string result;
    if (accessible->get_accName(self, &name) == S_OK && name != nullptr) {
        result = Utf8(std::wstring(name, SysStringLen(name)));
        SysFreeString(name);
    }
    accessible->Release();
    return result;
}

std::optional<Program> Program::Start(const std::wstring& command) {
    SHELLEXECUTEINFOW start{};
    start.cbSize = sizeof(start);
    start.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    start.lpFile = command.c_str();
    start.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&start)) {
        return std::nullopt;
    }
    HWND main = nullptr;
    DWORD id = start.hProcess != nullptr ? GetProcessId(start.hProcess) : 0;
    // A shortcut may be opened by a process of the shell's that hands on no handle to the program:
    // then the program is the one whose window it is.
    WaitFor([&] {
        if (id != 0) {
            const std::vector<HWND> found = TopLevelWindows(id, &kMainTitle);
            main = found.empty() ? nullptr : found.front();
        } else {
            main = FindWindowW(nullptr, kMainTitle.c_str());
        }
        return main != nullptr;
    });
    if (main == nullptr) {
        if (start.hProcess != nullptr) {
            TerminateProcess(start.hProcess, 1);
            CloseHandle(start.hProcess);
        }
        return std::nullopt;
    }
    HANDLE process = start.hProcess;
    if (process == nullptr || TopLevelWindows(id, &kMainTitle).empty()) {
        if (process != nullptr) {
            CloseHandle(process);
        }
        GetWindowThreadProcessId(main, &id);
        process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE,
                              FALSE, id);
    }
    WaitForInputIdle(process, kStepTimeoutMs);
    return Program(process, id, main);
}

Program::Program(Program&& other) noexcept
    : process_(std::exchange(other.process_, nullptr)), id_(other.id_), main_(other.main_) {}

Program::~Program() {
    if (process_ != nullptr) {
        if (Running()) {
            TerminateProcess(process_, 1);
            WaitForSingleObject(process_, kStepTimeoutMs);
        }
        CloseHandle(process_);
    }
}

std::vector<HWND> Program::AboutWindows() const {
    return TopLevelWindows(id_, &kAboutTitle);
}

std::vector<HWND> Program::Windows() const {
    return TopLevelWindows(id_, nullptr);
}

HWND Program::WaitAbout() const {
    HWND about = nullptr;
    WaitFor([&] {
        const std::vector<HWND> found = AboutWindows();
        about = found.size() == 1 ? found.front() : nullptr;
        return about != nullptr;
    });
    return about;
}

HWND Program::Control(window::form11_layout::Name name) const {
    return GetDlgItem(main_, win32::ControlId(name.index()));
}

HWND Program::AboutControl(HWND about, window::frm_about_layout::Name name) const {
    return GetDlgItem(about, win32::AboutControlId(name.index()));
}

HWND Program::Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    const DWORD thread = GetWindowThreadProcessId(main_, nullptr);
    if (thread == 0) {  // the main window is gone: ask about the foreground thread
        return GetGUIThreadInfo(0, &info) ? info.hwndFocus : nullptr;
    }
    return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

std::string Program::FocusName() const {
    HWND focus = Focus();
    if (focus == nullptr) {
        return {};
    }
    HWND parent = GetParent(focus);
    const int id = GetDlgCtrlID(focus);
    if (parent == main_) {
        const std::size_t index = win32::ControlAt(id, window::form11_layout::kControlCount);
        if (index < window::form11_layout::kControlCount) {
            return std::string(window::form11_layout::kLayout[index].name);
        }
    } else if (parent != nullptr && Text(parent) == kAboutTitle && id == IDOK) {
        return "OK";
    }
    std::string other = "<";
    other += Utf8(ClassOf(focus));
    other += " ";
    other += Utf8(Text(focus));
    other += ">";
    return other;
}

bool Program::Running() const {
    return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Program::WaitExit(DWORD timeoutMs) const {
    if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD status = 0;
    GetExitCodeProcess(process_, &status);
    return status;
}

std::wstring Program::ImagePath() const {
    std::wstring path(MAX_PATH * 4, L'\0');
    auto size = static_cast<DWORD>(path.size());
    if (!QueryFullProcessImageNameW(process_, 0, path.data(), &size)) {
        return {};
    }
    path.resize(size);
    return path;
}

void Program::LeaveRunning() {
    if (process_ != nullptr) {
        CloseHandle(process_);
        process_ = nullptr;
    }
}

void SetText(HWND field, const std::wstring& text) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                        SMTO_ABORTIFHUNG, kStepTimeoutMs, &result);
}

void Click(HWND button) {
    // Posted rather than sent: a click that ends the program never answers.
    PostMessageW(button, BM_CLICK, 0, 0);
}

bool Checked(HWND option) {
    DWORD_PTR state = 0;
    SendMessageTimeoutW(option, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kStepTimeoutMs, &state);
    return state == BST_CHECKED;
}

bool Activate(HWND window) {
    return WaitFor([&] {
        if (GetForegroundWindow() != window) {
            SetForegroundWindow(window);
            return false;
        }
        return true;
    });
}

void Key(WORD virtualKey, bool alt, bool shift) {
    std::vector<INPUT> inputs;
    if (alt) {
        inputs.push_back(KeyInput(VK_MENU, false));
    }
    if (shift) {
        inputs.push_back(KeyInput(VK_SHIFT, false));
    }
    inputs.push_back(KeyInput(virtualKey, false));
    inputs.push_back(KeyInput(virtualKey, true));
    if (shift) {
        inputs.push_back(KeyInput(VK_SHIFT, true));
    }
    if (alt) {
        inputs.push_back(KeyInput(VK_MENU, true));
    }
    SendKeys(inputs);
}

void Type(const std::wstring& text) {
    for (const wchar_t c : text) {
        std::vector<INPUT> inputs(2);
        for (std::size_t i = 0; i < 2; ++i) {
            inputs[i].type = INPUT_KEYBOARD;
            inputs[i].ki.wScan = c;
            inputs[i].ki.dwFlags = KEYEVENTF_UNICODE | (i == 1 ? KEYEVENTF_KEYUP : 0);
        }
        SendKeys(inputs);
    }
}

void MouseClick(HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    const int x = (r.left + r.right) / 2;
    const int y = (r.top + r.bottom) / 2;
    static POINT lastPoint{-1000, -1000};
    static ULONGLONG lastTime = 0;
    if (std::abs(x - lastPoint.x) <= GetSystemMetrics(SM_CXDOUBLECLK) &&
        std::abs(y - lastPoint.y) <= GetSystemMetrics(SM_CYDOUBLECLK)) {
        const ULONGLONG apart = GetTickCount64() - lastTime;
        if (apart <= GetDoubleClickTime()) {
            Sleep(static_cast<DWORD>(GetDoubleClickTime() - apart + 50));
        }
    }
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    std::vector<INPUT> inputs(3);
    for (INPUT& input : inputs) {
        input.type = INPUT_MOUSE;
        input.mi.dx = MulDiv(x, 65535, width - 1);
        input.mi.dy = MulDiv(y, 65535, height - 1);
    }
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
    inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
    SendInput(3, inputs.data(), sizeof(INPUT));
    lastPoint = {x, y};
    lastTime = GetTickCount64();
}

}  // namespace driver
