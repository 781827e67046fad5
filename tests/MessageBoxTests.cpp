// The message boxes read their texts from the module's string table when shown.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <string>

#include "TestHost.h"
#include "resources/Strings.h"
#include "ui/MessageBoxes.h"
#include "ui/UserSeam.h"

using testhost::TestHost;

TEST(MessageBoxes, AboutShowsFourLinesWithTheSecondEmpty) {
    TestHost aHost;
    PlatformData aPlatform{7};
    ShowAbout(&aPlatform, hDLLInstance);
    ASSERT_EQ(aHost.messages.size(), 1u);
    const std::string &aText = aHost.messages[0].first;
    EXPECT_EQ(aHost.messages[0].second, "Karvex RAW File");
    size_t aFirst = aText.find('\n');
    ASSERT_NE(aFirst, std::string::npos);
    EXPECT_GT(aFirst, 0u);
    EXPECT_EQ(aText[aFirst + 1], '\n');  // the second line is empty
    size_t aThird = aText.find('\n', aFirst + 2);
    ASSERT_NE(aThird, std::string::npos);
    EXPECT_EQ(aText.find('\n', aThird + 1), std::string::npos);             // four lines in all
    EXPECT_NE(aText.substr(aThird + 1).find("Karvex"), std::string::npos);  // the maker
}

TEST(MessageBoxes, QuickTimeTextEndsWithALineFeed) {
    TestHost aHost;
    ShowQuickTimeError(nullptr, hDLLInstance);
    ASSERT_EQ(aHost.messages.size(), 1u);
    EXPECT_EQ(aHost.messages[0].first,
              "Karvex RAW File requires QuickTime Windows 4 or later. Please install QuickTime for Windows. \n");
    EXPECT_EQ(aHost.messages[0].second, "Karvex RAW File");
}

TEST(MessageBoxes, RefusalTexts) {
    TestHost aHost;
    ShowNotEKV(0, hDLLInstance);
    ShowDamagedEKV(0, hDLLInstance);
    ASSERT_EQ(aHost.messages.size(), 2u);
    EXPECT_EQ(aHost.messages[0].first, "Not an EKV File.");
    EXPECT_EQ(aHost.messages[1].first, "This EKV file is damaged or not supported.");
}

TEST(StringTable, LoadsAreBoundedAndUnknownIdsEmpty) {
    char aBuffer[8];
    EXPECT_EQ(UI_LoadString(IDS_CAPTION, aBuffer, sizeof aBuffer), 7);
    EXPECT_STREQ(aBuffer, "Karvex ");
    EXPECT_EQ(UI_LoadString(12345, aBuffer, sizeof aBuffer), 0);
    EXPECT_STREQ(aBuffer, "");
}
#endif
