#include "win32/about_window.h"

#include <utility>

#include "text/utf16.h"
#include "win32/control_ids.h"
#include "win32/photo.h"

namespace win32 {

namespace {

using window::frm_about_layout::Colour;
using window::frm_about_layout::ControlSpec;
using window::frm_about_layout::Kind;
using window::frm_about_layout::kLayout;

constexpr wchar_t kClassName[] = L"ZentriqFrmAbout";

// A fixed single border and a title bar with the close box alone.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;

COLORREF ColorOf(Colour colour) {
    const window::frm_about_layout::Rgb rgb = window::frm_about_layout::RgbOf(colour);
    return RGB(rgb.red, rgb.green, rgb.blue);
}

// Every control clips the ones below it: labels paint their background, so the one above hides
// what it covers of the one below (the date runs under the rights notice).
struct ControlStyle {
    const wchar_t* windowClass;
    DWORD style;
};

ControlStyle StyleOf(const ControlSpec& control) {
    switch (control.kind) {
        case Kind::Picture:
            return {L"Static", SS_BITMAP | WS_CLIPSIBLINGS};
        case Kind::Label:
            return {L"Static", SS_LEFTNOWORDWRAP | SS_NOPREFIX | WS_CLIPSIBLINGS};
        case Kind::Button:
            return {L"Button", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_CLIPSIBLINGS};
        case Kind::Line:
            return {L"Static", SS_LEFT | WS_CLIPSIBLINGS};  // no text: its colour fills it
    }
    return {L"Static", WS_CLIPSIBLINGS};
}

}  // namespace

AboutWindow::AboutWindow(InterfaceFonts& fonts, std::function<void()> ended)
    : fonts_(fonts), ended_(std::move(ended)) {}

AboutWindow::~AboutWindow() {
    Destroy();
    if (taskbar_ != nullptr) {
        taskbar_->Release();
    }
    for (HGDIOBJ object : {static_cast<HGDIOBJ>(photo_), static_cast<HGDIOBJ>(grey_),
                           static_cast<HGDIOBJ>(white_)}) {
        if (object != nullptr) {
            DeleteObject(object);
        }
    }
}

bool AboutWindow::Open() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &AboutWindow::Proc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);  // NOLINT: a system cursor
    windowClass.hbrBackground = GetSysColorBrush(COLOR_3DFACE);
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);

    grey_ = CreateSolidBrush(ColorOf(Colour::Grey));
    white_ = CreateSolidBrush(ColorOf(Colour::White));
    photo_ = LoadProductPhoto();
    void* taskbar = nullptr;
    if (SUCCEEDED(CreateComObject(CLSID_TaskbarList, IID_ITaskbarList, &taskbar))) {
        taskbar_ = static_cast<ITaskbarList*>(taskbar);
        if (FAILED(taskbar_->HrInit())) {
            taskbar_->Release();
            taskbar_ = nullptr;
        }
    }

    hwnd_ = CreateWindowExW(0, kClassName,
                            text::Utf16FromUtf8<wchar_t>(window::frm_about_layout::kTitle).c_str(),
                            kWindowStyle, 0, 0, 0, 0, nullptr, nullptr, instance, this);
    if (hwnd_ == nullptr) {
        return false;
    }
    const int dpi = DpiOf(hwnd_);
    HFONT font = fonts_.For(dpi);
    // Created from the top of the stack down: each new control goes below the ones before it.
    for (const std::size_t index : window::frm_about_layout::kFromTop) {
        const ControlSpec& control = kLayout[index];
        const ControlStyle style = StyleOf(control);
        HWND hwnd = MakeControl(hwnd_, style.windowClass, style.style, 0, control.text,
                                AboutControlId(index), ToPixels(control.place, dpi), font);
        controls_[index] = hwnd;
        if (control.kind == Kind::Picture) {
            SendMessageW(hwnd, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(photo_));
            names_.Set(hwnd, window::frm_about_layout::kPhotographName);
        }
    }
    LayOut(dpi);  // after the photograph, which sizes its Static to itself
    icons_.Apply(hwnd_, dpi);
    PlaceClientArea(hwnd_, window::frm_about_layout::kClientArea, dpi, false);
    return true;
}

void AboutWindow::LayOut(int dpi) {
    HFONT font = fonts_.For(dpi);
    for (std::size_t i = 0; i < kLayout.size(); ++i) {
        const RECT place = ToPixels(kLayout[i].place, dpi);
        SetWindowPos(controls_[i], nullptr, place.left, place.top, place.right - place.left,
                     place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(controls_[i], WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
}

HWND AboutWindow::Ok() const {
    return controls_[window::frm_about_layout::kOk.index()];
}

void AboutWindow::Show() {
    if (hwnd_ == nullptr) {
        return;
    }
    ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOWNORMAL);
    if (taskbar_ != nullptr) {
        taskbar_->DeleteTab(hwnd_);
    }
    SetForegroundWindow(hwnd_);
    SetFocus(Ok());
}

void AboutWindow::Destroy() {
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
}

bool AboutWindow::TranslateKeyboard(MSG& message) {
    return hwnd_ != nullptr && (message.hwnd == hwnd_ || IsChild(hwnd_, message.hwnd)) &&
           IsDialogMessageW(hwnd_, &message) != FALSE;
}

LRESULT CALLBACK AboutWindow::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = WindowObject<AboutWindow>(hwnd, message, lParam);
    if (self == nullptr) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    if (message == WM_NCCREATE) {
        self->hwnd_ = hwnd;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self->controls_.fill(nullptr);
        if (self->ended_) {
            self->ended_();
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return self->Handle(message, wParam, lParam);
}

LRESULT AboutWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            // cmdOK_Click, for a click, Enter (IDOK) and Esc (IDCANCEL) alike.
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                DestroyWindow(hwnd_);
            }
            return 0;
        case DM_GETDEFID:
            return MAKELRESULT(IDOK, DC_HASDEFID);
        case WM_CTLCOLORSTATIC: {
            const std::size_t control = AboutControlAt(GetDlgCtrlID(HandleFrom<HWND>(lParam)));
            if (control == kLayout.size()) {
                break;
            }
            auto* dc = HandleFrom<HDC>(wParam);
            const Colour colour = kLayout[control].colour;
            if (kLayout[control].kind == Kind::Line) {
                return reinterpret_cast<LRESULT>(colour == Colour::Grey ? grey_ : white_);
            }
            SetTextColor(
                dc, colour == Colour::Default ? GetSysColor(COLOR_WINDOWTEXT) : ColorOf(colour));
            SetBkColor(dc, GetSysColor(COLOR_3DFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_3DFACE));
        }
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && HIWORD(wParam) == 0) {
                SetFocus(Ok());  // the only control that takes the focus
            }
            return 0;
        case WM_DPICHANGED: {
            const int dpi = HIWORD(wParam);
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);  // NOLINT
            SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            PlaceClientArea(hwnd_, window::frm_about_layout::kClientArea, dpi, true);
            LayOut(dpi);
            icons_.Apply(hwnd_, dpi);
            return 0;
        }
        case WM_DESTROY: {
            HWND picture = controls_[window::frm_about_layout::Name("picIcon").index()];
            names_.Clear(picture);
            // A Static may keep a copy of a bitmap with an alpha channel: the copy is handed back
            // here, and freed unless it is the photograph itself.
            auto* shown = HandleFrom<HBITMAP>(SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, 0));
            if (shown != nullptr && shown != photo_) {
                DeleteObject(shown);
            }
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace win32
