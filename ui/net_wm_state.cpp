#include <QGuiApplication>

#if defined(ZENTRIQ_HAVE_XCB) && QT_CONFIG(xcb)
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "ui/net_wm_state.h"

namespace ui::x11 {

namespace {

xcb_window_t RootOf(xcb_connection_t* connection, xcb_window_t window) {
    const std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr),
        &std::free);
    return geometry ? geometry->root : xcb_window_t{XCB_WINDOW_NONE};
}

}  // namespace

xcb_connection_t* Connection() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return nullptr;
    }
    auto* application = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return application != nullptr ? application->connection() : nullptr;
}

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

void RequestNetWmState(xcb_connection_t* connection, xcb_window_t window, bool add,
                       xcb_atom_t first, xcb_atom_t second) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = Atom(connection, "_NET_WM_STATE");
    message.data.data32[0] = add ? 1 : 0;  // _NET_WM_STATE_ADD or _NET_WM_STATE_REMOVE
    message.data.data32[1] = first;
    message.data.data32[2] = second;
    message.data.data32[3] = 1;  // the request comes from an application
    xcb_send_event(connection, 0, RootOf(connection, window),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection);
}

}  // namespace ui::x11

#endif
