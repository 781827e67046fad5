// The in-process test host.
#include "TestHost.h"

#include <cstring>

#include "host/MediaLayer.h"

#if !defined(_WIN32)
#include "ui/UserSeam.h"
#endif

namespace testhost {

TestHost *TestHost::sCurrent = nullptr;

namespace {

Handle KARVEX_CDECL NewHandleProc(int32 inSize) { return TestHost::current()->newHandle(inSize); }
void KARVEX_CDECL DisposeHandleProc(Handle h) { TestHost::current()->disposeHandle(h); }
int32 KARVEX_CDECL GetSizeProc(Handle h) { return TestHost::current()->handleSize(h); }
OSErr KARVEX_CDECL SetSizeProc(Handle h, int32 inSize) { return TestHost::current()->setHandleSize(h, inSize); }
Ptr KARVEX_CDECL LockHandleProc(Handle h, Boolean) { return TestHost::current()->lockHandle(h); }
void KARVEX_CDECL UnlockHandleProc(Handle h) { TestHost::current()->unlockHandle(h); }
void KARVEX_CDECL RecoverSpaceProc(int32) {}
void KARVEX_CDECL DisposeRegularHandleProc(Handle h) { TestHost::current()->disposeHandle(h); }

OSErr KARVEX_CDECL AllocateBufferProc(int32 inSize, BufferID *outID) {
    return TestHost::current()->allocateBuffer(inSize, outID);
}
Ptr KARVEX_CDECL LockBufferProc(BufferID inID, Boolean) { return TestHost::current()->lockBuffer(inID); }
void KARVEX_CDECL UnlockBufferProc(BufferID inID) { TestHost::current()->unlockBuffer(inID); }
void KARVEX_CDECL FreeBufferProc(BufferID inID) { TestHost::current()->freeBuffer(inID); }
int32 KARVEX_CDECL SpaceProc() { return 64 * 1024 * 1024; }

#if !defined(_WIN32)
Boolean ChooseFile(void *inContext, char *outPath, int32 inSize) {
    auto *aHost = static_cast<TestHost *>(inContext);
    if (!aHost->answers.file || aHost->answers.file->size() + 1 > static_cast<size_t>(inSize)) return false;
    std::memcpy(outPath, aHost->answers.file->c_str(), aHost->answers.file->size() + 1);
    return true;
}
void ShowMessage(void *inContext, const char *inText, const char *inCaption) {
    static_cast<TestHost *>(inContext)->messages.emplace_back(inText, inCaption);
}
void RunDialog(void *inContext, const uint8_t *inThumbnail, int32 inSize, UI_DialogAnswer *outAnswer) {
    auto *aHost = static_cast<TestHost *>(inContext);
    if (inThumbnail != nullptr && inSize > 0) ++aHost->thumbnailsOffered;
    outAnswer->method = aHost->answers.method;
    outAnswer->wb_point = aHost->answers.wbPoint;
    outAnswer->convert = aHost->answers.convert;
}
void Beep(void *inContext) { ++static_cast<TestHost *>(inContext)->beeps; }
#endif

}  // namespace

TestHost::TestHost(Options inOptions) : mOptions(inOptions), mRecord(2048, 0), mAbout(256, 0) {
    mPrevious = sCurrent;
    sCurrent = this;
    mBufferProcs = BufferProcs{mOptions.bufferProcsVersion, mOptions.numBufferProcs, AllocateBufferProc,
                               LockBufferProc, UnlockBufferProc, FreeBufferProc, SpaceProc};
    mHandleProcs = HandleProcs{mOptions.handleProcsVersion, mOptions.numHandleProcs, NewHandleProc,
                               DisposeHandleProc, GetSizeProc, SetSizeProc, LockHandleProc,
                               UnlockHandleProc, RecoverSpaceProc, DisposeRegularHandleProc};
    AcquireRecord *aRecord = record();
    aRecord->platformData = &mPlatform;
    aRecord->bufferProcs = mOptions.offerBufferProcs ? &mBufferProcs : nullptr;
    aRecord->handleProcs = mOptions.offerHandleProcs ? &mHandleProcs : nullptr;
    reinterpret_cast<AboutRecord *>(mAbout.data())->platformData = &mPlatform;
#if !defined(_WIN32)
    UI_Responder aResponder{this, ChooseFile, ShowMessage, RunDialog, Beep};
    UI_SetResponder(&aResponder);
#endif
}

TestHost::~TestHost() {
    for (auto &aEntry : mHandles) {
        delete aEntry.second.bytes;
        delete reinterpret_cast<char **>(aEntry.first);
    }
    for (auto &aEntry : mBuffers) delete aEntry.second;
    sCurrent = mPrevious;
#if !defined(_WIN32)
    UI_SetResponder(nullptr);
#endif
}

int16 TestHost::call(int16 inSelector) {
    mResult = 0x7777;
    ENTRYPOINT(inSelector, record(), &mData, &mResult);
    return mResult;
}

int16 TestHost::callAbout() {
    mResult = 0x7777;
    ENTRYPOINT(acquireSelectorAbout, reinterpret_cast<AcquireRecord *>(mAbout.data()), &mData, &mResult);
    return mResult;
}

std::optional<Globals> TestHost::globals() {
    if (mData == 0) return std::nullopt;
    Handle aHandle = reinterpret_cast<Handle>(mData);
    auto aFound = mHandles.find(aHandle);
    if (aFound != mHandles.end()) {
        Globals aCopy;
        std::memcpy(&aCopy, aFound->second.bytes->data(), sizeof aCopy);
        return aCopy;
    }
    // A data word from the media layer's fallback handles.
    Globals aCopy;
    HLock(aHandle);
    std::memcpy(&aCopy, *aHandle, sizeof aCopy);
    HUnlock(aHandle);
    return aCopy;
}

bool TestHost::allocationFails() {
    ++mAllocations;
    return mOptions.failAllocationAt != 0 && mAllocations == mOptions.failAllocationAt;
}

Handle TestHost::newHandle(int32 inSize) {
    if (inSize < 0) {
        mErrors.push_back("newProc with a negative size");
        return nullptr;
    }
    if (allocationFails()) return nullptr;
    auto *aBytes = new std::vector<char>(static_cast<size_t>(inSize), static_cast<char>(0xCD));
    Handle aHandle = reinterpret_cast<Handle>(new char *(aBytes->data()));
    mHandles[aHandle] = HandleBlock{aBytes, 0};
    return aHandle;
}

void TestHost::disposeHandle(Handle h) {
    auto aFound = mHandles.find(h);
    if (aFound == mHandles.end()) {
        mErrors.push_back("disposeProc of an unknown or already disposed handle");
        return;
    }
    delete aFound->second.bytes;
    delete reinterpret_cast<char **>(h);
    mHandles.erase(aFound);
}

int32 TestHost::handleSize(Handle h) {
    auto aFound = mHandles.find(h);
    if (aFound == mHandles.end()) {
        mErrors.push_back("getSizeProc of an unknown handle");
        return 0;
    }
    return static_cast<int32>(aFound->second.bytes->size());
}

OSErr TestHost::setHandleSize(Handle h, int32 inSize) {
    auto aFound = mHandles.find(h);
    if (aFound == mHandles.end() || inSize < 0) return -109;
    aFound->second.bytes->resize(static_cast<size_t>(inSize));
    *reinterpret_cast<char **>(h) = aFound->second.bytes->data();
    return 0;
}

Ptr TestHost::lockHandle(Handle h) {
    auto aFound = mHandles.find(h);
    if (aFound == mHandles.end()) {
        mErrors.push_back("lockProc of an unknown handle");
        return nullptr;
    }
    ++aFound->second.locks;
    return aFound->second.bytes->data();
}

void TestHost::unlockHandle(Handle h) {
    auto aFound = mHandles.find(h);
    if (aFound == mHandles.end()) {
        mErrors.push_back("unlockProc of an unknown handle");
        return;
    }
    if (aFound->second.locks == 0) {
        mErrors.push_back("unlockProc of a handle that is not locked");
        return;
    }
    if (--aFound->second.locks == 0) {
        // An unlocked block may move: move it, so that a stale address is caught.
        auto *aMoved = new std::vector<char>(*aFound->second.bytes);
        if (!aFound->second.bytes->empty())
            std::memset(aFound->second.bytes->data(), 0xDD, aFound->second.bytes->size());
        delete aFound->second.bytes;
        aFound->second.bytes = aMoved;
        *reinterpret_cast<char **>(h) = aMoved->data();
    }
}

OSErr TestHost::allocateBuffer(int32 inSize, BufferID *outID) {
    *outID = nullptr;
    if (inSize < 0) {
        mErrors.push_back("allocateProc with a negative size");
        return -108;
    }
    if (allocationFails()) return -108;
    auto *aBlock = new BufferBlock{std::vector<char>(static_cast<size_t>(inSize), static_cast<char>(0xCD)), 0};
    *outID = reinterpret_cast<BufferID>(aBlock);
    mBuffers[*outID] = aBlock;
    return 0;
}

Ptr TestHost::lockBuffer(BufferID inID) {
    auto aFound = mBuffers.find(inID);
    if (aFound == mBuffers.end()) {
        mErrors.push_back("lockProc of an unknown buffer");
        return nullptr;
    }
    if (mOptions.failBufferLocks) return nullptr;
    ++aFound->second->locks;
    return aFound->second->bytes.data();
}

void TestHost::unlockBuffer(BufferID inID) {
    auto aFound = mBuffers.find(inID);
    if (aFound == mBuffers.end()) {
        mErrors.push_back("unlockProc of an unknown buffer");
        return;
    }
    if (aFound->second->locks > 0) --aFound->second->locks;
}

void TestHost::freeBuffer(BufferID inID) {
    auto aFound = mBuffers.find(inID);
    if (aFound == mBuffers.end()) {
        mErrors.push_back("freeProc of an unknown or already freed buffer");
        return;
    }
    delete aFound->second;
    mBuffers.erase(aFound);
}

}  // namespace testhost
