// Thread services over Windows threads (slim reader/writer locks and condition
// variables, Windows Vista and later).
#include "WorkerThreads.h"

static DWORD WINAPI DoRunThread(LPVOID inThread) {
    RAW_Thread *aThread = static_cast<RAW_Thread *>(inThread);
    aThread->body(aThread->argument);
    return 0;
}

Boolean RAW_StartThread(RAW_Thread *outThread, RAW_ThreadBody inBody, void *inArgument) {
    outThread->body = inBody;
    outThread->argument = inArgument;
    outThread->handle = CreateThread(nullptr, 0, DoRunThread, outThread, 0, nullptr);
    return outThread->handle != nullptr;
}

void RAW_JoinThread(RAW_Thread *ioThread) {
    WaitForSingleObject(ioThread->handle, INFINITE);
    CloseHandle(ioThread->handle);
    ioThread->handle = nullptr;
}

void RAW_InitLock(RAW_Lock *outLock) { InitializeSRWLock(outLock); }
void RAW_DisposeLock(RAW_Lock *) {}
void RAW_TakeLock(RAW_Lock *ioLock) { AcquireSRWLockExclusive(ioLock); }
void RAW_ReleaseLock(RAW_Lock *ioLock) { ReleaseSRWLockExclusive(ioLock); }

void RAW_InitCondition(RAW_Condition *outCondition) { InitializeConditionVariable(outCondition); }
void RAW_DisposeCondition(RAW_Condition *) {}
void RAW_WaitCondition(RAW_Condition *ioCondition, RAW_Lock *ioLock) {
    SleepConditionVariableSRW(ioCondition, ioLock, INFINITE, 0);
}
void RAW_WakeAll(RAW_Condition *ioCondition) { WakeAllConditionVariable(ioCondition); }

int32 RAW_UsableProcessors(void) {
    DWORD_PTR aProcess = 0, aSystem = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &aProcess, &aSystem) && aProcess != 0) {
        int32 aCount = 0;
        for (; aProcess != 0; aProcess &= aProcess - 1) ++aCount;
        return aCount;
    }
    SYSTEM_INFO aInfo;
    GetSystemInfo(&aInfo);
    return aInfo.dwNumberOfProcessors > 0 ? static_cast<int32>(aInfo.dwNumberOfProcessors) : 1;
}

// Read from the process environment rather than the C library's copy, so that a host
// that sets it after loading the module is heard.
int32 RAW_HostThreadLimit(void) {
    char aValue[16];
    DWORD aLength = GetEnvironmentVariableA("KARVEX_THREADS", aValue, sizeof aValue);
    if (aLength == 0 || aLength >= sizeof aValue) return 0;
    return RAW_ParseThreadLimit(aValue);
}
