#pragma once
// Decodes one AVI video stream synchronously, numbering its pictures and
// seeking to any frame; no threads. Owns its own demuxer (the clip opened
// again) and decoder, so decoders never disturb each other.
//
// Numbering. An AVI holds one video chunk per frame in decode order (a
// dropped frame is an empty chunk), so a chunk's place in the stream is its
// index in decode order, and each packet carries that index to the picture
// decoded from it. Frame n is the n-th picture the decoder puts out, in
// display order, after a clean start:
// - without reordering (no B-frames) the pictures come out in chunk order,
//   and a picture's number is its chunk's index;
// - with reordering they are counted. At a keyframe K every picture decoded
//   before it is shown before every picture decoded from it on, so the
//   pictures decoded from K on are frames K, K + 1, ... in the order they
//   come out. Leading pictures (decoded after K, shown before it) need the
//   group before K, and a decoder started at K drops them: a jump starts at
//   the keyframe before the one it counts from, and counting starts when K's
//   own picture is out, the leading pictures before it included.
// A number with no picture of its own (a dropped chunk, or one the damage
// took) shows the picture before it. The demuxer counts chunks itself, and
// reading on through damage it may skip some and count on: a packet's index
// is the file's index entry at its position when there is one.
//
// Seeking. Reading n then n + 1 decodes on. A jump seeks to the keyframe at
// or before n (or the one before that, with reordering) and decodes forward,
// a keyframe further back whenever that lands past n. The index gives
// keyframes by decode index, so only a keyframe beyond the next packet is
// worth a seek.
//
// Damage. A read error that is not the end of the file ends a run but marks
// nothing for good: the clip is opened afresh (libavformat keeps the error)
// and a frame behind the damage is reached from the first keyframe past it.

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "platform/ffmpeg/FfmpegPtr.h"
#include "platform/ffmpeg/FfmpegStreamDesc.h"

class FfmpegDecoder {
public:
    // Broken: reading stopped at damage. Overshot: the run began past the frame.
    enum class Reached { Exact, Overshot, End, Broken, Cancelled };

    // Null when the stream cannot be opened or no decoder exists for it.
    static std::unique_ptr<FfmpegDecoder> Open(const FfmpegStreamDesc& desc);

    // Decodes on or seeks, whichever costs less, until the picture shown as
    // `frame` is at hand: Exact, then Picture() holds it. `cancel` is looked
    // at between pictures; a cancelled fetch leaves the state as decoding on
    // would, and the same fetch later goes on from there.
    Reached Fetch(int64_t frame, const std::atomic<bool>& cancel);
    // The picture of the last Exact fetch, until the next fetch.
    const AVFrame* Picture() const { return m_before.get(); }

    // Every picture stands alone and the index marks each chunk a keyframe:
    // any frame is reached by a seek and one decode.
    bool IntraOnly() const { return m_bIntraOnly && !m_bReorders; }

    // The chunks the index marks keyframes, in order.
    std::vector<int64_t> KeyChunks() const;
    // Pictures are held back for B-frames, as far as the headers tell.
    bool Reorders() const { return m_bReorders; }

    // False once a reopening has failed: nothing more can be decoded.
    bool Usable() const { return m_codec != nullptr; }
    // True when decoding from before `frame` met the end of the file without
    // it: the file holds fewer pictures than its header says.
    bool Missing(int64_t frame) const { return frame >= m_nFirstMissing; }

private:
    // A run of chunks [from, to) that gave no picture.
    using Gap = std::pair<int64_t, int64_t>;
    struct Numbered {
        ffmpeg::FramePtr pFrame;
        int64_t nNumber;
    };

    explicit FfmpegDecoder(const FfmpegStreamDesc& desc);

    bool OpenInputAndDecoder();
    bool Reopen();
    Reached SeekTo(int64_t frame, int64_t floor);
    bool Position(int64_t land);
    bool SeekPays(int64_t frame) const;
    void StartRun(int64_t land, int64_t anchor);
    Reached DecodeTo(int64_t frame);
    bool NextNumbered(int64_t& number);
    bool DecodeNext();
    void Send(AVPacket* packet);
    void Count(int64_t chunk, int64_t& number);
    void TakeAnchored();
    void LoseAnchor();

    int64_t ChunkIndex(const AVPacket* packet) const;
    int64_t ChunkAt(int64_t stamp) const;
    int64_t StreamTime(int64_t chunk) const;
    int64_t KeyAtOrBefore(int64_t chunk) const;
    int64_t KeyAfter(int64_t chunk) const;
    bool Cancelled() const { return m_pCancel->load(std::memory_order_relaxed); }

    FfmpegStreamDesc m_desc;
    AVRational m_frameDuration{1, 1};  // one chunk, in seconds
    bool m_bReorders = false;          // pictures are counted, not taken by chunk index
    bool m_bIntraOnly = false;

    ffmpeg::InputPtr m_input;
    AVStream* m_pStream = nullptr;
    ffmpeg::CodecPtr m_codec;
    ffmpeg::PacketPtr m_packet;
    bool m_bInputBroken = false;  // a read failed: the input must be opened afresh

    // The run: decoding since the last start, seek or reopening.
    ffmpeg::FramePtr m_frame;   // the last picture out of the decoder
    ffmpeg::FramePtr m_before;  // the last picture before the one asked for
    int64_t m_nBeforeNumber = -1;
    bool m_bPending = false;  // m_frame is numbered but not yet looked at
    int64_t m_nPendingNumber = -1;
    int64_t m_nPosition = -1;   // number of the last picture looked at
    int64_t m_nRunFirst = 0;    // no number in this run is below it
    int64_t m_nLastChunk = -1;  // index of the last chunk read
    int64_t m_nLastOut = -1;    // chunk of the last picture out (without reordering)
    bool m_bDraining = false;
    bool m_bDrained = false;
    bool m_bBroken = false;      // the run ended at a read error
    int64_t m_nBadChunk = -1;    // the chunk the read error stopped at
    bool m_bRestartRun = false;  // reordering showed up: number afresh

    // Counting, with reordering: from the anchor's keyframe once its picture is out.
    int64_t m_nAnchor = 0;
    bool m_bAnchored = false;
    bool m_bReanchor = false;   // the anchor was lost: the next keyframe sent replaces it
    bool m_bSawBefore = false;  // a picture before the anchor is out: its leading pictures decode
    std::deque<ffmpeg::FramePtr> m_lead;  // out before the anchor's picture
    std::deque<Numbered> m_ready;         // numbered, not yet taken
    int64_t m_nNext = 0;                  // the next number to give
    int64_t m_nFrontier = -1;             // highest chunk of a picture counted
    std::deque<Gap> m_gaps;               // chunks past the frontier with no picture

    bool m_bHitEnd = false;                        // the last decode ran out of pictures
    int64_t m_nFirstMissing = INT64_MAX;           // no picture from this number on
    const std::atomic<bool>* m_pCancel = nullptr;  // the running fetch's
};
