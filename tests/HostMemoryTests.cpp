// The host memory wrappers: availability of the callback tables, the newer-version
// report, the handle fallbacks and the buffer functions of the raw-processing code.
#include <gtest/gtest.h>

#include "TestHost.h"
#include "host/MediaLayer.h"
#include "plugin/HostMemory.h"

using testhost::Options;
using testhost::TestHost;

namespace {

BufferProcs MakeBufferProcs(const TestHost &inHost, int16 inVersion, int16 inCount) {
    BufferProcs aProcs = *const_cast<TestHost &>(inHost).record()->bufferProcs;
    aProcs.bufferProcsVersion = inVersion;
    aProcs.numBufferProcs = inCount;
    return aProcs;
}

}  // namespace

TEST(BufferProcsAvailability, Version2WithFiveProceduresIsUsable) {
    TestHost aHost;
    BufferProcs aProcs = MakeBufferProcs(aHost, 2, 5);
    Boolean aNewer = false;
    EXPECT_TRUE(HostBufferProcsAvailable(&aProcs, &aNewer));
    EXPECT_FALSE(aNewer);
}

TEST(BufferProcsAvailability, Version3IsUnusableAndReportsANewerVersion) {
    TestHost aHost;
    BufferProcs aProcs = MakeBufferProcs(aHost, 3, 5);
    Boolean aNewer = false;
    EXPECT_FALSE(HostBufferProcsAvailable(&aProcs, &aNewer));
    EXPECT_TRUE(aNewer);
    EXPECT_FALSE(HostBufferProcsAvailable(&aProcs, nullptr));
}

TEST(BufferProcsAvailability, FourProceduresOrAMissingOneIsUnusableWithoutReport) {
    TestHost aHost;
    BufferProcs aShort = MakeBufferProcs(aHost, 2, 4);
    Boolean aNewer = false;
    EXPECT_FALSE(HostBufferProcsAvailable(&aShort, &aNewer));
    EXPECT_FALSE(aNewer);
    BufferProcs aMissing = MakeBufferProcs(aHost, 2, 5);
    aMissing.spaceProc = nullptr;
    EXPECT_FALSE(HostBufferProcsAvailable(&aMissing, &aNewer));
    EXPECT_FALSE(HostBufferProcsAvailable(nullptr, &aNewer));
    EXPECT_FALSE(aNewer);
}

TEST(BufferProcsAvailability, UnusableTableMakesAllocationFailWithNullId) {
    TestHost aHost;
    BufferProcs aProcs = MakeBufferProcs(aHost, 3, 5);
    BufferID aID = reinterpret_cast<BufferID>(0x1);
    EXPECT_EQ(HostAllocateBuffer(&aProcs, 100, &aID), -108);
    EXPECT_EQ(aID, nullptr);
    aID = reinterpret_cast<BufferID>(0x1);
    EXPECT_EQ(RAW_AllocateBuffer(&aProcs, 100, &aID), nullptr);
    EXPECT_EQ(aID, nullptr);
    EXPECT_EQ(aHost.allocations(), 0);
}

TEST(RawBuffers, AllocateLocksAndFreeReleases) {
    TestHost aHost;
    BufferProcs *aProcs = aHost.record()->bufferProcs;
    BufferID aID = nullptr;
    Ptr aAddress = RAW_AllocateBuffer(aProcs, 4096, &aID);
    ASSERT_NE(aAddress, nullptr);
    ASSERT_NE(aID, nullptr);
    aAddress[0] = 1;
    aAddress[4095] = 2;
    EXPECT_EQ(aHost.liveBuffers(), 1u);
    RAW_FreeBuffer(aProcs, aID);
    EXPECT_EQ(aHost.liveBuffers(), 0u);
    EXPECT_TRUE(aHost.misuse().empty());
}

TEST(RawBuffers, FreeOfANullIdDoesNothing) {
    TestHost aHost;
    RAW_FreeBuffer(aHost.record()->bufferProcs, nullptr);
    EXPECT_TRUE(aHost.misuse().empty());
}

TEST(RawBuffers, FailedHostAllocationGivesNullAndNullId) {
    Options aOptions;
    aOptions.failAllocationAt = 1;
    TestHost aHost(aOptions);
    BufferID aID = reinterpret_cast<BufferID>(0x1);
    EXPECT_EQ(RAW_AllocateBuffer(aHost.record()->bufferProcs, 64, &aID), nullptr);
    EXPECT_EQ(aID, nullptr);
    EXPECT_EQ(aHost.liveBuffers(), 0u);
}

TEST(RawBuffers, FailedLockLeavesTheIdForTheCallerToFree) {
    Options aOptions;
    aOptions.failBufferLocks = true;
    TestHost aHost(aOptions);
    BufferID aID = nullptr;
    EXPECT_EQ(RAW_AllocateBuffer(aHost.record()->bufferProcs, 64, &aID), nullptr);
    ASSERT_NE(aID, nullptr);
    EXPECT_EQ(aHost.liveBuffers(), 1u);
    RAW_FreeBuffer(aHost.record()->bufferProcs, aID);
    EXPECT_EQ(aHost.liveBuffers(), 0u);
    EXPECT_TRUE(aHost.misuse().empty());
}

TEST(HandleProcsAvailability, VersionAndCountRules) {
    TestHost aHost;
    HandleProcs aProcs = *aHost.record()->handleProcs;
    Boolean aNewer = false;
    EXPECT_TRUE(HostHandleProcsAvailable(&aProcs, &aNewer));
    aProcs.numHandleProcs = 6;
    EXPECT_FALSE(HostHandleProcsAvailable(&aProcs, &aNewer));
    EXPECT_FALSE(aNewer);
    aProcs.numHandleProcs = 8;
    aProcs.setSizeProc = nullptr;
    EXPECT_FALSE(HostHandleProcsAvailable(&aProcs, &aNewer));
    aProcs = *aHost.record()->handleProcs;
    aProcs.handleProcsVersion = 2;
    EXPECT_FALSE(HostHandleProcsAvailable(&aProcs, &aNewer));
    EXPECT_TRUE(aNewer);
}

TEST(HostHandles, UsableTableGoesToTheHost) {
    TestHost aHost;
    HandleProcs *aProcs = aHost.record()->handleProcs;
    Handle aHandle = RAW_NewHandle(aProcs, 300);
    ASSERT_NE(aHandle, nullptr);
    EXPECT_EQ(aHost.liveHandles(), 1u);
    EXPECT_EQ(HostGetHandleSize(aProcs, aHandle), 300);
    Ptr aAddress = RAW_LockHandle(aProcs, aHandle, false);
    ASSERT_NE(aAddress, nullptr);
    aAddress[299] = 42;
    RAW_UnlockHandle(aProcs, aHandle);
    Ptr aAgain = RAW_LockHandle(aProcs, aHandle, false);
    EXPECT_EQ(aAgain[299], 42);  // the contents survive the block's move
    RAW_UnlockHandle(aProcs, aHandle);
    RAW_DisposeHandle(aProcs, aHandle);
    EXPECT_EQ(aHost.liveHandles(), 0u);
    EXPECT_TRUE(aHost.misuse().empty());
}

TEST(HostHandles, ShortTableUsesThePlatformFallback) {
    Options aOptions;
    aOptions.numHandleProcs = 6;
    TestHost aHost(aOptions);
    HandleProcs *aProcs = aHost.record()->handleProcs;
    Handle aHandle = HostNewHandle(aProcs, 1000);
    ASSERT_NE(aHandle, nullptr);
    EXPECT_EQ(aHost.liveHandles(), 0u);  // not the host's
    EXPECT_EQ(HostGetHandleSize(aProcs, aHandle), 1000);
    Ptr aAddress = HostLockHandle(aProcs, aHandle, true);
    ASSERT_NE(aAddress, nullptr);
    aAddress[0] = 7;
    aAddress[999] = 9;
    HostUnlockHandle(aProcs, aHandle);
    aAddress = HostLockHandle(aProcs, aHandle, false);
    EXPECT_EQ(aAddress[0], 7);
    EXPECT_EQ(aAddress[999], 9);
    HostUnlockHandle(aProcs, aHandle);
    HostDisposeHandle(aProcs, aHandle);
    EXPECT_EQ(aHost.allocations(), 0);
}

// A table that passes the availability test without its lock or unlock procedure made
// its handles itself: the platform's lock must never be tried on them. The lock fails as
// a failed host lock does, and Globals cannot be had (out of memory, nothing kept).
TEST(HostHandles, ATableWithoutLockOrUnlockNeverLocksAHostHandle) {
    for (bool aMissingLock : {true, false}) {
        TestHost aHost;
        HandleProcs *aProcs = aHost.record()->handleProcs;
        Handle aHandle = RAW_NewHandle(aProcs, 32);
        ASSERT_NE(aHandle, nullptr);
        HandleProcs aBroken = *aProcs;
        if (aMissingLock)
            aBroken.lockProc = nullptr;
        else
            aBroken.unlockProc = nullptr;
        ASSERT_TRUE(HostHandleProcsAvailable(&aBroken, nullptr));
        EXPECT_EQ(HostLockHandle(&aBroken, aHandle, false), nullptr) << aMissingLock;
        EXPECT_EQ(RAW_LockHandle(&aBroken, aHandle, true), nullptr) << aMissingLock;
        HostUnlockHandle(&aBroken, aHandle);
        RAW_DisposeHandle(aProcs, aHandle);

        *aProcs = aBroken;
        EXPECT_EQ(aHost.call(acquireSelectorFinish), -108) << aMissingLock;
        EXPECT_EQ(aHost.dataWord(), 0);
        EXPECT_EQ(aHost.liveHandles(), 0u);
        EXPECT_TRUE(aHost.misuse().empty());
    }
}

TEST(HostHandles, NoTableAtAllUsesThePlatformFallback) {
    Handle aHandle = HostNewHandle(nullptr, 16);
    ASSERT_NE(aHandle, nullptr);
    EXPECT_EQ(HostGetHandleSize(nullptr, aHandle), 16);
    EXPECT_NE(HostLockHandle(nullptr, aHandle, false), nullptr);
    HostUnlockHandle(nullptr, aHandle);
    HostDisposeHandle(nullptr, aHandle);
}

TEST(HostHandles, FailedHostAllocationGivesNull) {
    Options aOptions;
    aOptions.failAllocationAt = 1;
    TestHost aHost(aOptions);
    EXPECT_EQ(RAW_NewHandle(aHost.record()->handleProcs, 8), nullptr);
    EXPECT_EQ(aHost.liveHandles(), 0u);
}

#if !defined(_WIN32)
TEST(DebugIfNil, BeepsOnlyForNull) {
    TestHost aHost;
    int aValue = 0;
    RAW_DebugIfNil(&aValue);
    EXPECT_EQ(aHost.beeps, 0);
    RAW_DebugIfNil(nullptr);
    EXPECT_EQ(aHost.beeps, 1);
}
#endif
