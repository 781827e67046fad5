// The file changes under an import: shortened or deleted after Prepare or between bands.
// Every band reads the file as it is when that band is converted; what is no longer there
// reads as zeros, and the run ends as usual. Through the descriptor path that ekv hands
// the module, every band reads the file that was opened, and the change is reported.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "ImportSupport.h"
#include "import/OpenedInput.h"

using robust::BaseFile;
using robust::ImportOptions;
using robust::Outcome;
using robust::Result;

namespace {

const int32_t kBandRows = 26;  // rows a band of the 28-wide camera delivers

Outcome ImportChanging(const std::vector<uint8_t> &inFile, const std::string &inWhat, const ImportOptions &inOptions,
                       int inAfter, const std::function<void(const std::string &)> &inChange) {
    runtest::TempFile f("changing.ekv", inFile);
    testhost::TestHost host;
    return robust::ImportWith(host, f.path(), inWhat, inOptions, inAfter, [&] { inChange(f.path()); });
}

std::vector<uint8_t> ZeroedFrom(std::vector<uint8_t> inBytes, size_t inFrom) {
    std::fill(inBytes.begin() + static_cast<std::ptrdiff_t>(inFrom), inBytes.end(), 0);
    return inBytes;
}

// Rows [inFrom, inTo) of every plane.
std::vector<uint16_t> Rows(const Outcome &inOutcome, int inPlane, int32_t inFrom, int32_t inTo) {
    if (inOutcome.doc.planes.size() != 3) return {};
    const auto &aPlane = inOutcome.doc.planes[static_cast<size_t>(inPlane)];
    const size_t w = static_cast<size_t>(inOutcome.doc.width);
    return std::vector<uint16_t>(aPlane.begin() + static_cast<std::ptrdiff_t>(inFrom * w),
                                 aPlane.begin() + static_cast<std::ptrdiff_t>(inTo * w));
}

}  // namespace

TEST(ChangingFile, ShortenedOrDeletedAfterPrepareReadsZeros) {
    for (int aBits : {10, 8}) {
        BaseFile base;
        base.validBits = aBits;
        ekvwriter::WriteResult w = robust::WriteBase(base);
        ImportOptions o;
        o.method = 2;
        o.point = Point{120, 160};
        const size_t aData = w.layout.dataStart;
        Outcome aNoData = robust::Import(ZeroedFrom(w.bytes, aData), "no sensor data", o);
        ASSERT_EQ(aNoData.result, Result::Imported);
        for (size_t aLength : {aData, size_t(5), size_t(0)}) {
            std::string aWhat = std::to_string(aBits) + " bits, shortened to " + std::to_string(aLength);
            Outcome r = ImportChanging(w.bytes, aWhat, o, 0,
                                       [&](const std::string &p) { std::filesystem::resize_file(p, aLength); });
            robust::ExpectSameImport(r, aNoData, aWhat);
        }
        Outcome r = ImportChanging(w.bytes, "deleted", o, 0, [](const std::string &p) { std::filesystem::remove(p); });
        robust::ExpectSameImport(r, aNoData, "deleted after Prepare");
    }
}

TEST(ChangingFile, ShortenedOrDeletedBetweenBands) {
    BaseFile base;
    ekvwriter::WriteResult w = robust::WriteBase(base);
    ImportOptions o;
    o.method = 1;
    Outcome aWhole = robust::Import(w.bytes, "whole", o);
    ASSERT_EQ(aWhole.result, Result::Imported);
    ASSERT_EQ(aWhole.doc.continues, 7);  // two bands
    const size_t aRow = static_cast<size_t>(base.width) * 2;
    const size_t aData = w.layout.dataStart;
    for (size_t aLength : {aData + 40 * aRow, aData + 40 * aRow + 3, aData + 27 * aRow, aData, size_t(0)}) {
        std::string aWhat = "shortened to " + std::to_string(aLength) + " after the first band";
        Outcome r = ImportChanging(w.bytes, aWhat, o, 3,
                                   [&](const std::string &p) { std::filesystem::resize_file(p, aLength); });
        // The header was read before the change: the zero fill spares it.
        Outcome aCut = robust::Import(ZeroedFrom(w.bytes, std::max(aLength, aData)), aWhat + " (zero-filled)", o);
        EXPECT_EQ(r.result, Result::Imported) << aWhat;
        EXPECT_EQ(r.doc.continues, 7) << aWhat;
        for (int p = 0; p < 3; ++p) {
            EXPECT_EQ(Rows(r, p, 0, kBandRows), Rows(aWhole, p, 0, kBandRows)) << aWhat;
            EXPECT_EQ(Rows(r, p, kBandRows, 2 * kBandRows), Rows(aCut, p, kBandRows, 2 * kBandRows)) << aWhat;
        }
        if (aLength < aData + 40 * aRow) {
            EXPECT_NE(Rows(r, 0, kBandRows, 2 * kBandRows), Rows(aWhole, 0, kBandRows, 2 * kBandRows)) << aWhat;
        }
    }
    for (int aAfter : {1, 3, 4, 6}) {
        std::string aWhat = "deleted after " + std::to_string(aAfter) + " Continue calls";
        Outcome r = ImportChanging(w.bytes, aWhat, o, aAfter, [](const std::string &p) { std::filesystem::remove(p); });
        Outcome aNoData = robust::Import(ZeroedFrom(w.bytes, aData), "no sensor data", o);
        EXPECT_EQ(r.result, Result::Imported) << aWhat;
        // A band is converted on its first Continue call: those converted before the
        // change come from the file as it was, the others from no file at all.
        const int32_t aSplit = (aAfter + 2) / 3 * kBandRows;
        for (int p = 0; p < 3; ++p) {
            EXPECT_EQ(Rows(r, p, 0, aSplit), Rows(aWhole, p, 0, aSplit)) << aWhat;
            EXPECT_EQ(Rows(r, p, aSplit, 2 * kBandRows), Rows(aNoData, p, aSplit, 2 * kBandRows)) << aWhat;
        }
    }
}

TEST(ChangingFile, ThroughTheOpenedDescriptorEveryBandReadsTheFileOpenedAndTheChangeIsReported) {
    BaseFile base;
    ekvwriter::WriteResult w = robust::WriteBase(base);
    BaseFile aOtherBase;
    aOtherBase.black = 40;
    const std::vector<uint8_t> aOther = robust::WriteBase(aOtherBase).bytes;
    ASSERT_EQ(aOther.size(), w.bytes.size());
    ImportOptions o;
    o.method = 1;
    Outcome aWhole = robust::Import(w.bytes, "whole", o);
    ASSERT_EQ(aWhole.result, Result::Imported);
    struct Change {
        const char *what;
        bool sameImport;  // whether the name's change leaves the opened file as it was
        std::function<void(const std::string &)> apply;
    };
    auto aWriteOther = [&](const std::string &p) {
        runtest::TempFile aNew("changing-other.ekv", aOther);
        std::filesystem::rename(aNew.path(), p);
    };
    for (const Change &c :
         {Change{"deleted", true, [](const std::string &p) { std::filesystem::remove(p); }},
          Change{"replaced", true, aWriteOther}, Change{"shortened", false, [&](const std::string &p) {
                                                            std::filesystem::resize_file(p, w.layout.dataStart);
                                                        }}}) {
        runtest::TempFile f("changing.ekv", w.bytes);
        ekv::OpenedInput aInput;
        std::string aReason;
        ASSERT_TRUE(aInput.open(f.path(), aReason)) << aReason;
        EXPECT_EQ(aInput.changed(), "") << c.what;
        testhost::TestHost host;
        Outcome r = robust::ImportWith(host, aInput.path(), c.what, o, 3, [&] { c.apply(f.path()); });
        if (c.sameImport) robust::ExpectSameImport(r, aWhole, c.what);
        EXPECT_NE(aInput.changed().find("the file changed while it was being read"), std::string::npos) << c.what;
    }
}
