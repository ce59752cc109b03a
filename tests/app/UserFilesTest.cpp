// Files the user names: a FIFO or a folder named as a sound, a wave list or a
// clip is refused at once with a reason, and what is read is the file that
// was checked, whatever the path names afterwards.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/WaveList.h"
#include "platform/UserFile.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "sound/SoundBank.h"
#include "tests/sound/WavTestFiles.h"

using namespace wavtest;

namespace {

enum class Reader { OPENER, SOUND, WAVE_LIST, CLIP };

struct NamedCase {
    const char* pszName;
    Reader reader;
    bool bFifo;  // else a folder
};
void PrintTo(const NamedCase& c, std::ostream* os) { *os << c.pszName; }

// True when the reader refuses path; the reason it gives must name what path is.
bool Refuses(Reader reader, const std::string& path, const char* pszWhat) {
    std::string strWhy;
    switch (reader) {
        case Reader::OPENER:
            return !OpenUserFile(path.c_str(), strWhy) && strWhy.find(pszWhat) != std::string::npos;
        case Reader::SOUND: {
            CSoundBank bank;
            return bank.AddWave(path.c_str()) == -1 && bank.ClipCount() == 0;
        }
        case Reader::WAVE_LIST: {
            std::string bytes;
            bool bCut = false;
            return !ReadWaveListFile(path, bytes, bCut, strWhy) &&
                   strWhy.find(pszWhat) != std::string::npos;
        }
        case Reader::CLIP: {
            FfmpegVideoFiles files;
            return files.Open(path.c_str()) == nullptr;
        }
    }
    return false;
}

class NamedAsUserFile : public ::testing::TestWithParam<NamedCase> {};

// In a child of its own with an alarm, so that a reader that waits on the
// FIFO fails the test rather than hangs the suite.
TEST_P(NamedAsUserFile, IsRefusedAtOnceWithItsReason) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const NamedCase& c = GetParam();
    TempDir dir;
    std::string path = dir.path() + "/named";
    if (c.bFifo)
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    else
        ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    const char* pszWhat = c.bFifo ? "a FIFO" : "a folder";
    EXPECT_EXIT(
        {
            alarm(10);
            _exit(Refuses(c.reader, path, pszWhat) ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(Readers, NamedAsUserFile,
                         ::testing::Values(NamedCase{"OpenerFifo", Reader::OPENER, true},
                                           NamedCase{"OpenerFolder", Reader::OPENER, false},
                                           NamedCase{"SoundFifo", Reader::SOUND, true},
                                           NamedCase{"SoundFolder", Reader::SOUND, false},
                                           NamedCase{"WaveListFifo", Reader::WAVE_LIST, true},
                                           NamedCase{"WaveListFolder", Reader::WAVE_LIST, false},
                                           NamedCase{"ClipFifo", Reader::CLIP, true},
                                           NamedCase{"ClipFolder", Reader::CLIP, false}),
                         [](const auto& info) { return info.param.pszName; });

// Another file renamed over the path, then a FIFO put in its place: reads go
// on through the descriptor that was checked and see the original bytes.
TEST(UserFile, ReadsTheCheckedFileWhateverThePathNamesAfterwards) {
    TempDir dir;
    const std::string path = dir.Write("named", {'o', 'r', 'i', 'g', 'i', 'n', 'a', 'l'});
    const std::string other = dir.Write("other", {'s', 'w', 'a', 'p', 'p', 'e', 'd'});
    std::string strWhy;
    UserFile file = OpenUserFile(path.c_str(), strWhy);
    ASSERT_TRUE(file) << strWhy;
    EXPECT_EQ(file.Size(), 8u);

    ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
    char head[4] = {};
    ASSERT_EQ(file.Read(head, sizeof head), 4);
    EXPECT_EQ(std::string(head, 4), "orig");

    ASSERT_EQ(unlink(path.c_str()), 0);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    char all[16] = {};
    ASSERT_EQ(file.ReadAt(0, all, sizeof all), 8);
    EXPECT_EQ(std::string(all, 8), "original");
    // ReadAt left the position alone.
    ASSERT_EQ(file.Read(head, sizeof head), 4);
    EXPECT_EQ(std::string(head, 4), "inal");
}

}  // namespace
