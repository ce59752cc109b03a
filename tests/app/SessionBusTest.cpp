// The program on an X display and the session message bus: started where
// there is none, it leaves none running when it ends; where one runs, on its
// address or already launched for the display, it joins that one (as Qt's
// accessibility bridge does, so screen readers reach it).

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ClipWriter.h"

namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Live dbus-daemon and dbus-launch processes started for display: they
// carry its DISPLAY in their environment.
std::vector<pid_t> BusProcesses(const std::string& display) {
    std::vector<pid_t> pids;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string stat = Slurp(entry.path() / "stat");
        const size_t open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close + 2 >= stat.size())
            continue;
        const std::string comm = stat.substr(open + 1, close - open - 1);
        if ((comm != "dbus-daemon" && comm != "dbus-launch") || stat[close + 2] == 'Z') continue;
        std::string env = Slurp(entry.path() / "environ");
        std::replace(env.begin(), env.end(), '\0', '\n');
        if (("\n" + env).find("\nDISPLAY=" + display + "\n") != std::string::npos)
            pids.push_back(std::stoi(name));
    }
    return pids;
}

// Standard output of a shell command.
std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

// Connections on the bus at address: its unique names, the asker's among them.
int BusConnections(const std::string& address) {
    const std::string names =
        Shell("DBUS_SESSION_BUS_ADDRESS='" + address +
              "' dbus-send --session --print-reply --dest=org.freedesktop.DBus / "
              "org.freedesktop.DBus.ListNames");
    int n = 0;
    for (size_t at = names.find("\":1."); at != std::string::npos; at = names.find("\":1.", at + 1))
        ++n;
    return n;
}

// A private X server, ended with the test.
class XServer {
public:
    XServer() {
        int fds[2];
        if (pipe(fds) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            std::FILE* pQuiet = std::freopen("/dev/null", "w", stderr);
            (void)pQuiet;
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-noreset",
                   "-screen", "0", "1024x768x24", nullptr);
            _exit(127);
        }
        close(fds[1]);
        // The number comes in pieces; a pipe closed before its line ends
        // would end the server. It stays open as long as the server runs.
        m_fd = fds[0];
        std::string number;
        char c = 0;
        for (pollfd p{m_fd, POLLIN, 0};
             poll(&p, 1, 30000) == 1 && read(m_fd, &c, 1) == 1 && c != '\n';)
            number += c;
        if (c == '\n' && !number.empty()) m_display = ":" + number;
    }
    ~XServer() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_fd >= 0) close(m_fd);
    }
    const std::string& Display() const { return m_display; }

private:
    pid_t m_pid = -1;
    int m_fd = -1;
    std::string m_display;
};

class SessionBus : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(x.Display().empty()) << "Xvfb (Debian's xvfb) is needed";
        ASSERT_EQ(access("/usr/bin/dbus-launch", X_OK), 0)
            << "dbus-launch (Debian's dbus-x11) is needed";
    }
    void TearDown() override {
        // Whatever the display still has is this test's own, and so is the
        // note dbus-launch leaves of the bus it launched there.
        for (pid_t pid : BusProcesses(x.Display())) kill(pid, SIGKILL);
        const char* pszHome = std::getenv("HOME");
        const std::string machine = Shell("cat /etc/machine-id 2>/dev/null");
        if (pszHome && !machine.empty() && !x.Display().empty())
            fs::remove(fs::path(pszHome) / ".dbus/session-bus" /
                       (machine.substr(0, machine.find('\n')) + "-" + x.Display().substr(1)));
    }

    // Runs the program on the display, with busAddress as the session bus
    // ("" for none), until it is up; then whileUp(), and SIGTERM ends it.
    void RunProgram(const std::string& busAddress, const std::function<void()>& whileUp) {
        const std::string socketPath = TestDataPath("notify-" + std::to_string(getpid()));
        std::remove(socketPath.c_str());
        const int sock = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socketPath.c_str());
        ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0) << socketPath;

        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            setenv("DISPLAY", x.Display().c_str(), 1);
            setenv("QT_QPA_PLATFORM", "xcb", 1);
            setenv("NOTIFY_SOCKET", socketPath.c_str(), 1);
            unsetenv("WAYLAND_DISPLAY");
            if (busAddress.empty())
                unsetenv("DBUS_SESSION_BUS_ADDRESS");
            else
                setenv("DBUS_SESSION_BUS_ADDRESS", busAddress.c_str(), 1);
            execl(ZARN_PROGRAM, ZARN_PROGRAM, nullptr);
            _exit(127);
        }
        bool bReady = false;
        for (int i = 0; i < 600 && !bReady; ++i) {
            pollfd p{sock, POLLIN, 0};
            if (poll(&p, 1, 100) != 1) continue;
            char buffer[512] = {};
            if (recv(sock, buffer, sizeof buffer - 1, 0) > 0)
                bReady = std::string(buffer).find("READY=1") != std::string::npos;
        }
        close(sock);
        std::remove(socketPath.c_str());
        if (bReady) whileUp();
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(bReady) << "the program never came up";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM) << status;
    }

    XServer x;
};

TEST_F(SessionBus, NoneIsLeftRunningWhereThereWasNone) {
    RunProgram("", [] {});
    EXPECT_TRUE(BusProcesses(x.Display()).empty());
}

TEST_F(SessionBus, TheProgramJoinsTheBusAtItsAddressOrLaunchedForTheDisplay) {
    // A bus of the display's own, as dbus-launch starts one for the first
    // program there; its address as the variable names one.
    const std::string launched = Shell("DISPLAY=" + x.Display() +
                                       " dbus-launch --autolaunch=$(cat /etc/machine-id "
                                       "2>/dev/null || cat /var/lib/dbus/machine-id) --sh-syntax");
    const size_t at = launched.find("DBUS_SESSION_BUS_ADDRESS='");
    ASSERT_NE(at, std::string::npos) << launched;
    const size_t from = at + std::string("DBUS_SESSION_BUS_ADDRESS='").size();
    const std::string address = launched.substr(from, launched.find('\'', from) - from);
    const std::vector<pid_t> before = BusProcesses(x.Display());
    const int nAlone = BusConnections(address);

    for (const std::string& given : {address, std::string()}) {
        int nWhileUp = 0;
        RunProgram(given, [&] { nWhileUp = BusConnections(address); });
        EXPECT_GT(nWhileUp, nAlone)
            << (given.empty() ? "launched for the display" : "at its address");
    }
    EXPECT_EQ(BusProcesses(x.Display()), before);
}

}  // namespace
