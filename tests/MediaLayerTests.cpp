// The media layer's file services: an FSSpec names its file for every later
// open, paths that cannot be represented fail cleanly, reads report what arrived.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "EkvTestBytes.h"
#include "host/MediaLayer.h"

using ekvtest::TempPath;

TEST(MediaLayerFiles, SpecNamesTheFileForEveryOpen) {
    std::string aPath = TempPath("karvex_media_layer_test.bin");
    {
        std::ofstream aOut(aPath, std::ios::binary);
        aOut << "0123456789";
    }
    FSSpec aSpec;
    ASSERT_EQ(NativePathNameToFSSpec(aPath.c_str(), &aSpec, 0), noErr);
    EXPECT_EQ(aSpec.name[0], aPath.size() - aPath.rfind('/') - 1);
    for (int aRound = 0; aRound < 2; ++aRound) {
        int16 aRef = 0;
        ASSERT_EQ(FSpOpenDF(&aSpec, fsRdPerm, &aRef), noErr);
        ASSERT_EQ(SetFPos(aRef, fsFromStart, 4), noErr);
        char aBuffer[16] = {0};
        int32 aCount = 16;
        EXPECT_EQ(FSRead(aRef, &aCount, aBuffer), eofErr);
        EXPECT_EQ(aCount, 6);
        EXPECT_EQ(std::string(aBuffer, 6), "456789");
        EXPECT_EQ(FSClose(aRef), noErr);
    }
    char aBack[4096];
    ASSERT_TRUE(FSSpecToNativePath(&aSpec, aBack, sizeof aBack));
    EXPECT_EQ(std::string(aBack), aPath);
    std::remove(aPath.c_str());
}

TEST(MediaLayerFiles, UnrepresentablePathsFailAndOpenNothing) {
    FSSpec aSpec;
    std::string aLong = TempPath(std::string(300, 'x'));
    EXPECT_EQ(NativePathNameToFSSpec(aLong.c_str(), &aSpec, 0), bdNamErr);
    EXPECT_EQ(aSpec.name[0], 0);
    int16 aRef = 99;
    EXPECT_NE(FSpOpenDF(&aSpec, fsRdPerm, &aRef), noErr);
    EXPECT_EQ(aRef, 0);
    EXPECT_EQ(NativePathNameToFSSpec("/tmp/", &aSpec, 0), bdNamErr);
    EXPECT_EQ(NativePathNameToFSSpec(nullptr, &aSpec, 0), bdNamErr);
}

TEST(MediaLayerFiles, MissingFileAndBadReferencesFail) {
    FSSpec aSpec;
    ASSERT_EQ(NativePathNameToFSSpec(TempPath("karvex_no_such_file.ekv").c_str(), &aSpec, 0), noErr);
    int16 aRef = 5;
    EXPECT_EQ(FSpOpenDF(&aSpec, fsRdPerm, &aRef), fnfErr);
    int32 aCount = 4;
    char aBuffer[4];
    EXPECT_EQ(FSRead(0, &aCount, aBuffer), rfNumErr);
    EXPECT_EQ(aCount, 0);
    EXPECT_EQ(FSClose(123), rfNumErr);
}

TEST(MediaLayerMemory, HandlesKeepTheirContents) {
    Handle aHandle = NewHandle(64);
    ASSERT_NE(aHandle, nullptr);
    EXPECT_EQ(GetHandleSize(aHandle), 64);
    HLock(aHandle);
    BlockMove("abc", *aHandle, 3);
    EXPECT_EQ(std::string(*aHandle, 3), "abc");
    HUnlock(aHandle);
    DisposeHandle(aHandle);
}

TEST(MediaLayerRects, SetAndOffset) {
    Rect aRect;
    MacSetRect(&aRect, 10, 50, 330, 290);
    MacOffsetRect(&aRect, 3, 8);
    EXPECT_EQ(aRect.left, 13);
    EXPECT_EQ(aRect.top, 58);
    EXPECT_EQ(aRect.right, 333);
    EXPECT_EQ(aRect.bottom, 298);
}
