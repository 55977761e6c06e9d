#include "win32/main_window.h"

#include <cwctype>

#include "text/utf16.h"
#include "win32/about_window.h"
#include "win32/control_ids.h"

namespace win32 {

namespace {

using window::form11_layout::ControlSpec;
using window::form11_layout::Kind;
using window::form11_layout::kLayout;

constexpr auto kPlaces = PlacesOf(kLayout);

// Posted once the window is first shown: the fields get their accessible names then, so that COM
// and the accessibility component load after the first frame rather than before it.
constexpr UINT kNameFields = WM_APP;

constexpr DWORD FrameStyle(const window::FrameStyle& frame) {
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    if (frame.resizable) {
        style |= WS_THICKFRAME;
    }
    if (frame.minimizeButton) {
        style |= WS_MINIMIZEBOX;  // with no WS_MAXIMIZEBOX, Windows shows the maximize box disabled
    }
    return style;
}

// Every control starts a group of its own except an option after an option: the three options are
// one group, in which the arrow keys move, and one tab stop (a radio button is a tab stop while it
// is on). Labels are transparent, so the field a row label overlaps by a pixel keeps its border.
ControlStyle StyleOf(const ControlSpec& control, bool afterOption) {
    const DWORD group = control.kind == Kind::Option && afterOption ? 0 : WS_GROUP;
    switch (control.kind) {
        case Kind::Frame:
            return {L"Button", BS_GROUPBOX | group, 0};
        case Kind::Option:
            return {L"Button", BS_AUTORADIOBUTTON | group, 0};
        case Kind::Label:
            return {L"Static", SS_LEFTNOWORDWRAP | group, WS_EX_TRANSPARENT};
        case Kind::Field:
            return {L"Edit", ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP | group, WS_EX_CLIENTEDGE};
        case Kind::Button:
            return {L"Button", BS_PUSHBUTTON | WS_TABSTOP | group, 0};
    }
    return {L"Static", group, 0};
}

std::size_t ControlAt(int id) {
    return win32::ControlAt(id, kLayout.size());
}

}  // namespace

MainWindow::MainWindow(InterfaceFonts& fonts)
    : TopLevelWindow(fonts, {L"ZentriqForm11", window::form11_layout::kTitle,
                             FrameStyle(window::form11_layout::kFrameStyle),
                             window::form11_layout::kClientArea, kPlaces}),
      model_(*this) {}

MainWindow::~MainWindow() {
    about_.reset();
    Destroy();
}

bool MainWindow::Open(int showCommand) {
    if (!Create()) {
        return false;
    }
    model_.Load();
    focus_ = Control(window::form11_layout::kFirstFocus.index());
    // A shortcut set to open maximized opens the window at its own size: it has no maximized
    // state.
    const bool minimized = showCommand == SW_SHOWMINIMIZED || showCommand == SW_MINIMIZE ||
                           showCommand == SW_SHOWMINNOACTIVE;
    ShowWindow(hwnd(), minimized ? showCommand : SW_SHOWNORMAL);
    UpdateWindow(hwnd());
    PostMessageW(hwnd(), kNameFields, 0, 0);
    return true;
}

void MainWindow::BuildControls(int dpi) {
    bool afterOption = false;
    for (const std::size_t index : window::form11_layout::kInTabOrder) {
        const ControlSpec& control = kLayout[index];
        // Created in tab order: each new control goes below the ones before it, and the dialog
        // manager walks that order.
        HWND made =
            AddControl(index, StyleOf(control, afterOption), control.text, ControlId(index), dpi);
        if (control.kind == Kind::Field) {
            SendMessageW(made, EM_SETLIMITTEXT, 0, 0);  // as long as the system allows
        }
        afterOption = control.kind == Kind::Option;
    }
    // The frame goes under everything: the options inside it are drawn over it. It takes no focus
    // and has no access key, so its place in the tab order decides nothing.
    for (std::size_t i = 0; i < kLayout.size(); ++i) {
        if (kLayout[i].kind == Kind::Frame) {
            SetWindowPos(Control(i), HWND_BOTTOM, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }
}

void MainWindow::Destroyed() {
    focus_ = nullptr;
    // The close box, or the end of the program: the model decides whether the program goes on.
    model_.MainWindowClosed();
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_CTLCOLORSTATIC: {
            const std::size_t control = ControlAt(GetDlgCtrlID(HandleFrom<HWND>(lParam)));
            if (control < kLayout.size() && kLayout[control].kind == Kind::Label) {
                SetBkMode(HandleFrom<HDC>(wParam), TRANSPARENT);
                return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
            }
            break;
        }
        case WM_ACTIVATE:
            // As a dialog box does: the focus goes back where it was when the window was left.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus != nullptr && IsChild(hwnd(), focus)) {
                    focus_ = focus;
                }
            } else if (focus_ != nullptr && HIWORD(wParam) == 0) {
                SetFocus(focus_);
            }
            return 0;
        case WM_SETFOCUS:
            if (focus_ != nullptr) {
                SetFocus(focus_);
            }
            return 0;
        case WM_SYSCOMMAND:
            // No maximized state: the window manager's or another program's request is refused.
            if ((wParam & 0xFFF0) == SC_MAXIMIZE) {
                return 0;
            }
            break;
        case WM_SIZE:
            if (wParam == SIZE_MAXIMIZED) {
                PostMessageW(hwnd(), WM_SYSCOMMAND, SC_RESTORE, 0);
            }
            return 0;
        case kNameFields:
            for (std::size_t i = 0; i < kLayout.size(); ++i) {
                if (kLayout[i].kind == Kind::Field) {
                    names_.Set(Control(i), window::form11_layout::AccessibleName(kLayout[i]));
                }
            }
            return 0;
        case WM_CLOSE:
            DestroyWindow(hwnd());
            return 0;
        case WM_DESTROY:
            for (std::size_t i = 0; i < kLayout.size(); ++i) {
                if (kLayout[i].kind == Kind::Field) {
                    names_.Clear(Control(i));
                }
            }
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd(), message, wParam, lParam);
}

void MainWindow::OnCommand(int id, int code) {
    const std::size_t control = ControlAt(id);
    if (control == kLayout.size()) {
        return;  // Enter and Esc: the window has no default or cancel button
    }
    switch (kLayout[control].kind) {
        case Kind::Field:
            if (code == EN_CHANGE) {
                model_.TextChanged(control, text::Utf8FromUtf16(WindowText(Control(control))));
            }
            break;
        case Kind::Option:
        case Kind::Button:
            if (code == BN_CLICKED) {
                model_.Clicked(control);
            }
            break;
        case Kind::Frame:
        case Kind::Label:
            break;
    }
}

bool MainWindow::TranslateKeyboard(MSG& message) {
    if (IsFor(message)) {
        return TranslateLabelKey(message) || IsDialogMessageW(hwnd(), &message) != FALSE;
    }
    if (about_ != nullptr) {
        return about_->TranslateKeyboard(message);
    }
    return false;
}

// Alt with a label's letter, or the letter alone where the focused control takes no characters,
// as the dialog manager reads access keys.
bool MainWindow::TranslateLabelKey(const MSG& message) {
    if (message.message != WM_SYSCHAR && message.message != WM_CHAR) {
        return false;
    }
    if (message.message == WM_CHAR) {
        const auto wants = SendMessageW(message.hwnd, WM_GETDLGCODE, message.wParam,
                                        reinterpret_cast<LPARAM>(&message));
        if ((wants & (DLGC_WANTCHARS | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) != 0) {
            return false;
        }
    }
    const auto key = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(message.wParam)));
    for (std::size_t i = 0; i < kLayout.size(); ++i) {
        const char letter = window::AccessKeyOf(kLayout[i].text);
        if (kLayout[i].kind == Kind::Label && letter != 0 && static_cast<wchar_t>(letter) == key) {
            const std::size_t target = window::form11_layout::AccessKeyTarget(i);
            if (target < kLayout.size()) {
                SetFocus(Control(target));
            }
            return true;
        }
    }
    return false;
}

void MainWindow::SetText(std::size_t control, std::string_view text) {
    SetWindowTextW(Control(control), text::Utf16FromUtf8<wchar_t>(text).c_str());
}

void MainWindow::SetChecked(std::size_t control, bool on) {
    HWND option = Control(control);
    SendMessageW(option, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    // The option that is on is the group's one tab stop.
    const LONG_PTR style = GetWindowLongPtrW(option, GWL_STYLE);
    SetWindowLongPtrW(option, GWL_STYLE, on ? style | WS_TABSTOP : style & ~LONG_PTR{WS_TABSTOP});
}

void MainWindow::CreateAbout() {
    about_ = std::make_unique<AboutWindow>(fonts(), [this] { AboutEnded(); });
    about_->Open();
}

void MainWindow::ShowAbout() {
    if (about_ != nullptr) {
        about_->Show();
    }
}

void MainWindow::AboutEnded() {
    model_.AboutClosed();
}

void MainWindow::EndProgram() {
    if (ended_) {
        return;
    }
    ended_ = true;
    if (about_ != nullptr) {
        about_->Destroy();
    }
    Destroy();
    PostQuitMessage(0);
}

}  // namespace win32
