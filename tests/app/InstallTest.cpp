// The program installed into a fresh prefix, where a desktop looks for it.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/ClipWriter.h"

namespace {

namespace fs = std::filesystem;

// Standard output and error of a shell command, and its exit status.
std::string RunShell(const std::string& command, int& nExitStatus) {
    std::string out;
    nExitStatus = -1;
    if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        char buffer[512];
        while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
        const int status = pclose(pipe);
        if (WIFEXITED(status)) nExitStatus = WEXITSTATUS(status);
    }
    return out;
}

TEST(Install, TheInstalledProgramFindsItsData) {
    const fs::path prefix = TestDataPath("install-" + std::to_string(getpid()));
    fs::remove_all(prefix);
    int nStatus = 0;
    const std::string log =
        RunShell(std::string(ZARN_CMAKE_COMMAND " --install " ZARN_BUILD_DIR " --prefix '") +
                     prefix.string() + "'",
                 nStatus);
    ASSERT_EQ(nStatus, 0) << log;
    for (const char* file :
         {"bin/zarndemo", "share/zarndemo/avi/Synth002.avi", "share/zarndemo/samples/stage.avi",
          "share/zarndemo/samples/waves/waves.txt", "share/zarndemo/samples/waves/tone20.wav",
          "share/applications/zarndemo.desktop", "share/icons/hicolor/32x32/apps/zarndemo.png",
          "share/icons/hicolor/16x16/apps/zarndemo.png", "lib/systemd/user/zarndemo-venue.service",
          "share/zarndemo/autostart/zarndemo-venue.desktop", "bin/zarndemo-replay",
          "share/man/man1/zarndemo.1.gz", "share/man/man1/zarndemo-replay.1.gz",
          "share/metainfo/io.github.zarndemo.ZARNDemo.metainfo.xml",
          "share/doc/zarndemo/copyright"})
        EXPECT_TRUE(fs::is_regular_file(prefix / file)) << file;

    // The service manager accepts the unit, its program where this prefix
    // put it (the unit names the configured prefix's).
    {
        std::ifstream in(prefix / "lib/systemd/user/zarndemo-venue.service");
        std::string unit((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string configured = ZARN_INSTALL_BINDIR "/zarndemo";
        const size_t at = unit.find("ExecStart=" + configured + " --venue --kiosk");
        ASSERT_NE(at, std::string::npos) << unit;
        unit.replace(at + 10, configured.size(), (prefix / "bin/zarndemo").string());
        const fs::path verified = prefix / "zarndemo-venue.service";
        std::ofstream(verified) << unit;
        fs::create_directories(prefix / "runtime");
        fs::permissions(prefix / "runtime", fs::perms::owner_all);
        const std::string out = RunShell("XDG_RUNTIME_DIR='" + (prefix / "runtime").string() +
                                             "' systemd-analyze verify --user --man=no '" +
                                             verified.string() + "'",
                                         nStatus);
        EXPECT_EQ(nStatus, 0) << out;
        // Lines it only warns about ("…service:9: …, ignoring") count too.
        EXPECT_EQ(out.find("zarndemo-venue.service:"), std::string::npos) << out;
    }

    // Started without a display, the program says what it misses and ends:
    // installed, it misses nothing else; copied away from its data, it misses
    // the gate show's clip.
    fs::create_directories(prefix / "elsewhere/bin");
    fs::copy_file(prefix / "bin/zarndemo", prefix / "elsewhere/bin/zarndemo");
    const std::pair<fs::path, bool> programs[] = {{prefix / "bin/zarndemo", true},
                                                  {prefix / "elsewhere/bin/zarndemo", false}};
    for (const auto& [program, bFindsData] : programs) {
        const std::string out = RunShell("env -i '" + program.string() + "'", nStatus);
        EXPECT_EQ(nStatus, 1) << out;
        EXPECT_NE(out.find("no display"), std::string::npos) << out;
        EXPECT_EQ(out.find("clip is missing") == std::string::npos, bFindsData) << out;
    }
    fs::remove_all(prefix);
}

}  // namespace
