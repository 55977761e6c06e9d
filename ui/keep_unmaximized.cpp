#include "ui/keep_unmaximized.h"

#include <QByteArray>
#include <QWidget>

#if defined(ZENTRIQ_HAVE_XCB) && QT_CONFIG(xcb)
#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <span>

#include "ui/net_wm_state.h"
#endif

namespace ui {

#if defined(ZENTRIQ_HAVE_XCB) && QT_CONFIG(xcb)

void UndoOneWayMaximize(const QWidget& window, const QByteArray& eventType, const void* message) {
    if (eventType != "xcb_generic_event_t") {
        return;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    xcb_connection_t* connection = x11::Connection();
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY || connection == nullptr) {
        return;
    }
    static const xcb_atom_t state = x11::Atom(connection, "_NET_WM_STATE");
    static const xcb_atom_t vertical = x11::Atom(connection, "_NET_WM_STATE_MAXIMIZED_VERT");
    static const xcb_atom_t horizontal = x11::Atom(connection, "_NET_WM_STATE_MAXIMIZED_HORZ");
    const auto* change = reinterpret_cast<const xcb_property_notify_event_t*>(event);
    const auto native = static_cast<xcb_window_t>(window.winId());
    if (change->window != native || change->atom != state || state == XCB_ATOM_NONE) {
        return;
    }
    const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection,
                               xcb_get_property(connection, 0, native, state, XCB_ATOM_ATOM, 0, 32),
                               nullptr),
        &std::free);
    if (!reply || reply->format != 32) {
        return;
    }
    const std::span atoms(
        static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get())),
        static_cast<std::size_t>(xcb_get_property_value_length(reply.get())) / sizeof(xcb_atom_t));
    const bool tall = std::find(atoms.begin(), atoms.end(), vertical) != atoms.end();
    const bool wide = std::find(atoms.begin(), atoms.end(), horizontal) != atoms.end();
    if (tall != wide) {
        x11::RequestNetWmState(connection, native, false, vertical, horizontal);
    }
}

#else

void UndoOneWayMaximize(const QWidget& /*window*/, const QByteArray& /*eventType*/,
                        const void* /*message*/) {}

#endif

}  // namespace ui
