#pragma once
// Qt's accessibility bridge and its desktop integration talk to the session
// message bus through libdbus. Where there is none, libdbus starts one
// ("autolaunch") through dbus-launch whenever DISPLAY is set, and that
// daemon outlives the program: one more left behind with every start.
//
// Call before the Qt application is made. Where a session bus exists (named
// by DBUS_SESSION_BUS_ADDRESS, the user's bus socket in XDG_RUNTIME_DIR, or
// one already launched for this X display, which autolaunch would join) it
// changes nothing, so screen readers on that bus still reach the program.
// Otherwise it names an address that cannot be reached, and nothing is
// launched.
void KeepSessionBusFromAutolaunch();
