#include "win32/top_level_window.h"

#include "text/utf16.h"

namespace win32 {

namespace {

// The object behind a window of ours: CreateWindowExW is given it as the creation parameter, and
// it is kept in the window's user data from WM_NCCREATE on (nullptr for the messages before).
TopLevelWindow* WindowObject(HWND hwnd, UINT message, LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<TopLevelWindow*>(HandleFrom<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        return self;
    }
    return HandleFrom<TopLevelWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

}  // namespace

TopLevelWindow::TopLevelWindow(InterfaceFonts& fonts, const Frame& frame)
    : fonts_(fonts), frame_(frame), controls_(frame.places.size(), nullptr) {}

TopLevelWindow::~TopLevelWindow() {
    // A derived window has destroyed its window already. One still here is let go of first, so
    // that its last messages do not reach an object half taken apart.
    if (hwnd_ != nullptr) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

bool TopLevelWindow::Create() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    // Registered again by each window made; Windows keeps the first registration.
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &TopLevelWindow::Proc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);  // NOLINT: a system cursor
    windowClass.hbrBackground = GetSysColorBrush(COLOR_3DFACE);
    windowClass.lpszClassName = frame_.className;
    RegisterClassExW(&windowClass);

    // The window sets hwnd_ itself, at WM_NCCREATE, before the messages that follow it.
    if (CreateWindowExW(0, frame_.className, text::Utf16FromUtf8<wchar_t>(frame_.title).c_str(),
                        frame_.style, 0, 0, 0, 0, nullptr, nullptr, instance, this) == nullptr) {
        return false;
    }
    const int dpi = DpiOf(hwnd_);
    BuildControls(dpi);
    icons_.Apply(hwnd_, dpi);
    PlaceClientArea(hwnd_, frame_.clientArea, dpi, false);
    return true;
}

void TopLevelWindow::Destroy() {
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
}

HWND TopLevelWindow::AddControl(std::size_t index, const ControlStyle& style, std::string_view text,
                                int id, int dpi) {
    controls_[index] = MakeControl(hwnd_, style.windowClass, style.style, style.exStyle, text, id,
                                   ToPixels(frame_.places[index], dpi), fonts_.For(dpi));
    return controls_[index];
}

void TopLevelWindow::LayOut(int dpi) {
    HFONT font = fonts_.For(dpi);
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        const RECT place = ToPixels(frame_.places[i], dpi);
        SetWindowPos(controls_[i], nullptr, place.left, place.top, place.right - place.left,
                     place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(controls_[i], WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
}

bool TopLevelWindow::IsFor(const MSG& message) const {
    return hwnd_ != nullptr && (message.hwnd == hwnd_ || IsChild(hwnd_, message.hwnd));
}

// Windows suggests the window's new place on the other monitor; the client area is then made the
// table's size at the new DPI around the suggested corner, and the controls, fonts and icons
// follow.
void TopLevelWindow::DpiChanged(int dpi, const RECT& suggested) {
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    PlaceClientArea(hwnd_, frame_.clientArea, dpi, true);
    LayOut(dpi);
    icons_.Apply(hwnd_, dpi);
}

LRESULT CALLBACK TopLevelWindow::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    TopLevelWindow* self = WindowObject(hwnd, message, lParam);
    if (self == nullptr) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    switch (message) {
        case WM_NCCREATE:
            self->hwnd_ = hwnd;
            break;
        case WM_DPICHANGED:
            self->DpiChanged(HIWORD(wParam), *HandleFrom<const RECT*>(lParam));
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            self->hwnd_ = nullptr;
            self->controls_.assign(self->controls_.size(), nullptr);
            self->Destroyed();
            return DefWindowProcW(hwnd, message, wParam, lParam);
        default:
            break;
    }
    return self->Handle(message, wParam, lParam);
}

}  // namespace win32
