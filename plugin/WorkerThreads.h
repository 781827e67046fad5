// The few thread services the band workers need, over POSIX threads natively and over
// Windows threads in the Windows module: a thread, a lock and a condition, and the
// number of processors the process may run on.
#ifndef KARVEX_PLUGIN_WORKERTHREADS_H
#define KARVEX_PLUGIN_WORKERTHREADS_H

#include "../host/AcquireInterface.h"

#if defined(_WIN32)
#include <windows.h>
typedef struct RAW_Thread {
    HANDLE handle;
    void (*body)(void *inArgument);
    void *argument;
} RAW_Thread;
typedef SRWLOCK RAW_Lock;
typedef CONDITION_VARIABLE RAW_Condition;
#else
#include <pthread.h>
typedef struct RAW_Thread {
    pthread_t thread;
    void (*body)(void *inArgument);
    void *argument;
} RAW_Thread;
typedef pthread_mutex_t RAW_Lock;
typedef pthread_cond_t RAW_Condition;
#endif

typedef void (*RAW_ThreadBody)(void *inArgument);

// Starts a thread running inBody(inArgument); false when the system gives none. The
// record must stay in place until the thread is joined.
Boolean RAW_StartThread(RAW_Thread *outThread, RAW_ThreadBody inBody, void *inArgument);
// Waits for a started thread to end and releases it.
void RAW_JoinThread(RAW_Thread *ioThread);

void RAW_InitLock(RAW_Lock *outLock);
void RAW_DisposeLock(RAW_Lock *ioLock);
void RAW_TakeLock(RAW_Lock *ioLock);
void RAW_ReleaseLock(RAW_Lock *ioLock);

void RAW_InitCondition(RAW_Condition *outCondition);
void RAW_DisposeCondition(RAW_Condition *ioCondition);
// Releases inLock while waiting and takes it again before returning.
void RAW_WaitCondition(RAW_Condition *ioCondition, RAW_Lock *ioLock);
void RAW_WakeAll(RAW_Condition *ioCondition);

// The processors this process may run on (at least 1).
int32 RAW_UsableProcessors(void);
// The host's limit on the module's threads: the environment variable KARVEX_THREADS when
// it holds a number from 1 to 9999, else 0 (no limit).
int32 RAW_HostThreadLimit(void);
// The value of such a setting: 1 to 9999 as written in decimal, else 0.
int32 RAW_ParseThreadLimit(const char *inText);

#endif
