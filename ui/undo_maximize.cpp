#include "ui/undo_maximize.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QEvent>
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

UndoMaximize::UndoMaximize(QWidget& window) : QObject(&window), window_(window) {
    window.installEventFilter(this);
#if defined(ZENTRIQ_HAVE_XCB) && QT_CONFIG(xcb)
    // Qt hands the window's own nativeEvent the same X events; a filter on the application sees
    // them without the window forwarding them.
    if (x11::Connection() != nullptr) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
#endif
}

bool UndoMaximize::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_ && event->type() == QEvent::WindowStateChange &&
        window_.windowState().testFlag(Qt::WindowMaximized)) {
        const QRect normal = window_.normalGeometry();
        window_.setWindowState(window_.windowState() & ~Qt::WindowMaximized);
        if (normal.isValid()) {
            window_.setGeometry(normal);  // for window managers that do not restore it themselves
        }
    }
    return false;
}

#if defined(ZENTRIQ_HAVE_XCB) && QT_CONFIG(xcb)

bool UndoMaximize::nativeEventFilter(const QByteArray& eventType, void* message,
                                     qintptr* /*result*/) {
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    xcb_connection_t* connection = x11::Connection();
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY || connection == nullptr) {
        return false;
    }
    // The window's id without creating it: a window not yet created has no events.
    const auto native = static_cast<xcb_window_t>(window_.internalWinId());
    const auto* change = reinterpret_cast<const xcb_property_notify_event_t*>(event);
    static const xcb_atom_t state = x11::Atom(connection, "_NET_WM_STATE");
    if (native == XCB_WINDOW_NONE || change->window != native || change->atom != state ||
        state == XCB_ATOM_NONE) {
        return false;
    }
    static const xcb_atom_t vertical = x11::Atom(connection, "_NET_WM_STATE_MAXIMIZED_VERT");
    static const xcb_atom_t horizontal = x11::Atom(connection, "_NET_WM_STATE_MAXIMIZED_HORZ");
    const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection,
                               xcb_get_property(connection, 0, native, state, XCB_ATOM_ATOM, 0, 32),
                               nullptr),
        &std::free);
    if (!reply || reply->format != 32) {
        return false;
    }
    const std::span atoms(
        static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get())),
        static_cast<std::size_t>(xcb_get_property_value_length(reply.get())) / sizeof(xcb_atom_t));
    const bool tall = std::find(atoms.begin(), atoms.end(), vertical) != atoms.end();
    const bool wide = std::find(atoms.begin(), atoms.end(), horizontal) != atoms.end();
    // A maximize in both directions is undone through the window state.
    if (tall != wide) {
        x11::RequestNetWmState(connection, native, false, vertical, horizontal);
    }
    return false;
}

#else

bool UndoMaximize::nativeEventFilter(const QByteArray& /*eventType*/, void* /*message*/,
                                     qintptr* /*result*/) {
    return false;
}

#endif

}  // namespace ui
