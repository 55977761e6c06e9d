#include "win32/controls.h"

#include "text/utf16.h"

namespace win32 {

std::wstring WindowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    if (length <= 0) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

RECT ToPixels(window::TwipRect place, int dpi) noexcept {
    const int left = window::TwipsToPixels(place.left, dpi);
    const int top = window::TwipsToPixels(place.top, dpi);
    return {left, top, left + window::TwipsToPixels(place.width, dpi),
            top + window::TwipsToPixels(place.height, dpi)};
}

int DpiOf(HWND hwnd) noexcept {
    const UINT dpi = GetDpiForWindow(hwnd);
    return dpi != 0 ? static_cast<int>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

void PlaceClientArea(HWND hwnd, window::TwipRect clientArea, int dpi, bool keepCorner) {
    RECT client = ToPixels(clientArea, dpi);
    RECT outer = client;
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
    AdjustWindowRectExForDpi(&outer, style, FALSE, exStyle, static_cast<UINT>(dpi));
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    if (keepCorner) {
        flags |= SWP_NOMOVE;
    }
    SetWindowPos(hwnd, nullptr, outer.left, outer.top, outer.right - outer.left,
                 outer.bottom - outer.top, flags);
}

HWND MakeControl(HWND parent, const wchar_t* windowClass, DWORD style, DWORD exStyle,
                 std::string_view text, int id, const RECT& place, HFONT font) {
    HWND control = CreateWindowExW(
        exStyle, windowClass, text::Utf16FromUtf8<wchar_t>(text).c_str(),
        WS_CHILD | WS_VISIBLE | style, place.left, place.top, place.right - place.left,
        place.bottom - place.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),  // NOLINT: a child's ID goes there
        GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

namespace {

HICON AppIcon(int metric, int dpi) {
    const int size = GetSystemMetricsForDpi(metric, static_cast<UINT>(dpi));
    // The icon resource of zentriq.rc.in, named IDI_ICON1 there.
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), L"IDI_ICON1", IMAGE_ICON, size,
                                         size, LR_DEFAULTCOLOR));
}

}  // namespace

WindowIcons::~WindowIcons() {
    for (HICON icon : {small_, large_}) {
        if (icon != nullptr) {
            DestroyIcon(icon);
        }
    }
}

void WindowIcons::Apply(HWND hwnd, int dpi) {
    HICON small = AppIcon(SM_CXSMICON, dpi);
    HICON large = AppIcon(SM_CXICON, dpi);
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
    for (HICON old : {small_, large_}) {
        if (old != nullptr) {
            DestroyIcon(old);
        }
    }
    small_ = small;
    large_ = large;
}

namespace {

// COM's entry points, loaded with ole32.dll on first use.
struct Com {
    HMODULE module = nullptr;
    bool joined = false;
    decltype(&CoCreateInstance) create = nullptr;
    decltype(&CoUninitialize) uninitialize = nullptr;
};

Com& LoadedCom() {
    static Com com = [] {
        Com loaded;
        loaded.module = LoadLibraryW(L"ole32.dll");
        if (loaded.module == nullptr) {
            return loaded;
        }
        // GetProcAddress gives an untyped address; these are the functions' own types.
        const auto initialize = reinterpret_cast<decltype(&CoInitializeEx)>(  // NOLINT
            reinterpret_cast<void*>(GetProcAddress(loaded.module, "CoInitializeEx")));
        loaded.create = reinterpret_cast<decltype(&CoCreateInstance)>(  // NOLINT
            reinterpret_cast<void*>(GetProcAddress(loaded.module, "CoCreateInstance")));
        loaded.uninitialize = reinterpret_cast<decltype(&CoUninitialize)>(  // NOLINT
            reinterpret_cast<void*>(GetProcAddress(loaded.module, "CoUninitialize")));
        loaded.joined =
            initialize != nullptr && SUCCEEDED(initialize(nullptr, COINIT_APARTMENTTHREADED));
        return loaded;
    }();
    return com;
}

}  // namespace

HRESULT CreateComObject(const CLSID& type, const IID& kind, void** object) {
    const Com& com = LoadedCom();
    if (com.create == nullptr) {
        return E_NOTIMPL;
    }
    return com.create(type, nullptr, CLSCTX_INPROC_SERVER, kind, object);
}

void LeaveCom() {
    Com& com = LoadedCom();
    if (com.joined && com.uninitialize != nullptr) {
        com.joined = false;
        com.uninitialize();
    }
}

IAccPropServices* AccessibleNames::Services() {
    if (!tried_) {
        tried_ = true;
        void* services = nullptr;
        if (SUCCEEDED(CreateComObject(CLSID_AccPropServices, IID_IAccPropServices, &services))) {
            services_ = static_cast<IAccPropServices*>(services);
        }
    }
    return services_;
}

AccessibleNames::~AccessibleNames() {
    if (services_ != nullptr) {
        services_->Release();
    }
}

void AccessibleNames::Set(HWND control, std::string_view name) {
    if (IAccPropServices* services = Services()) {
        const std::wstring wide = text::Utf16FromUtf8<wchar_t>(name);
        services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                 PROPID_ACC_NAME, wide.c_str());
    }
}

void AccessibleNames::Clear(HWND control) {
    if (services_ != nullptr) {
        MSAAPROPID name = PROPID_ACC_NAME;
        services_->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &name,
                                  1);
    }
}

}  // namespace win32
