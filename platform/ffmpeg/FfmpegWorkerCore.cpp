#include "platform/ffmpeg/FfmpegWorkerCore.h"

#include <sched.h>

namespace ffmpeg {

int CurrentCore() { return sched_getcpu(); }

void LeaveCore(int core) {
    if (core < 0 || sched_getcpu() != core) return;
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return;
    if (core >= CPU_SETSIZE || !CPU_ISSET(core, &allowed) || CPU_COUNT(&allowed) < 2) return;
    cpu_set_t others = allowed;
    CPU_CLR(core, &others);
    // Narrowing the set moves the thread at once; widening it again keeps it
    // where it went until the scheduler has a reason to move it.
    if (sched_setaffinity(0, sizeof others, &others) != 0) return;
    (void)sched_setaffinity(0, sizeof allowed, &allowed);
}

}  // namespace ffmpeg
