// Text read from raw files' tags: well-formed UTF-8 kept byte for byte, every malformed
// byte replaced once; the ASCII form of Latin text and the XMP packet's escaping.
#include <gtest/gtest.h>

#include <string>

#include "metadata/TextEncoding.h"
#include "metadata/XmpPacket.h"

namespace {

const std::string kFffd = "\xEF\xBF\xBD";

std::string Checked(const std::string &inBytes, bool &outReplaced) { return ekv::ValidUtf8(inBytes, outReplaced); }

TEST(TextEncoding, KeepsUtf8AndReplacesEachMalformedByte) {
    bool aReplaced = true;
    const std::string aGood = "Zo\xC3\xAB \xE2\x82\xAC \xF0\x9F\x93\xB7 \xEF\xBF\xBD";  // 2, 3, 4 bytes, U+FFFD itself
    EXPECT_EQ(Checked(aGood, aReplaced), aGood);
    EXPECT_FALSE(aReplaced);
    const struct {
        const char *bytes, *why;
        int replaced;
    } kBad[] = {{"K\xE9-7", "Latin-1 byte", 1},
                {"\xC3", "cut short at the end", 1},
                {"\xE2\x82", "three-byte cut short", 2},
                {"\xC0\xAF", "overlong slash", 2},
                {"\xE0\x80\xAF", "overlong, 3 bytes", 3},
                {"\xED\xA0\x80", "a surrogate", 3},
                {"\xEF\xBF\xBE", "U+FFFE", 3},
                {"\xF4\x90\x80\x80", "past U+10FFFF", 4},
                {"\x80", "a lone continuation", 1}};
    for (const auto &aCase : kBad) {
        std::string aOut = Checked(aCase.bytes, aReplaced);
        EXPECT_TRUE(aReplaced) << aCase.why;
        size_t aCount = 0;
        for (size_t aAt = aOut.find(kFffd); aAt != std::string::npos; aAt = aOut.find(kFffd, aAt + 1)) ++aCount;
        EXPECT_EQ(aCount, static_cast<size_t>(aCase.replaced)) << aCase.why;
        EXPECT_EQ(Checked(aOut, aReplaced), aOut) << aCase.why;  // the result is UTF-8
    }
}

TEST(TextEncoding, AsciiFormOfLatinText) {
    EXPECT_EQ(ekv::AsciiForm("Zo\xC3\xAB \xC3\x98rsted \xC2\xA9 2024"), "Zoe Orsted (c) 2024");
    EXPECT_EQ(ekv::AsciiForm("Stra\xC3\x9F"
                             "e \xC5\x92uvre \xC5\x81\xC3\xB3\xC5\xBA"),
              "Strasse OEuvre Loz");
    EXPECT_EQ(ekv::AsciiForm("e\xCC\x81t\xC3\xA9"), "ete");  // a combining accent dropped
    EXPECT_EQ(ekv::AsciiForm("\xE6\x97\xA5 \xE2\x82\xAC \xC3\xB7"), "? ? ?");
    EXPECT_TRUE(ekv::IsAscii(ekv::AsciiForm("\xFF\xC3")));
}

TEST(TextEncoding, XmpPacketOnlyForTextThatIsNotAscii) {
    ekv::CameraTags aTags;
    aTags.make = "Karvex";
    aTags.artist = "A & B <C>";
    EXPECT_EQ(ekv::BuildXmpPacket(aTags), "");
    aTags.model = "Zo\xC3\xAB";
    const std::string aPacket = ekv::BuildXmpPacket(aTags);
    EXPECT_NE(aPacket.find("<tiff:Model>Zo\xC3\xAB</tiff:Model>"), std::string::npos) << aPacket;
    EXPECT_NE(aPacket.find("<rdf:li>A &amp; B &lt;C&gt;</rdf:li>"), std::string::npos) << aPacket;
    EXPECT_EQ(aPacket.find("dc:rights"), std::string::npos) << aPacket;
}

}  // namespace
