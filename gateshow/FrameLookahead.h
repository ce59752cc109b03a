#pragma once
// A frame reader that has the frames an owner may jump to fetched before it
// jumps. It reads through one reader of the clip; a thread of its own puts
// each of a few standby readers of the same clip at one of the frames the
// owner named (Preload). When such a frame is asked for, the standby reader
// that holds it takes over and the reader it replaces stands by in its turn.
// So a jump that was named in time costs the caller no seek, and a reader
// that reads on ahead of its caller does so from the new place at once.
// Frames come out exactly as the plain reader would give them; a frame not
// ready in time is fetched the plain way. GetFrame and Preload are called on
// one thread.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/VideoFile.h"

class CFrameLookahead final : public IFrameReader {
public:
    // pReader: the reader in use; standby: more readers on the same stream;
    // dwLength: the stream's length in frames.
    CFrameLookahead(std::unique_ptr<IFrameReader> pReader,
                    std::vector<std::unique_ptr<IFrameReader>> standby, uint32_t dwLength);
    ~CFrameLookahead() override;

    CFrameLookahead(const CFrameLookahead&) = delete;
    CFrameLookahead& operator=(const CFrameLookahead&) = delete;

    const uint8_t* GetFrame(uint32_t frame) override;

    // The frames that may be asked for next, most urgent first; replaces the
    // previous list. Frames past the stream's end, and beyond one per standby
    // reader, are left out.
    void Preload(const uint32_t* frames, size_t count);

private:
    static constexpr int64_t NONE = -1;

    struct Standby {
        std::unique_ptr<IFrameReader> pReader;
        int64_t nWanted = NONE;   // the frame it should hold
        int64_t nLoading = NONE;  // the frame the thread is fetching into it
        int64_t nTried = NONE;    // the frame last fetched into it...
        bool bReady = false;      // ...and whether that succeeded
    };

    Standby* NextJob();
    void Run();

    std::unique_ptr<IFrameReader> m_pReader;  // the caller's thread only
    uint32_t m_dwLength;

    // A standby's reader belongs to the thread while nLoading is set, and to
    // the caller otherwise; everything in it is read and written under the lock.
    std::mutex m_mutex;
    std::condition_variable m_wake;  // a job or the stop for the thread
    std::condition_variable m_done;  // a fetch finished
    std::vector<Standby> m_standby;
    std::vector<int64_t> m_wanted;  // the last list, most urgent first
    bool m_bStop = false;
    std::thread m_worker;
};
