#include "ui/skip_taskbar.h"

#include <QWidget>

#if defined(ZENTRIQ_HAVE_XCB) && QT_CONFIG(xcb)
#include "ui/net_wm_state.h"
#endif

namespace ui {

#if defined(ZENTRIQ_HAVE_XCB) && QT_CONFIG(xcb)

void SkipTaskbar(QWidget& window) {
    xcb_connection_t* connection = x11::Connection();
    if (connection == nullptr) {
        return;
    }
    const auto native = static_cast<xcb_window_t>(window.winId());
    const xcb_atom_t state = x11::Atom(connection, "_NET_WM_STATE");
    const xcb_atom_t skipTaskbar = x11::Atom(connection, "_NET_WM_STATE_SKIP_TASKBAR");
    if (state == XCB_ATOM_NONE || skipTaskbar == XCB_ATOM_NONE) {
        return;
    }
    if (!window.isVisible()) {
        // Before mapping the window owns the property; Qt merges its own states into it on show.
        xcb_change_property(connection, XCB_PROP_MODE_APPEND, native, state, XCB_ATOM_ATOM, 32, 1,
                            &skipTaskbar);
        xcb_flush(connection);
    } else {
        // Once mapped, the window manager owns the property and takes requests as client messages.
        x11::RequestNetWmState(connection, native, true, skipTaskbar);
    }
}

#else

void SkipTaskbar(QWidget& /*window*/) {}

#endif

}  // namespace ui
