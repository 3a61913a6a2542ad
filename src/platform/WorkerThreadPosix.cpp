#include "platform/WorkerThread.h"

#include <pthread.h>
#include <sched.h>

TimedWorkerScope::TimedWorkerScope(const char* name)
{
    pthread_setname_np(pthread_self(), name);
}

TimedWorkerScope::~TimedWorkerScope() = default;

void raiseToRealtimePriority()
{
    sched_param param{};
    param.sched_priority = 60;
    (void)pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}
