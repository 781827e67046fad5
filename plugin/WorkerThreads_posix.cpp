// Thread services over POSIX threads.
#include "WorkerThreads.h"

#include <sched.h>
#include <stdlib.h>
#include <unistd.h>

static void *DoRunThread(void *inThread) {
    RAW_Thread *aThread = static_cast<RAW_Thread *>(inThread);
    aThread->body(aThread->argument);
    return nullptr;
}

Boolean RAW_StartThread(RAW_Thread *outThread, RAW_ThreadBody inBody, void *inArgument) {
    outThread->body = inBody;
    outThread->argument = inArgument;
    return pthread_create(&outThread->thread, nullptr, DoRunThread, outThread) == 0;
}

void RAW_JoinThread(RAW_Thread *ioThread) { pthread_join(ioThread->thread, nullptr); }

void RAW_InitLock(RAW_Lock *outLock) { pthread_mutex_init(outLock, nullptr); }
void RAW_DisposeLock(RAW_Lock *ioLock) { pthread_mutex_destroy(ioLock); }
void RAW_TakeLock(RAW_Lock *ioLock) { pthread_mutex_lock(ioLock); }
void RAW_ReleaseLock(RAW_Lock *ioLock) { pthread_mutex_unlock(ioLock); }

void RAW_InitCondition(RAW_Condition *outCondition) { pthread_cond_init(outCondition, nullptr); }
void RAW_DisposeCondition(RAW_Condition *ioCondition) { pthread_cond_destroy(ioCondition); }
void RAW_WaitCondition(RAW_Condition *ioCondition, RAW_Lock *ioLock) { pthread_cond_wait(ioCondition, ioLock); }
void RAW_WakeAll(RAW_Condition *ioCondition) { pthread_cond_broadcast(ioCondition); }

int32 RAW_UsableProcessors(void) {
    cpu_set_t aSet;
    CPU_ZERO(&aSet);
    if (sched_getaffinity(0, sizeof aSet, &aSet) == 0) {
        int aCount = CPU_COUNT(&aSet);
        if (aCount > 0) return aCount;
    }
    long aOnline = sysconf(_SC_NPROCESSORS_ONLN);
    return aOnline > 0 ? static_cast<int32>(aOnline) : 1;
}

int32 RAW_HostThreadLimit(void) { return RAW_ParseThreadLimit(getenv("KARVEX_THREADS")); }
