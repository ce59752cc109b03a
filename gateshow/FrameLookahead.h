#pragma once
// A frame reader that has the frames an owner may jump to fetched before it
// jumps. It reads through one reader of the clip; a thread of its own gets
// each frame the owner named (Preload) ready in one of two ways:
// - a frame a seek lands on (JumpCost 1) is kept as a copy of its picture.
//   When it is asked for, the copy is given out, and a spare reader fetches
//   it and the frame after, so the frame after is there a period later
//   and the spare takes over;
// - any other frame is fetched into a standby reader of its own, which
//   takes over when the frame is asked for, the reader it replaces standing
//   by in its turn.
// Readers are opened as these need them, up to a given number. So a jump
// that was named in time costs the caller no seek, and a reader that reads
// on ahead of its caller does so from the new place at once. Frames come
// out exactly as the plain reader would give them; a frame not ready in
// time is fetched the plain way. GetFrame and Preload are called on one
// thread.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/VideoFile.h"

class CFrameLookahead final : public IFrameReader {
public:
    // Another reader of the same stream; null when none can be opened.
    using OpenReader = std::function<std::unique_ptr<IFrameReader>()>;

    // pReader: the reader in use; openReader: called on the lookahead's own
    // thread only, at most nStandby times; dwLength: the stream's length in
    // frames.
    CFrameLookahead(std::unique_ptr<IFrameReader> pReader, OpenReader openReader, size_t nStandby,
                    uint32_t dwLength);
    ~CFrameLookahead() override;

    CFrameLookahead(const CFrameLookahead&) = delete;
    CFrameLookahead& operator=(const CFrameLookahead&) = delete;

    const uint8_t* GetFrame(uint32_t frame) override;

    // The frames that may be asked for next, most urgent first; replaces the
    // previous list. Frames past the stream's end are left out, and so are
    // those beyond what the readers can hold: one frame a standby, one
    // reader kept spare while any copy is wanted.
    void Preload(const uint32_t* frames, size_t count);

    // The frame the caller asks for next, said while it has time to spare:
    // a copy or a standby's picture of it, made seconds before, is read
    // through so that the caller then draws it from the cache, as it draws a
    // frame just decoded. Calls no reader; a frame not held is left alone.
    void WarmUp(uint32_t frame);

private:
    static constexpr int64_t NONE = -1;

    struct Standby {
        std::unique_ptr<IFrameReader> pReader;  // null until first needed
        bool bUnusable = false;                 // it could not be opened
        int64_t nHold = NONE;                   // the wanted frame it should hold
        bool bFollowing = false;                // it is the spare that takes over after a copy
        int64_t nLoading = NONE;                // the frame the thread is fetching into it...
        bool bLongFetch = false;                // ...to hold it
        int64_t nTried = NONE;                  // the frame last fetched to hold...
        bool bReady = false;                    // ...and whether that succeeded
        const uint8_t* pHeld = nullptr;         // what it gave, while bReady
    };
    struct Copy {
        int64_t nFrame = NONE;  // the wanted frame it is for
        std::vector<uint8_t> bits;
        bool bReady = false;
        bool bFilling = false;  // its bits belong to the thread
        bool bFailed = false;
    };
    enum class Work { Hold, Follow, Copy };
    struct Job {
        Work work;
        size_t nStandby;
        size_t nCopy;
        int64_t nFrame;
    };

    bool NextJob(Job& job, bool bClaim);
    int FreeStandby() const;
    void Run();
    const uint8_t* Fetch(const Job& job, IFrameReader& reader);

    std::unique_ptr<IFrameReader> m_pReader;  // the caller's thread only, as are:
    std::vector<uint8_t> m_served;            // a copy given out...
    int64_t m_nServed = NONE;                 // ...and its frame
    OpenReader m_openReader;                  // the thread's only
    uint32_t m_dwLength;

    // A standby's reader, and a copy's bits, belong to the thread while it
    // fetches into them, and to the caller otherwise; everything else in
    // them is read and written under the lock. Both vectors keep their size.
    std::mutex m_mutex;
    std::condition_variable m_wake;  // a job or the stop for the thread
    std::condition_variable m_done;  // a fetch finished
    std::vector<Standby> m_standby;
    std::vector<Copy> m_copies;
    std::vector<int64_t> m_wanted;  // the last list as kept, most urgent first
    std::vector<bool> m_quick;      // per wanted frame: kept as a copy
    int64_t m_nFollow = NONE;       // the frame after the copy given out last
    int64_t m_nLastAsked = NONE;    // by the caller
    bool m_bStop = false;
    std::thread m_worker;
};
