// The replay's progress line: on a terminal one line rewritten in place, at
// most ten times a second, gone at the end; nowhere else a trace of it.

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/ReplayProgress.h"
#include "tests/sound/WavTestFiles.h"

namespace {

// What a terminal shows after text: each '\r' back to the line's start, each
// '\n' a new line, other characters written over what was there.
std::vector<std::string> Screen(const std::string& text) {
    std::vector<std::string> lines(1);
    size_t col = 0;
    for (const char c : text) {
        if (c == '\r') {
            col = 0;
        } else if (c == '\n') {
            lines.emplace_back();
            col = 0;
        } else {
            std::string& line = lines.back();
            if (col >= line.size()) line.resize(col + 1, ' ');
            line[col++] = c;
        }
    }
    return lines;
}

bool Blank(const std::string& line) { return line.find_first_not_of(' ') == std::string::npos; }

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(ReplayProgress, OnATerminalOneLineInPlaceTenTimesASecondAtMostWipedAtTheEnd) {
    int64_t nNowMs = 5000;
    std::vector<std::string> writes;
    CReplayProgress progress(
        true, [&](const std::string& text) { writes.push_back(text); }, [&] { return nNowMs; });
    // A second of wall time, a pass every millisecond, each 10 virtual ms on.
    for (int i = 1; i <= 1000; ++i) {
        nNowMs = 5000 + i;
        progress.Update(i * 10, i / 1000.0);
        if (i == 500) {
            ASSERT_FALSE(writes.empty());
            EXPECT_EQ(writes.back(), "\rzarndemo-replay:  50% of the show, 5.0 s, 10.0x real time");
        }
    }
    EXPECT_GE(writes.size(), 9u);
    EXPECT_LE(writes.size(), 10u);
    std::string all;
    for (const std::string& w : writes) {
        EXPECT_EQ(w.front(), '\r');
        EXPECT_EQ(w.find('\n'), std::string::npos);
        all += w;
    }

    // Slower now: the shorter line leaves nothing of the longer one.
    nNowMs += 10000;
    progress.Update(10010, 1.0);
    all += writes.back();
    std::vector<std::string> screen = Screen(all);
    ASSERT_EQ(screen.size(), 1u);
    EXPECT_EQ(screen[0].substr(0, screen[0].find_last_not_of(' ') + 1),
              "zarndemo-replay: 100% of the show, 10.0 s, 0.9x real time");

    progress.Clear();
    screen = Screen(all + writes.back());
    ASSERT_EQ(screen.size(), 1u);
    EXPECT_TRUE(Blank(screen[0])) << screen[0];
    EXPECT_EQ(writes.back().back(), '\r');
}

TEST(ReplayProgress, NothingWithoutATerminal) {
    int64_t nNowMs = 0;
    int nWrites = 0;
    CReplayProgress progress(
        false, [&](const std::string&) { ++nWrites; }, [&] { return nNowMs; });
    for (int i = 1; i <= 100; ++i) {
        nNowMs = i * 100;
        progress.Update(i * 1000, i / 100.0);
    }
    progress.Clear();
    EXPECT_EQ(nWrites, 0);
}

// zarndemo-replay on the samples' 51 s show, which takes seconds, with its
// standard error on a terminal or in a file.
std::vector<std::string> ReplayArgs(const std::string& out) {
    return {ZARN_REPLAY_PROGRAM, ZARN_SAMPLES_DIR "/stage.avi", ZARN_SAMPLES_DIR "/waves/waves.txt",
            "-o", out};
}

[[noreturn]] void Exec(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

TEST(ReplayProgressLine, OnATerminalItShowsAndIsWipedAtTheEnd) {
    wavtest::TempDir dir;
    const auto start = std::chrono::steady_clock::now();
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) Exec(ReplayArgs(dir.path() + "/out"));
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) out.append(buffer, size_t(n));
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    const double dWallSec =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;

    const size_t nLines = Count(out, "% of the show");
    EXPECT_GE(nLines, 1u) << out;
    EXPECT_LE(nLines, size_t(dWallSec * 10) + 1) << dWallSec << " s";
    const std::vector<std::string> screen = Screen(out);
    EXPECT_TRUE(Blank(screen.back())) << screen.back();
}

TEST(ReplayProgressLine, NoneIntoAFile) {
    wavtest::TempDir dir;
    const std::string errPath = dir.path() + "/stderr.txt";
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (!std::freopen(errPath.c_str(), "w", stderr)) _exit(126);
        Exec(ReplayArgs(dir.path() + "/out"));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::ifstream in(errPath);
    std::stringstream err;
    err << in.rdbuf();
    EXPECT_EQ(err.str().find('\r'), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find("of the show"), std::string::npos) << err.str();
}

}  // namespace
