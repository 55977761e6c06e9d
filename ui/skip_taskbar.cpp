#include "ui/skip_taskbar.h"

#include <QGuiApplication>
#include <QWidget>

#if defined(ZENTRIQ_HAVE_XCB) && QT_CONFIG(xcb)
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#endif

namespace ui {

#if defined(ZENTRIQ_HAVE_XCB) && QT_CONFIG(xcb)

namespace {

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

xcb_window_t RootOf(xcb_connection_t* connection, xcb_window_t window) {
    const std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr),
        &std::free);
    return geometry ? geometry->root : xcb_window_t{XCB_WINDOW_NONE};
}

}  // namespace

void SkipTaskbar(QWidget& window) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return;
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr) {
        return;
    }
    const auto native = static_cast<xcb_window_t>(window.winId());
    const xcb_atom_t state = Atom(connection, "_NET_WM_STATE");
    const xcb_atom_t skipTaskbar = Atom(connection, "_NET_WM_STATE_SKIP_TASKBAR");
    if (state == XCB_ATOM_NONE || skipTaskbar == XCB_ATOM_NONE) {
        return;
    }
    if (!window.isVisible()) {
        // Before mapping the window owns the property; Qt merges its own states into it on show.
        xcb_change_property(connection, XCB_PROP_MODE_APPEND, native, state, XCB_ATOM_ATOM, 32, 1,
                            &skipTaskbar);
    } else {
        // Once mapped, the window manager owns the property and takes requests as client messages.
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = native;
        message.type = state;
        message.data.data32[0] = 1;  // _NET_WM_STATE_ADD
        message.data.data32[1] = skipTaskbar;
        message.data.data32[3] = 1;  // the request comes from an application
        xcb_send_event(connection, 0, RootOf(connection, native),
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&message));
    }
    xcb_flush(connection);
}

#else

void SkipTaskbar(QWidget& /*window*/) {}

#endif

}  // namespace ui
