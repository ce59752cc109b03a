// zarndemo-replay as a user runs it: two runs write the same files; every
// ranking row holds the ranking of its frame's own pixels and the mix an
// onset of each sounded cell's tone at its time; with --video a complete
// show.mkv; the folder holds one run's files; bad input gives one line, a
// failing status and no files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/sound/WavTestFiles.h"
#include "tests/support/ClipWriter.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace fs = std::filesystem;
using namespace wavtest;

namespace {

constexpr int CLIP_W = 224;  // cells of 32 x 40
constexpr int CLIP_H = 120;
constexpr int CLIP_FRAMES = 150;  // 6 s at 25 per second: 7 rankings
constexpr int MIX_RATE = 48000;

// Red level of cell n in frame f: a different permutation of 21 distinct
// levels in every frame, so a row that names the wrong frame shows.
int CellLevel(int frame, int n) {
    static const int kSteps[] = {1, 2, 4, 5, 8, 10, 11, 13, 16, 17, 19, 20};  // prime to 21
    return 20 + 10 * ((n * kSteps[frame % 12] + frame) % 21);
}

void PaintFrame(int frame, uint8_t* rgb, int w, int h) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int n = std::min(y / 40, 2) * 7 + std::min(x / 32, 6);
            uint8_t* p = rgb + (static_cast<size_t>(y) * w + x) * 3;
            p[0] = static_cast<uint8_t>(CellLevel(frame, n));
            p[1] = p[2] = static_cast<uint8_t>(255 - p[0]);  // only red ranks
        }
}

double ToneHz(int n) { return 600.0 + 300.0 * n; }

struct Outcome {
    int status = -1;
    std::string err;
};

// Runs zarndemo-replay with args; its exit status and standard error.
Outcome Replay(const std::vector<std::string>& args, const std::string& errFile) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::FILE* f = std::freopen(errFile.c_str(), "w", stderr);
        (void)f;
        std::vector<char*> argv{const_cast<char*>(ZARN_REPLAY_PROGRAM)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(ZARN_REPLAY_PROGRAM, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream in(errFile);
    std::stringstream ss;
    ss << in.rdbuf();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ss.str()};
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class ReplayProgram : public ::testing::Test {
protected:
    // One clip and 21 tones for the whole suite.
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        ClipOptions options;
        options.width = CLIP_W;
        options.height = CLIP_H;
        options.frames = CLIP_FRAMES;
        std::string error;
        s_clip = s_dir->path() + "/cells.avi";
        ASSERT_TRUE(WriteClip(s_clip, options, PaintFrame, &error)) << error;
        std::string list = "21\n";
        for (int n = 20; n >= 0; --n) {  // listed out of order: the replay sorts
            const WAVEFORMATEX wfx = Pcm(1, 44100, 16);
            std::vector<uint8_t> data;
            for (int i = 0; i < 44100 * 3 / 10; ++i) {
                const auto v = static_cast<int16_t>(
                    std::lrint(0.15 * 32767 * std::sin(2 * M_PI * ToneHz(n) * i / 44100)));
                data.push_back(static_cast<uint8_t>(v));
                data.push_back(static_cast<uint8_t>(v >> 8));
            }
            char name[16];
            std::snprintf(name, sizeof name, "Tone%02d", n);
            s_dir->WriteWav(std::string(name) + ".wav", wfx, data);
            list += std::string(name) + "\n";
        }
        s_list = s_dir->Write("waves.txt", std::vector<uint8_t>(list.begin(), list.end()));
    }
    static void TearDownTestSuite() { delete s_dir; }

    std::string Out(const std::string& name) const { return m_dir.path() + "/" + name; }
    Outcome ReplayInto(const std::string& out, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{s_clip, s_list, "-o", out};
        args.insert(args.end(), extra.begin(), extra.end());
        return Replay(args, m_dir.path() + "/stderr.txt");
    }

    static TempDir* s_dir;
    static std::string s_clip;
    static std::string s_list;
    TempDir m_dir;
};
TempDir* ReplayProgram::s_dir = nullptr;
std::string ReplayProgram::s_clip;
std::string ReplayProgram::s_list;

TEST_F(ReplayProgram, TwoRunsWriteTheSameFiles) {
    for (const char* out : {"a", "b"}) ASSERT_EQ(ReplayInto(Out(out)).status, 0) << out;
    for (const char* file : {"ranks.csv", "mix.wav"}) {
        const std::string a = Slurp(Out("a/") + file);
        EXPECT_GT(a.size(), 100u) << file;
        EXPECT_TRUE(a == Slurp(Out("b/") + file)) << file << " differs between runs";
    }
}

// Magnitude of frequency hz in the left channel's 10 ms from frame `at`
// (Hann window), relative to a full-length tone of amplitude 0.15.
double ToneLevel(const std::vector<int16_t>& mix, double hz, long at) {
    const int n = MIX_RATE / 100;
    if (at < 0 || static_cast<size_t>(2 * (at + n)) > mix.size()) return 0;
    double re = 0, im = 0;
    for (int i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * M_PI * i / n);
        const double x = w * mix[2 * (at + i)];
        re += x * std::cos(2 * M_PI * hz * i / MIX_RATE);
        im += x * std::sin(2 * M_PI * hz * i / MIX_RATE);
    }
    return std::hypot(re, im) / (0.15 * 32767 * n / 4);
}

TEST_F(ReplayProgram, RowsRankTheirFramesOwnPixelsAndTheMixSoundsEachCellOnTime) {
    const Outcome run = ReplayInto(Out("t"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");

    const std::string wav = Slurp(Out("t/mix.wav"));
    ASSERT_GT(wav.size(), 44u);
    std::vector<int16_t> mix((wav.size() - 44) / 2);
    std::memcpy(mix.data(), wav.data() + 44, mix.size() * 2);

    std::istringstream csv(Slurp(Out("t/ranks.csv")));
    std::string line;
    std::getline(csv, line);
    int rows = 0;
    std::vector<uint8_t> rgb(CLIP_W * CLIP_H * 3);
    while (std::getline(csv, line)) {
        SCOPED_TRACE(line);
        ++rows;
        std::vector<std::string> f;
        std::stringstream ss(line);
        for (std::string cell; std::getline(ss, cell, ',');) f.push_back(cell);
        ASSERT_EQ(f.size(), 12u);
        const int frame = std::stoi(f[1]);

        // The truth, from the frame's pixels: means of the red bytes of each
        // cell, ordered from the highest.
        PaintFrame(frame, rgb.data(), CLIP_W, CLIP_H);
        std::vector<std::pair<double, int>> means;
        for (int n = 0; n < 21; ++n) {
            double sum = 0;
            for (int y = 40 * (n / 7); y < 40 * (n / 7) + 40; ++y)
                for (int x = 32 * (n % 7); x < 32 * (n % 7) + 32; ++x)
                    sum += rgb[(static_cast<size_t>(y) * CLIP_W + x) * 3];
            means.emplace_back(sum / (32 * 40), n);
        }
        std::stable_sort(means.begin(), means.end(),
                         [](auto a, auto b) { return a.first > b.first; });
        const double timeMs = std::stod(f[2]) * 1000;
        int started = 0;  // the bank starts one sound per 10 ms pass, lowest cell first
        std::vector<int> sounded;
        for (int i = 0; i < 3; ++i) {
            const auto& truth = means[i == 0 ? 0 : i == 1 ? 10 : 20];
            EXPECT_EQ(std::stoi(f[3 + 3 * i]), truth.second) << "place " << i;
            EXPECT_NEAR(std::stod(f[4 + 3 * i]), truth.first, 0.0005) << "place " << i;
            EXPECT_EQ(f[5 + 3 * i], "1") << "every cell has a tone";
            sounded.push_back(truth.second);
        }
        std::sort(sounded.begin(), sounded.end());
        for (int cell : sounded) {
            const double dueMs = timeMs + 10 * started++;
            const long due = std::lround(dueMs * MIX_RATE / 1000);
            const long ms = MIX_RATE / 1000;
            EXPECT_LT(ToneLevel(mix, ToneHz(cell), due - 45 * ms), 0.1)
                << "cell " << cell << " sounds before its time";
            // The tone fills half the window's weight when the window's
            // middle, 5 ms on, reaches the onset.
            long onset = -1;
            for (long at = due - 45 * ms; at <= due + 15 * ms && onset < 0; ++at)
                if (ToneLevel(mix, ToneHz(cell), at) > 0.5) onset = at + 5 * ms;
            EXPECT_LE(std::abs(onset - due), 15 * ms)
                << "cell " << cell << " starts at " << 1000.0 * onset / MIX_RATE << " ms, not "
                << dueMs;
        }
    }
    EXPECT_EQ(rows, 7);
}

TEST_F(ReplayProgram, VideoIsACompleteMatroskaFileWithTheShowsPictureAndSound) {
    const Outcome run = ReplayInto(Out("v"), {"--video"});
    ASSERT_EQ(run.status, 0) << run.err;
    AVFormatContext* ctx = nullptr;
    ASSERT_EQ(avformat_open_input(&ctx, Out("v/show.mkv").c_str(), nullptr, nullptr), 0);
    ASSERT_GE(avformat_find_stream_info(ctx, nullptr), 0);
    ASSERT_EQ(ctx->nb_streams, 2u);
    const AVCodecParameters* video = ctx->streams[0]->codecpar;
    const AVCodecParameters* audio = ctx->streams[1]->codecpar;
    EXPECT_EQ(video->codec_type, AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(video->width, 1024);
    EXPECT_EQ(video->height, 768);
    EXPECT_EQ(audio->codec_type, AVMEDIA_TYPE_AUDIO);
    EXPECT_EQ(audio->sample_rate, MIX_RATE);
    // Pictures for the whole clip (a tick per frame and the last, 40 ms
    // each), and sound as long as mix.wav.
    EXPECT_NEAR(static_cast<double>(ctx->duration) / AV_TIME_BASE,
                (Slurp(Out("v/mix.wav")).size() - 44) / (4.0 * MIX_RATE), 0.05);
    avformat_close_input(&ctx);
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The folder holds one run's files, never a mix: a failure part way through
// the naming (a folder stands where ranks.csv must go) leaves the older
// files as they were, with no part and nothing aside; a run without --video
// removes an older show.mkv.
TEST_F(ReplayProgram, TheFolderHoldsOneRunsFilesOnly) {
    const std::string out = Out("set");
    fs::create_directories(out + "/ranks.csv");
    std::ofstream(out + "/mix.wav") << "older mix";
    std::ofstream(out + "/show.mkv") << "older show";
    const Outcome failed = ReplayInto(out);
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(std::count(failed.err.begin(), failed.err.end(), '\n'), 1) << failed.err;
    EXPECT_TRUE(Slurp(out + "/mix.wav") == "older mix") << "the older mix.wav is gone";
    EXPECT_TRUE(Slurp(out + "/show.mkv") == "older show") << "the older show.mkv is gone";
    EXPECT_EQ(Entries(out), (std::vector<std::string>{"mix.wav", "ranks.csv", "show.mkv"}));

    fs::remove(out + "/ranks.csv");
    const Outcome run = ReplayInto(out);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Entries(out), (std::vector<std::string>{"mix.wav", "ranks.csv"}));
}

struct BadInput {
    const char* name;
    std::vector<std::string> args;  // $CLIP, $LIST, $DIR stand for the fixture's
    int status;
};

class ReplayBadInput : public ReplayProgram, public ::testing::WithParamInterface<BadInput> {};

TEST_P(ReplayBadInput, SaysWhyInOneLineFailsAndLeavesNoFile) {
    const std::string empty = m_dir.Write("empty.txt", {'0', '\n'});
    const std::string blocker = m_dir.Write("file", {'x'});
    std::vector<std::string> args;
    for (std::string a : GetParam().args) {
        if (a == "$CLIP") a = s_clip;
        if (a == "$LIST") a = s_list;
        if (a == "$EMPTY") a = empty;
        if (a == "$NOTDIR") a = blocker + "/out";
        if (a == "$OUT") a = Out("out");
        args.push_back(a);
    }
    const Outcome run = Replay(args, Out("stderr.txt"));
    EXPECT_EQ(run.status, GetParam().status);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.rfind("zarndemo-replay: ", 0), 0u) << run.err;
    if (fs::exists(Out("out"))) {
        EXPECT_TRUE(fs::is_empty(Out("out"))) << "written despite the failure";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplayBadInput,
    ::testing::Values(BadInput{"MissingClip", {"/no/such/clip.avi", "$LIST", "-o", "$OUT"}, 1},
                      BadInput{"NotAClip", {"$LIST", "$LIST", "-o", "$OUT"}, 1},
                      BadInput{"EmptyWaveList", {"$CLIP", "$EMPTY", "-o", "$OUT"}, 1},
                      BadInput{"UnwritableFolder", {"$CLIP", "$LIST", "-o", "$NOTDIR"}, 1},
                      BadInput{"NoOutputFolder", {"$CLIP", "$LIST"}, 2}),
    [](const auto& info) { return info.param.name; });

}  // namespace
