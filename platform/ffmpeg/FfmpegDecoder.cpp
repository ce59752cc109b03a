#include "platform/ffmpeg/FfmpegDecoder.h"

#include <algorithm>

namespace {

// Reading on costs a decode per frame; beyond this many frames with no
// keyframe index to consult, a seek is cheaper.
constexpr int64_t kForwardLimit = 300;
constexpr int kSeekAttempts = 10;
// A decoder holds back a few pictures at most for reordering, so a
// keyframe's picture is out before this many later chunks are in.
constexpr int64_t kMaxReorder = 16;
// Beyond this a timestamp is noise; keeps the arithmetic on stamps in range.
constexpr int64_t kSaneStamp = int64_t{1} << 52;
// An AVI index entry points at its chunk's header, a packet at its data.
constexpr int64_t kChunkHeader = 8;

bool Sane(int64_t stamp) {
    return stamp != AV_NOPTS_VALUE && stamp > -kSaneStamp && stamp < kSaneStamp;
}

}  // namespace

std::unique_ptr<FfmpegDecoder> FfmpegDecoder::Open(const FfmpegStreamDesc& desc) {
    std::unique_ptr<FfmpegDecoder> decoder(new FfmpegDecoder(desc));
    if (!decoder->OpenInputAndDecoder()) return nullptr;
    // A decoder that holds pictures back for B-frames says so from the headers;
    // one that turns out to reorder all the same is caught in NextNumbered.
    decoder->m_bReorders = decoder->m_codec->has_b_frames > 0;
    const AVCodecDescriptor* codec = avcodec_descriptor_get(decoder->m_codec->codec_id);
    const int entries = avformat_index_get_entries_count(decoder->m_pStream);
    bool bAllKeys = entries > 0;
    for (int i = 0; bAllKeys && i < entries; ++i) {
        const AVIndexEntry* entry = avformat_index_get_entry(decoder->m_pStream, i);
        bAllKeys = entry && (entry->size == 0 || (entry->flags & AVINDEX_KEYFRAME));
    }
    decoder->m_bIntraOnly = codec && (codec->props & AV_CODEC_PROP_INTRA_ONLY) && bAllKeys;
    decoder->StartRun(0, 0);
    return decoder;
}

FfmpegDecoder::FfmpegDecoder(const FfmpegStreamDesc& desc)
    : m_desc(desc),
      m_frameDuration{static_cast<int>(desc.dwScale), static_cast<int>(desc.dwRate)},
      m_packet(av_packet_alloc()),
      m_frame(av_frame_alloc()),
      m_before(av_frame_alloc()) {}

// (Re)opens the clip from its start with a fresh decoder.
bool FfmpegDecoder::OpenInputAndDecoder() {
    m_codec.reset();
    m_pStream = nullptr;
    m_input = ffmpeg::OpenInput(m_desc.source);
    if (!m_input || !m_packet || !m_frame || !m_before ||
        m_desc.nIndex >= static_cast<int>(m_input->nb_streams))
        return false;
    m_pStream = m_input->streams[m_desc.nIndex];
    if (m_pStream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) return false;
    // Only this stream's packets are wanted.
    for (unsigned i = 0; i < m_input->nb_streams; ++i)
        if (static_cast<int>(i) != m_desc.nIndex) m_input->streams[i]->discard = AVDISCARD_ALL;

    const AVCodec* decoder = avcodec_find_decoder(m_pStream->codecpar->codec_id);
    if (!decoder) return false;
    ffmpeg::CodecPtr codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), m_pStream->codecpar) < 0) return false;
    codec->thread_count = 1;
    if (m_desc.bDecoderThreads && (decoder->capabilities & AV_CODEC_CAP_FRAME_THREADS)) {
        codec->thread_count = 2;
        codec->thread_type = FF_THREAD_FRAME;
    }
    // The stream may change size: a picture past the limits is refused, not allocated.
    ffmpeg::LimitPictureSize(codec.get());
    // Packets are stamped with their chunk's index.
    codec->pkt_timebase = m_frameDuration;
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0) return false;
    m_codec = std::move(codec);
    m_bInputBroken = false;
    StartRun(0, 0);
    return true;
}

bool FfmpegDecoder::Reopen() {
    if (OpenInputAndDecoder()) return true;
    m_codec.reset();
    return false;
}

// A run that starts reading at chunk `land` and, with reordering, counts
// from the keyframe at chunk `anchor`.
void FfmpegDecoder::StartRun(int64_t land, int64_t anchor) {
    av_frame_unref(m_frame.get());
    av_frame_unref(m_before.get());
    m_nBeforeNumber = -1;
    m_bPending = false;
    m_nPosition = -1;
    m_nRunFirst = m_bReorders ? anchor : land;
    m_nLastChunk = land - 1;
    m_nLastOut = -1;
    m_bDraining = false;
    m_bDrained = false;
    m_bBroken = false;
    m_bRestartRun = false;
    m_nAnchor = anchor;
    m_bAnchored = false;
    m_bReanchor = false;
    m_bSawBefore = false;
    m_lead.clear();
    m_ready.clear();
    m_nNext = anchor;
    m_nFrontier = anchor - 1;
    m_gaps.clear();
}

int64_t FfmpegDecoder::ChunkAt(int64_t stamp) const {
    return av_rescale_q(stamp - m_desc.nStartTime, m_desc.timeBase, m_frameDuration);
}

int64_t FfmpegDecoder::StreamTime(int64_t chunk) const {
    return m_desc.nStartTime + av_rescale_q(chunk, m_frameDuration, m_desc.timeBase);
}

// The keyframe at or before the chunk; -1 when the index has none.
int64_t FfmpegDecoder::KeyAtOrBefore(int64_t chunk) const {
    if (chunk < 0) return -1;
    const AVIndexEntry* key =
        avformat_index_get_entry_from_timestamp(m_pStream, StreamTime(chunk), AVSEEK_FLAG_BACKWARD);
    return key && Sane(key->timestamp) ? std::max<int64_t>(ChunkAt(key->timestamp), 0) : -1;
}

std::vector<int64_t> FfmpegDecoder::KeyChunks() const {
    std::vector<int64_t> keys;
    const int entries = avformat_index_get_entries_count(m_pStream);
    for (int i = 0; i < entries; ++i) {
        const AVIndexEntry* entry = avformat_index_get_entry(m_pStream, i);
        if (!entry || !(entry->flags & AVINDEX_KEYFRAME) || !Sane(entry->timestamp)) continue;
        const int64_t chunk = std::max<int64_t>(ChunkAt(entry->timestamp), 0);
        if (keys.empty() || chunk > keys.back()) keys.push_back(chunk);
    }
    return keys;
}

// The first keyframe after the chunk; -1 when the index has none.
int64_t FfmpegDecoder::KeyAfter(int64_t chunk) const {
    const AVIndexEntry* key = avformat_index_get_entry_from_timestamp(
        m_pStream, StreamTime(std::max<int64_t>(chunk + 1, 0)), 0);
    if (!key || !Sane(key->timestamp)) return -1;
    const int64_t after = ChunkAt(key->timestamp);
    return after > chunk ? after : -1;
}

// The packet's chunk index: the demuxer's count, unless the index entry at
// the packet's place says otherwise (the demuxer passed over damage).
int64_t FfmpegDecoder::ChunkIndex(const AVPacket* packet) const {
    const int64_t stamp = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    const int64_t counted = Sane(stamp) ? ChunkAt(stamp) : m_nLastChunk + 1;
    const int entries = avformat_index_get_entries_count(m_pStream);
    if (packet->pos < kChunkHeader || entries <= 0) return counted;
    const int64_t header = packet->pos - kChunkHeader;
    if (Sane(stamp)) {
        const AVIndexEntry* entry = avformat_index_get_entry_from_timestamp(
            m_pStream, stamp, AVSEEK_FLAG_ANY | AVSEEK_FLAG_BACKWARD);
        if (entry && entry->timestamp == stamp && entry->pos == header) return counted;
    }
    // The index runs in file order: look the place up.
    int low = 0, high = entries - 1;
    while (low <= high) {
        const int middle = low + (high - low) / 2;
        const AVIndexEntry* entry = avformat_index_get_entry(m_pStream, middle);
        if (!entry) break;
        if (entry->pos == header)
            return Sane(entry->timestamp) ? ChunkAt(entry->timestamp) : counted;
        if (entry->pos < header)
            low = middle + 1;
        else
            high = middle - 1;
    }
    return counted;
}

// Hands one packet of the stream to the decoder, stamped with its chunk's index.
void FfmpegDecoder::Send(AVPacket* packet) {
    const int64_t chunk = ChunkIndex(packet);
    const auto gap = [this](int64_t from, int64_t to) {
        if (!m_bReorders || to <= from) return;
        if (!m_gaps.empty() && m_gaps.back().second == from)
            m_gaps.back().second = to;
        else
            m_gaps.emplace_back(from, to);
    };
    gap(m_nLastChunk + 1, chunk);  // chunks the demuxer passed over
    m_nLastChunk = std::max(m_nLastChunk, chunk);

    if (m_bReorders && !m_bAnchored) {
        if (m_bReanchor) {
            if ((packet->flags & AV_PKT_FLAG_KEY) && packet->size > 0) {
                m_bReanchor = false;
                m_nAnchor = chunk;
                m_nNext = chunk;
                m_nFrontier = chunk - 1;
            }
        } else if (chunk > m_nAnchor + kMaxReorder) {
            LoseAnchor();  // its picture never came: the chunk was damaged or missing
        }
    }
    // An empty chunk stands for a dropped frame; handed to the decoder it
    // would read as the end of the stream.
    if (packet->size <= 0) return gap(chunk, chunk + 1);
    packet->pts = chunk;
    packet->dts = chunk;
    // A chunk the decoder refuses gives no picture; it recovers at the next good one.
    const int sent = avcodec_send_packet(m_codec.get(), packet);
    if (sent < 0 && sent != AVERROR(EAGAIN)) gap(chunk, chunk + 1);
}

// Next picture out of the decoder into m_frame; false once the run has
// nothing more (m_bBroken tells a read error from the end).
bool FfmpegDecoder::DecodeNext() {
    if (m_bDrained || !m_codec) return false;
    for (;;) {
        const int received = avcodec_receive_frame(m_codec.get(), m_frame.get());
        if (received == 0) return true;
        // A draining decoder ends with anything but a picture.
        if (m_bDraining || received == AVERROR_EOF) {
            m_bDrained = true;
            return false;
        }
        const int read = av_read_frame(m_input.get(), m_packet.get());
        if (read < 0) {
            if (read != AVERROR_EOF) {
                m_bBroken = true;
                m_bInputBroken = true;
                m_nBadChunk = m_nLastChunk + 1;
            }
            // Let the decoder give up the pictures it holds.
            m_bDraining = true;
            avcodec_send_packet(m_codec.get(), nullptr);
            continue;
        }
        if (m_packet->stream_index == m_desc.nIndex) Send(m_packet.get());
        av_packet_unref(m_packet.get());
    }
}

// With reordering: the number of a picture from chunk `chunk` once counting
// runs. Chunks with no picture between the highest counted and this one
// take the numbers before it.
void FfmpegDecoder::Count(int64_t chunk, int64_t& number) {
    if (chunk != AV_NOPTS_VALUE && chunk > m_nFrontier) {
        while (!m_gaps.empty()) {
            Gap& gap = m_gaps.front();
            const int64_t from = std::max(gap.first, m_nFrontier + 1);
            const int64_t to = std::min(gap.second, chunk);
            if (from >= chunk) break;
            if (to > from) m_nNext += to - from;
            if (gap.second > chunk) {
                gap.first = chunk;
                break;
            }
            m_gaps.pop_front();
        }
        m_nFrontier = chunk;
    }
    number = m_nNext++;
}

// With reordering, before counting runs: holds the picture in m_frame while
// the anchor's is awaited; once that is out, numbers it and those held
// before it into m_ready. Pictures before the anchor are dropped.
void FfmpegDecoder::TakeAnchored() {
    const int64_t chunk = Sane(m_frame->pts) ? m_frame->pts : AV_NOPTS_VALUE;
    if (chunk == AV_NOPTS_VALUE) return;
    if (m_bReanchor || chunk < m_nAnchor) {
        m_bSawBefore = true;
        return;
    }
    ffmpeg::FramePtr picture(av_frame_alloc());
    if (!picture) return;
    av_frame_move_ref(picture.get(), m_frame.get());
    m_lead.push_back(std::move(picture));
    if (chunk > m_nAnchor) {
        // More than a decoder holds back: the anchor's picture is lost.
        if (static_cast<int64_t>(m_lead.size()) > kMaxReorder) LoseAnchor();
        return;
    }
    // With nothing out before it, the decoder had no picture to decode the
    // leading ones from and may have dropped them: they cannot be counted.
    // (At the stream's start there are none.)
    if (m_nAnchor > 0 && !m_bSawBefore) return LoseAnchor();
    m_bAnchored = true;
    for (ffmpeg::FramePtr& held : m_lead) {
        int64_t number;
        Count(Sane(held->pts) ? held->pts : AV_NOPTS_VALUE, number);
        m_ready.push_back({std::move(held), number});
    }
    m_lead.clear();
}

// Counting waits for the next keyframe; whatever is out by then lies before it.
void FfmpegDecoder::LoseAnchor() {
    m_bSawBefore = !m_lead.empty();
    m_lead.clear();
    m_bReanchor = true;
}

// The next numbered picture into m_frame; false once the run has no more,
// or has to start afresh because the stream turned out to reorder.
bool FfmpegDecoder::NextNumbered(int64_t& number) {
    for (;;) {
        if (!m_ready.empty()) {
            av_frame_unref(m_frame.get());
            av_frame_move_ref(m_frame.get(), m_ready.front().pFrame.get());
            number = m_ready.front().nNumber;
            m_ready.pop_front();
            return true;
        }
        if (!DecodeNext()) return false;
        const int64_t chunk = Sane(m_frame->pts) ? m_frame->pts : AV_NOPTS_VALUE;
        if (m_bReorders) {
            if (!m_bAnchored) {
                TakeAnchored();
                continue;
            }
            Count(chunk, number);
            return true;
        }
        if (chunk != AV_NOPTS_VALUE && chunk < m_nLastOut) {
            m_bReorders = true;
            m_bRestartRun = true;
            return false;
        }
        number = chunk != AV_NOPTS_VALUE ? chunk : m_nLastOut + 1;
        m_nLastOut = number;
        return true;
    }
}

// Decodes on until the picture shown as `frame` is in m_before.
// A cancelled fetch stops between pictures, leaving the state as a plain
// decode on would.
FfmpegDecoder::Reached FfmpegDecoder::DecodeTo(int64_t frame) {
    for (;;) {
        int64_t number;
        if (m_bPending) {
            m_bPending = false;
            number = m_nPendingNumber;
        } else {
            if (Cancelled()) return Reached::Cancelled;
            if (!NextNumbered(number)) {
                if (m_bRestartRun) return Reached::Overshot;
                if (m_bBroken) return Reached::Broken;
                // Only a run that was numbering can tell the frame does not exist.
                m_bHitEnd = !m_bReorders || m_bAnchored;
                return Reached::End;
            }
        }
        m_nPosition = std::max(m_nPosition, number);
        if (number < frame) {
            av_frame_unref(m_before.get());
            av_frame_move_ref(m_before.get(), m_frame.get());
            m_nBeforeNumber = number;
            continue;
        }
        if (number == frame) {
            if (Cancelled()) {
                m_bPending = true;
                m_nPendingNumber = number;
                return Reached::Cancelled;
            }
            // Kept as the picture shown before any later number the stream skips.
            av_frame_unref(m_before.get());
            av_frame_move_ref(m_before.get(), m_frame.get());
            m_nBeforeNumber = number;
            return Reached::Exact;
        }
        // Past the frame: a skipped number shows the picture before it; with
        // nothing before it in this run, the run began too late.
        if (m_nBeforeNumber < 0) return Reached::Overshot;
        m_bPending = true;
        m_nPendingNumber = number;
        if (Cancelled()) return Reached::Cancelled;
        return Reached::Exact;
    }
}

bool FfmpegDecoder::SeekPays(int64_t frame) const {
    if (m_bDrained || m_bInputBroken) return true;
    // Decoding on reaches the frame only if no number up to it has gone by.
    // A number between the picture before and the one waiting was skipped
    // and shows the picture before.
    bool ahead;
    if (m_bPending)
        ahead = m_nBeforeNumber >= 0 ? frame > m_nBeforeNumber : frame >= m_nPendingNumber;
    else
        ahead = m_nPosition >= 0 ? frame > m_nPosition : frame >= m_nRunFirst;
    if (!ahead) return true;
    int64_t land = KeyAtOrBefore(frame);
    if (land >= 0) {
        // A seek lands there (on the keyframe before, with reordering): it
        // saves decoding only beyond the next packet.
        if (m_bReorders) land = KeyAtOrBefore(land - 1);
        return land > m_nLastChunk + 1;
    }
    const int64_t at = m_bPending ? m_nPendingNumber : std::max(m_nPosition, m_nRunFirst);
    return frame - at > kForwardLimit;
}

// Puts the input at the keyframe of chunk `land` (0: the start).
bool FfmpegDecoder::Position(int64_t land) {
    if (m_bInputBroken && !Reopen()) return false;
    if (av_seek_frame(m_input.get(), m_desc.nIndex, StreamTime(land), AVSEEK_FLAG_BACKWARD) >= 0) {
        avcodec_flush_buffers(m_codec.get());
        return true;
    }
    // No keyframe to seek to at the start: a fresh input is there.
    return land == 0 && Reopen();
}

// Seeks for the frame and decodes to it. Past damage (`floor` >= 0, the
// chunk a read failed at) nothing before the first keyframe behind it is
// read.
FfmpegDecoder::Reached FfmpegDecoder::SeekTo(int64_t frame, int64_t floor) {
    // After a read error libavformat's state, index included, is spoilt.
    if (m_bInputBroken && !Reopen()) return Reached::End;
    // The keyframe to count from; -1: none to go by, so the start.
    int64_t from = KeyAtOrBefore(frame);
    if (floor >= 0 && from <= floor) from = KeyAfter(floor);
    for (int attempt = 0; attempt < kSeekAttempts; ++attempt) {
        if (floor >= 0 && (from < 0 || from > frame)) return Reached::End;
        int64_t land = std::max<int64_t>(from, 0), anchor = land;
        if (m_bReorders && from > 0) {
            // The group before lets the decoder put out the keyframe's leading pictures.
            const int64_t before = KeyAtOrBefore(from - 1);
            if (floor < 0) {
                land = std::max<int64_t>(before, 0);
            } else if (before > floor) {
                land = before;
            } else {
                // Behind damage nothing before `from` decodes: count from the next keyframe.
                anchor = KeyAfter(from);
                if (anchor < 0 || anchor > frame) return Reached::End;
            }
        }
        if (!Position(land)) {
            if (!Usable() || floor >= 0 || land == 0) return Reached::End;
            from = -1;
            continue;
        }
        StartRun(land, anchor);
        const Reached reached = DecodeTo(frame);
        if (reached != Reached::Overshot) return reached;
        if (m_bRestartRun) continue;  // numbered afresh, with reordering
        if (from <= 0) return Reached::End;
        // Land before the keyframe that came too late.
        from = KeyAtOrBefore(from - 1);
        if (floor >= 0 && from <= floor) return Reached::End;
    }
    return Reached::End;
}

FfmpegDecoder::Reached FfmpegDecoder::Fetch(int64_t frame, const std::atomic<bool>& cancel) {
    m_pCancel = &cancel;
    m_bHitEnd = false;
    Reached reached;
    if (!SeekPays(frame)) {
        reached = DecodeTo(frame);
        if (reached == Reached::Overshot) reached = SeekTo(frame, -1);
    } else {
        reached = SeekTo(frame, -1);
    }
    // Damage: from the first keyframe behind it, and behind any further damage met.
    int64_t floor = -1;
    for (int attempt = 0; reached == Reached::Broken && attempt < kSeekAttempts; ++attempt) {
        floor = std::max(floor, m_nBadChunk);
        reached = SeekTo(frame, floor);
    }
    if (reached == Reached::Broken) return Reached::End;
    // Decoding from at or before the frame to the end never met it: nothing from it on exists.
    if (reached == Reached::End && m_bHitEnd) m_nFirstMissing = std::min(m_nFirstMissing, frame);
    return reached;
}
