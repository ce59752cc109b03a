#pragma once
// Stands in front of the video file service and counts hand-overs: the times
// a frame asked for on this object's thread comes from another of the clip's
// frame readers than the frame before it did. Reads on other threads (a
// reader fetching ahead) are passed through uncounted. It also counts the
// most frame readers (each a demuxer and decoder) open at once.

#include <memory>

#include "platform/VideoFile.h"

class HandOverCount final : public IVideoFiles {
public:
    explicit HandOverCount(IVideoFiles& inner);

    std::unique_ptr<IVideoFile> Open(const char* path) override;
    int HandOvers() const;
    int MostReadersOpen() const;

    struct State;  // shared with the clips it opened

private:
    IVideoFiles& m_inner;
    std::shared_ptr<State> m_state;
};
