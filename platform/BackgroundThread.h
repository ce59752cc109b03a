#pragma once
// Threads that fetch ahead of a show share two cores with the thread that
// draws it. Marked as background work, a thread still gets its fair share of
// the processor, but when it wakes it no longer takes a core from the
// drawing thread in the middle of a tick: it waits for the next slice.

// Marks the calling thread; where the system has no such class of thread,
// nothing changes.
void RunAsBackgroundWork();
