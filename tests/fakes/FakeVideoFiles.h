#pragma once
// Video file service with scripted clips: each path maps to a file record and
// a list of streams. A video stream delivers frames whose every pixel byte is
// PixelByte(stream, frame, column, memory row, byte), so a test can tell which
// frame of which stream reached it. Streams can lack a decoder and frames can
// be withheld. Counts which objects are alive and which frames were asked for.

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/BitmapInfo.h"
#include "platform/VideoFile.h"

struct FakeVideoStream {
    uint32_t fccType = streamtypeVIDEO;
    uint32_t dwLength = 0;
    int nWidth = 0;
    int nHeight = 0;
    bool bDecoder = true;
    std::set<uint32_t> missingFrames;  // GetFrame returns null for these
};

struct FakeVideoClip {
    VideoFileInfo info;  // dwStreams is filled from streams when left 0
    std::vector<FakeVideoStream> streams;
};

class FakeVideoFiles final : public IVideoFiles {
public:
    FakeVideoFiles();
    ~FakeVideoFiles() override;

    void AddClip(const std::string& path, FakeVideoClip clip);
    std::unique_ptr<IVideoFile> Open(const char* path) override;

    static uint8_t PixelByte(uint32_t stream, uint32_t frame, int x, int row, int byte);

    struct State {
        std::map<std::string, FakeVideoClip> clips;
        int liveFiles = 0;
        int liveStreams = 0;
        int liveReaders = 0;
        std::vector<std::pair<uint32_t, uint32_t>> requests;  // (stream, frame)
    };
    const State& state() const { return *m_state; }
    int LiveObjects() const {
        return m_state->liveFiles + m_state->liveStreams + m_state->liveReaders;
    }
    void ClearRequests() { m_state->requests.clear(); }

private:
    std::shared_ptr<State> m_state;
};
