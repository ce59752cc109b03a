#pragma once

// Where a thread that works ahead runs. A woken thread is usually placed on
// the core of the thread that woke it; on some machines (virtual ones among
// them) it stays there even while another core idles, and the two then take
// turns where they could have run side by side: the caller's frame tick
// waits behind the decoding it has just asked for.
namespace ffmpeg {

// The core the calling thread runs on, or -1 when the system cannot say.
int CurrentCore();

// Moves the calling thread to another of its allowed cores when it runs on
// `core`, leaving it free to go anywhere afterwards. No pinning remains.
void LeaveCore(int core);

}  // namespace ffmpeg
