// Crafted sizes: headers whose mosaic the strips cannot hold and outputs lower than the
// one band the module always delivers. The hosts' shared size check (info's convertible,
// convert, dng) refuses exactly these; every header it accepts imports whole, with every
// delivered rectangle inside the document.
#include <gtest/gtest.h>

#include "ImportSupport.h"
#include "import/HostHeaderView.h"
#include "rawfile/EkvTags.h"

using robust::BaseFile;
using robust::Bytes;
using robust::Outcome;
using robust::Result;

namespace {

struct Crafted {
    uint16_t tag;
    uint32_t value;
    bool accepted;
};

// The shared check's answer for inBytes ("" when accepted).
std::string Refusal(const std::vector<uint8_t> &inBytes) {
    runtest::TempFile f("crafted.ekv", inBytes);
    ekv::HeaderInfo aHeader;
    std::string aReason;
    if (ekv::ReadHeader(f.path(), aHeader, aReason) != ekv::HeaderStatus::Ok) return "unreadable: " + aReason;
    return ekv::RefusalReason(f.path(), aHeader);
}

}  // namespace

TEST(CraftedSizes, RefusedByTheSizeCheckAndAcceptedOnesImportInsideTheDocument) {
    BaseFile base;  // 32 x 56 mosaic in 7 strips of 8 rows, output 28 x 52 (2 bands of 26 rows)
    ekvwriter::WriteResult w = robust::WriteBase(base);
    Bytes aBytes = robust::BytesOf(w);
    const size_t aMaker = w.layout.makerNote + 8;
    for (Crafted c : {Crafted{kRAW_Tag_ImageLength, 0x7FFFFFFF, false}, Crafted{kRAW_Tag_ImageLength, 57, false},
                      Crafted{kRAW_Tag_ImageLength, 56, true}, Crafted{kRAW_Tag_ImageLength, 4, true},
                      Crafted{kRAW_Tag_ImageWidth, 65535, false}, Crafted{kRAW_Tag_ImageWidth, 33, false},
                      Crafted{kRAW_Tag_OutputImageHeight, 1, false}, Crafted{kRAW_Tag_OutputImageHeight, 25, false},
                      Crafted{kRAW_Tag_OutputImageHeight, 26, true}, Crafted{kRAW_Tag_OutputImageHeight, 53, true},
                      Crafted{kRAW_Tag_OutputImageHeight, 32767, false}}) {
        Bytes b = aBytes;
        const bool aMain = c.tag == kRAW_Tag_ImageLength || c.tag == kRAW_Tag_ImageWidth;
        b.put32(b.field(aMain ? 8 : aMaker, c.tag), c.value);
        const std::string aWhat = "tag " + std::to_string(c.tag) + " = " + std::to_string(c.value);
        const std::string aRefusal = Refusal(b.data);
        EXPECT_EQ(aRefusal.empty(), c.accepted) << aWhat << ": " << aRefusal;
        if (!c.accepted) continue;
        Outcome o = robust::Import(b.data, aWhat);
        ASSERT_EQ(o.result, Result::Imported) << aWhat;
        for (const Rect &r : o.doc.rects) {
            EXPECT_TRUE(r.top >= 0 && r.left >= 0 && r.bottom <= o.doc.height && r.right <= o.doc.width) << aWhat;
        }
    }
    // Seven strips over the same bytes, to the end of the file, and the image length they
    // declare: every strip lies in the file, but the mosaic is seven times its data.
    Bytes b = aBytes;
    const size_t aOffsets = b.u32(b.field(8, kRAW_Tag_StripOffsets));
    const size_t aCounts = b.u32(b.field(8, kRAW_Tag_StripByteCounts));
    const uint32_t aFirst = b.u32(aOffsets);
    const uint32_t aCount = static_cast<uint32_t>(b.data.size()) - aFirst;
    for (size_t k = 0; k < 7; ++k) {
        b.put32(aOffsets + 4 * k, aFirst);
        b.put32(aCounts + 4 * k, aCount);
    }
    b.put32(b.field(8, kRAW_Tag_ImageLength), 7 * aCount / (2 * static_cast<uint32_t>(base.width)));
    EXPECT_NE(Refusal(b.data).find("the strips overlap"), std::string::npos) << Refusal(b.data);
}
