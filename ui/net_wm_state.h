// What the program's requests to an X11 window manager share: atoms by name and the message that
// changes a mapped window's _NET_WM_STATE. Only for sources built against xcb.
#pragma once

#include <xcb/xcb.h>

namespace ui::x11 {

// The application's connection to the X server; null when it runs on another platform.
xcb_connection_t* Connection();

// The atom called `name`; XCB_ATOM_NONE when the server gives none.
xcb_atom_t Atom(xcb_connection_t* connection, const char* name);

// Asks the window manager to add or remove up to two states of a mapped window. Before mapping,
// the window owns the property itself and sets it directly.
void RequestNetWmState(xcb_connection_t* connection, xcb_window_t window, bool add,
                       xcb_atom_t first, xcb_atom_t second = XCB_ATOM_NONE);

}  // namespace ui::x11
