#include "platform/qt/QtSessionBus.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

namespace {

// An address of a transport libdbus and GDBus do not have: a connection
// fails at once, and neither of them falls back to autolaunch.
constexpr const char* NO_BUS_ADDRESS = "disabled:";

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool HasUserBus() {
    const std::string dir = Env("XDG_RUNTIME_DIR");
    struct stat st {};
    return !dir.empty() && stat((dir + "/bus").c_str(), &st) == 0 && S_ISSOCK(st.st_mode) &&
           st.st_uid == getuid();
}

std::string MachineId() {
    for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
        std::ifstream in(path);
        std::string id;
        if (in >> id && !id.empty()) return id;
    }
    return {};
}

// dbus-launch marks the bus it started for a display by owning this
// selection on it, for as long as the bus runs.
bool DisplayHasBus() {
    const std::string machine = MachineId();
    const passwd* pw = getpwuid(getuid());
    if (Env("DISPLAY").empty() || machine.empty() || !pw) return false;
    const std::string name =
        std::string("_DBUS_SESSION_BUS_SELECTION_") + pw->pw_name + "_" + machine;

    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> connection(
        xcb_connect(nullptr, nullptr), &xcb_disconnect);
    if (xcb_connection_has_error(connection.get())) return false;
    xcb_connection_t* c = connection.get();
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 1, static_cast<uint16_t>(name.size()), name.c_str()), nullptr),
        &std::free);
    if (!atom || atom->atom == XCB_ATOM_NONE) return false;
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr),
        &std::free);
    return owner && owner->owner != XCB_WINDOW_NONE;
}

}  // namespace

void KeepSessionBusFromAutolaunch() {
    if (!Env("DBUS_SESSION_BUS_ADDRESS").empty() || HasUserBus()) return;
    // Without DISPLAY libdbus launches nothing; with it, join what runs there.
    if (Env("DISPLAY").empty() || DisplayHasBus()) return;
    setenv("DBUS_SESSION_BUS_ADDRESS", NO_BUS_ADDRESS, 1);
}
