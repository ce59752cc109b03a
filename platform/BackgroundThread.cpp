#include "platform/BackgroundThread.h"

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

void RunAsBackgroundWork() {
#if defined(__linux__)
    // A batch thread is never chosen to preempt a running one on wake-up;
    // its share of the processor, its niceness included, is unchanged.
    const sched_param param{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &param);
#endif
}
