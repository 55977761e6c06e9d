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

constexpr auto kPlaces = PlacesOf(kLayout);

// A fixed single border and a title bar with the close box alone.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;

COLORREF ColorOf(Colour colour) {
    const window::frm_about_layout::Rgb rgb = window::frm_about_layout::RgbOf(colour);
    return RGB(rgb.red, rgb.green, rgb.blue);
}

// Every control clips the ones below it: labels paint their background, so the one above hides
// what it covers of the one below (the date runs under the rights notice).
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
    : TopLevelWindow(fonts, {L"ZentriqFrmAbout", window::frm_about_layout::kTitle, kWindowStyle,
                             window::frm_about_layout::kClientArea, kPlaces}),
      ended_(std::move(ended)) {}

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

    return Create();
}

void AboutWindow::BuildControls(int dpi) {
    // Created from the top of the stack down: each new control goes below the ones before it.
    for (const std::size_t index : window::frm_about_layout::kFromTop) {
        const ControlSpec& control = kLayout[index];
        HWND made = AddControl(index, StyleOf(control), control.text, AboutControlId(index), dpi);
        if (control.kind == Kind::Picture) {
            SendMessageW(made, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(photo_));
            names_.Set(made, window::frm_about_layout::kPhotographName);
        }
    }
    LayOut(dpi);  // after the photograph, which sizes its Static to itself
}

HWND AboutWindow::Ok() const {
    return Control(window::frm_about_layout::kOk.index());
}

void AboutWindow::Show() {
    if (hwnd() == nullptr) {
        return;
    }
    ShowWindow(hwnd(), IsIconic(hwnd()) ? SW_RESTORE : SW_SHOWNORMAL);
    if (taskbar_ != nullptr) {
        taskbar_->DeleteTab(hwnd());
    }
    SetForegroundWindow(hwnd());
    SetFocus(Ok());
}

bool AboutWindow::TranslateKeyboard(MSG& message) {
    return IsFor(message) && IsDialogMessageW(hwnd(), &message) != FALSE;
}

void AboutWindow::Destroyed() {
    if (ended_) {
        ended_();
    }
}

LRESULT AboutWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            // cmdOK_Click, for a click, Enter (IDOK) and Esc (IDCANCEL) alike.
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                DestroyWindow(hwnd());
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
        case WM_DESTROY: {
            HWND picture = Control(window::frm_about_layout::Name("picIcon").index());
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
    return DefWindowProcW(hwnd(), message, wParam, lParam);
}

}  // namespace win32
