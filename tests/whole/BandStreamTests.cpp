// The streaming host's order checks: bands in order from the top, whole rows, each
// band's three planes once before the next band; complete bands reach the sink with
// their three planes, and a sink that refuses a band stops the stream.
#include <gtest/gtest.h>

#include <vector>

#include "import/BandStream.h"
#include "DeliveryTestSupport.h"

namespace {

using planetest::kHeight;
using planetest::kWidth;
using planetest::MakeDelivery;

class RecordingSink : public ekv::BandSink {
public:
    bool begin(const ekv::Document &) override { return true; }
    ekv::Band takeBand() override { return {}; }
    bool putBand(ekv::Band &&ioBand) override {
        bands.push_back(std::move(ioBand));
        return static_cast<int>(bands.size()) < refuseAfter;
    }
    std::vector<ekv::Band> bands;
    int refuseAfter = 1000;
};

const ekv::Document kDocument{kWidth, kHeight, 16};

TEST(BandStream, BandsInOrderReachTheSinkWhole) {
    RecordingSink aSink;
    ekv::BandStream aStream(kDocument, aSink);
    for (int p : {2, 0, 1}) ASSERT_EQ(aStream.add(MakeDelivery(p, 0, 2, 2).record), "");
    for (int p : {1, 2, 0}) ASSERT_EQ(aStream.add(MakeDelivery(p, 2, 4, 1).record), "");
    EXPECT_EQ(aStream.finish(), "");
    EXPECT_EQ(aStream.rowsDone(), 4);
    ASSERT_EQ(aSink.bands.size(), 2u);
    EXPECT_EQ(aSink.bands[1].top, 2);
    EXPECT_EQ(aSink.bands[1].rows, 2);
    for (int r = 0; r < kHeight; ++r)
        for (int c = 0; c < kWidth; ++c)
            for (int p = 0; p < 3; ++p) {
                const ekv::Band &aBand = aSink.bands[r / 2];
                const int aValue = p * 1000 + r * 10 + c;
                ASSERT_EQ(aBand.planes[p][(r % 2) * kWidth + c], r < 2 ? aValue : aValue & 0xFF);
            }
}

TEST(BandStream, OrderViolationsAreRefusedWithTheirReason) {
    struct Case {
        const char *what;
        std::vector<planetest::Delivery> deliveries;
        const char *reason;
    };
    planetest::Delivery aNarrow = MakeDelivery(0, 0, 2, 2);
    aNarrow.record.theRect.right = kWidth - 1;
    std::vector<Case> aCases;
    aCases.push_back({"a band out of order", {MakeDelivery(0, 2, 4, 2)}, "rows 2 to 3 out of order (row 0 was next)"});
    aCases.push_back(
        {"a missing band",
         {MakeDelivery(0, 0, 1, 2), MakeDelivery(1, 0, 1, 2), MakeDelivery(2, 0, 1, 2), MakeDelivery(0, 2, 4, 2)},
         "out of order (row 1 was next)"});
    aCases.push_back(
        {"a repeated plane", {MakeDelivery(1, 0, 2, 2), MakeDelivery(1, 0, 2, 2)}, "plane 1 of rows 0 to 1 twice"});
    aCases.push_back({"the next band before the planes of this one",
                      {MakeDelivery(0, 0, 2, 2), MakeDelivery(2, 0, 2, 2), MakeDelivery(0, 2, 4, 2)},
                      "rows 2 to 3 before the green plane of rows 0 to 1"});
    aCases.push_back(
        {"a band again",
         {MakeDelivery(0, 0, 2, 2), MakeDelivery(1, 0, 2, 2), MakeDelivery(2, 0, 2, 2), MakeDelivery(0, 0, 2, 2)},
         "rows 0 to 1 out of order (row 2 was next)"});
    aCases.push_back({"part of the rows", {aNarrow}, "columns 0 to 3 of rows 0 to 1; this host takes whole rows"});
    for (const Case &aCase : aCases) {
        RecordingSink aSink;
        ekv::BandStream aStream(kDocument, aSink);
        std::string aReason;
        for (const planetest::Delivery &aDelivery : aCase.deliveries) {
            // The deliveries were copied into the case: their records point at the copies.
            AcquireRecord aRecord = aDelivery.record;
            aRecord.data = const_cast<uint8_t *>(aDelivery.bytes.data());
            if (aReason.empty()) aReason = aStream.add(aRecord);
        }
        EXPECT_NE(aReason.find(aCase.reason), std::string::npos) << aCase.what << ": " << aReason;
    }
}

TEST(BandStream, AnImportEndingInsideABandIsAnError) {
    RecordingSink aSink;
    ekv::BandStream aStream(kDocument, aSink);
    ASSERT_EQ(aStream.add(MakeDelivery(1, 0, 2, 2).record), "");
    EXPECT_EQ(aStream.finish(), "the import ended without the red and blue planes of rows 0 to 1");
    EXPECT_TRUE(aSink.bands.empty());
    EXPECT_EQ(aStream.rowsDone(), 0);
}

TEST(BandStream, ASinkThatRefusesStopsTheStream) {
    RecordingSink aSink;
    aSink.refuseAfter = 1;
    ekv::BandStream aStream(kDocument, aSink);
    for (int p = 0; p < 3; ++p) ASSERT_EQ(aStream.add(MakeDelivery(p, 0, 2, 2).record), "");
    EXPECT_TRUE(aStream.sinkStopped());
}

}  // namespace
