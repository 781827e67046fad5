// The in-process test host.
#include "TestHost.h"

#include <cstring>

#include "host/MediaLayer.h"

namespace testhost {

TestHost::TestHost(Options inOptions)
    : mPool(inOptions),
      mBufferProcs(hostkit::MakeBufferProcs(inOptions)),
      mHandleProcs(hostkit::MakeHandleProcs(inOptions)),
      mRecord(hostkit::NewRecordBlock({0, 0, &mPlatform, inOptions.offerBufferProcs ? &mBufferProcs : nullptr,
                                       inOptions.offerHandleProcs ? &mHandleProcs : nullptr})),
      mAbout(256, 0) {
    reinterpret_cast<AboutRecord *>(mAbout.data())->platformData = &mPlatform;
#if !defined(_WIN32)
    mResponder = std::make_unique<hostkit::SeamResponder>(answers, *this);
#endif
}

TestHost::~TestHost() = default;

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
    Globals aCopy;
    if (mPool.isHandle(aHandle)) {
        std::vector<uint8_t> aBytes = mPool.handleBytes(aHandle);
        std::memcpy(&aCopy, aBytes.data(), sizeof aCopy);
        return aCopy;
    }
    // A data word from the media layer's fallback handles.
    HLock(aHandle);
    std::memcpy(&aCopy, *aHandle, sizeof aCopy);
    HUnlock(aHandle);
    return aCopy;
}

}  // namespace testhost
