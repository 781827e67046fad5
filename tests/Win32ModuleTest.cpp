// The Windows build's platform layer inside the test program: the module's resources
// reached through its instance, the media layer's start-up, and the global-memory
// handles that the host memory wrappers fall back to.
#if defined(_WIN32)
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <future>
#include <string>
#include <thread>

#include "host/MediaLayer.h"
#include "host/PreviewDecoder_win32.h"
#include "plugin/HostMemory.h"
#include "plugin/PlugInGlobals.h"
#include "resources/Strings.h"

namespace {

std::string LoadModuleString(UINT inID) {
    char buffer[512] = {0};
    int length = LoadStringA(hDLLInstance, inID, buffer, sizeof buffer);
    return std::string(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

TEST(Win32Module, ResourcesAreReachedThroughTheInstance) {
    EXPECT_EQ(LoadModuleString(IDS_ABOUT), STR_ABOUT);
    EXPECT_EQ(LoadModuleString(IDS_CAPTION), "Karvex RAW File");
    EXPECT_EQ(LoadModuleString(IDS_NO_QUICKTIME), STR_NO_QUICKTIME);
    EXPECT_EQ(LoadModuleString(IDS_NOT_EKV), "Not an EKV File.");
    EXPECT_EQ(LoadModuleString(IDS_DAMAGED_EKV), STR_DAMAGED_EKV);
    EXPECT_EQ(LoadModuleString(16005), "");

    HRSRC aPipl = FindResourceA(hDLLInstance, MAKEINTRESOURCEA(16000), "PIPL");
    ASSERT_NE(aPipl, nullptr);
    EXPECT_EQ(SizeofResource(hDLLInstance, aPipl), 114u);
    EXPECT_NE(FindResourceA(hDLLInstance, "UIPARAM", MAKEINTRESOURCEA(5) /* RT_DIALOG */), nullptr);
}

TEST(Win32Module, MediaLayerFoundAtLoad) { EXPECT_TRUE(bHasQuickTime); }

// GDI+ is loaded only between the decoder's start and stop (the conversion dialog's
// lifetime), never at load. Starts are counted: a second start (a nested import's dialog,
// or an import on another thread) shares the running decoder, its stop leaves it to the
// first, and only the last stop unloads it; a stop without a start does nothing.
TEST(Win32Module, PreviewDecoderStartsAreCounted) {
    EXPECT_EQ(GetModuleHandleW(L"gdiplus.dll"), nullptr);
    for (int aRound = 0; aRound < 2; ++aRound) {
        ASSERT_EQ(StartPreviewDecoder(), noErr);
        EXPECT_NE(GetModuleHandleW(L"gdiplus.dll"), nullptr);
        ASSERT_EQ(StartPreviewDecoder(), noErr);
        StopPreviewDecoder();
        EXPECT_NE(GetModuleHandleW(L"gdiplus.dll"), nullptr) << "the inner stop unloaded the outer start's decoder";
        EXPECT_TRUE(PreviewDecoderRunning());
        StopPreviewDecoder();
        EXPECT_EQ(GetModuleHandleW(L"gdiplus.dll"), nullptr);
        EXPECT_FALSE(PreviewDecoderRunning());
        StopPreviewDecoder();
        EXPECT_EQ(GetModuleHandleW(L"gdiplus.dll"), nullptr);
    }
}

// The decoder's entry points can be called: a graphics object on the screen.
void ExpectDecoderCallable() {
    ASSERT_TRUE(PreviewDecoderRunning());
    HDC aScreen = GetDC(nullptr);
    ASSERT_NE(aScreen, nullptr);
    Gdiplus::GpGraphics *aGraphics = nullptr;
    EXPECT_EQ(gGdipCreateFromHDC(aScreen, &aGraphics), Gdiplus::Ok);
    if (aGraphics != nullptr) {
        EXPECT_EQ(gGdipDeleteGraphics(aGraphics), Gdiplus::Ok);
    }
    ReleaseDC(nullptr, aScreen);
}

// Imports on two threads: whichever thread started GDI+ (and so holds its notification
// hook), the start that ends first leaves the decoder to the other one, and the last stop
// unloads it.
TEST(Win32Module, PreviewDecoderOutlivesAStartOnAnotherThread) {
    ASSERT_EQ(StartPreviewDecoder(), noErr);
    OSErr aOtherStart = -1;
    std::thread([&aOtherStart] {
        aOtherStart = StartPreviewDecoder();
        if (aOtherStart == noErr) StopPreviewDecoder();
    }).join();
    EXPECT_EQ(aOtherStart, noErr);
    ExpectDecoderCallable();
    StopPreviewDecoder();
    EXPECT_EQ(GetModuleHandleW(L"gdiplus.dll"), nullptr);

    // The other thread starts first and stops while this one still draws.
    std::promise<OSErr> aStarted;
    std::promise<void> aMayStop;
    std::thread aOther([&aStarted, &aMayStop] {
        OSErr aResult = StartPreviewDecoder();
        aStarted.set_value(aResult);
        aMayStop.get_future().wait();
        if (aResult == noErr) StopPreviewDecoder();
    });
    EXPECT_EQ(aStarted.get_future().get(), noErr);
    EXPECT_EQ(StartPreviewDecoder(), noErr);
    aMayStop.set_value();
    aOther.join();
    ExpectDecoderCallable();
    StopPreviewDecoder();
    EXPECT_EQ(GetModuleHandleW(L"gdiplus.dll"), nullptr);
}

TEST(Win32MediaLayerMemory, HandlesAreGlobalMemoryOfTheRequestedSize) {
    for (int32 aSize : {0, 1, 3, 13, 4096, 100001}) {
        Handle aHandle = NewHandle(aSize);
        ASSERT_NE(aHandle, nullptr) << aSize;
        EXPECT_EQ(GetHandleSize(aHandle), aSize);
        char *aAddress = static_cast<char *>(GlobalLock(reinterpret_cast<HGLOBAL>(aHandle)));
        ASSERT_NE(aAddress, nullptr);
        std::memset(aAddress, 0x5A, static_cast<size_t>(aSize));
        GlobalUnlock(reinterpret_cast<HGLOBAL>(aHandle));
        // Writing every byte the caller asked for leaves the recorded size intact.
        EXPECT_EQ(GetHandleSize(aHandle), aSize);
        DisposeHandle(aHandle);
    }
}

TEST(Win32MediaLayerMemory, RefusesNegativeSizesAndNullHandles) {
    EXPECT_EQ(NewHandle(-1), nullptr);
    EXPECT_EQ(NewHandle(0x7FFFFFFF), nullptr);
    EXPECT_EQ(GetHandleSize(nullptr), 0);
    HLock(nullptr);
    HUnlock(nullptr);
    DisposeHandle(nullptr);
}

TEST(Win32MediaLayerMemory, LockKeepsTheBlockInPlaceAndTheWrappersFallBack) {
    // No host handle callbacks: the wrappers use these handles and lock them with GlobalLock.
    Handle aHandle = HostNewHandle(nullptr, 64);
    ASSERT_NE(aHandle, nullptr);
    EXPECT_EQ(HostGetHandleSize(nullptr, aHandle), 64);
    Ptr aFirst = HostLockHandle(nullptr, aHandle, true);
    ASSERT_NE(aFirst, nullptr);
    std::strcpy(aFirst, "kept");
    HLock(aHandle);
    Ptr aSecond = HostLockHandle(nullptr, aHandle, true);
    EXPECT_EQ(aSecond, aFirst);
    EXPECT_STREQ(aSecond, "kept");
    HostUnlockHandle(nullptr, aHandle);
    HUnlock(aHandle);
    HostUnlockHandle(nullptr, aHandle);
    EXPECT_EQ(GlobalFlags(reinterpret_cast<HGLOBAL>(aHandle)) & GMEM_LOCKCOUNT, 0u);
    HostDisposeHandle(nullptr, aHandle);
}

}  // namespace
#endif
