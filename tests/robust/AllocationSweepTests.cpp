// The host fails its k-th allocation (handles and buffers together), for every k up to
// the number a whole import takes, for each method and for 8- and 16-bit documents: the
// import then ends with a negative result or delivers the complete document, and by the
// end of Finish everything is released once.
#include <gtest/gtest.h>

#include "ImportSupport.h"

using robust::BaseFile;
using robust::ImportOptions;
using robust::Outcome;
using robust::Result;

TEST(AllocationSweep, EveryAllocationFailsOnceForEveryMethodAndDepth) {
    int aPoints = 0;
    for (int aBits : {10, 8})
        for (int16 aMethod = 0; aMethod < 3; ++aMethod) {
            BaseFile base;
            base.validBits = aBits;
            const std::vector<uint8_t> aFile = robust::WriteBase(base).bytes;
            const std::string aName = std::to_string(aBits) + " bits, method " + std::to_string(aMethod);
            ImportOptions o;
            o.method = aMethod;
            o.point = Point{120, 160};
            // The complete documents: with the measured gains and, for a measurement whose
            // own strip could not be read, with the camera's.
            int aTotal = 0;
            Outcome aRef, aCamera;
            {
                runtest::TempFile f("sweep_ref.ekv", aFile);
                testhost::TestHost host;
                aRef = robust::ImportWith(host, f.path(), aName, o);
                aTotal = host.allocations();
            }
            ImportOptions aNoPoint = o;
            aNoPoint.point = Point{-1, -1};
            aCamera = robust::Import(aFile, aName + " without a point", aNoPoint);
            ASSERT_EQ(aRef.result, Result::Imported) << aName;
            ASSERT_GT(aTotal, 10) << aName;
            int aCompleted = 0;
            for (int k = 1; k <= aTotal + 1; ++k) {
                std::string aWhat =
                    aName + ", allocation " + std::to_string(k) + " of " + std::to_string(aTotal) + " fails";
                ImportOptions aFailing = o;
                aFailing.host.failAllocationAt = k;
                Outcome r = robust::Import(aFile, aWhat, aFailing);  // checks releases and misuse
                ++aPoints;
                if (r.result == Result::Failed) {
                    EXPECT_TRUE(r.prepare == kResultMemFull || r.doc.lastResult == kResultMemFull) << aWhat;
                    continue;
                }
                ASSERT_EQ(r.result, Result::Imported) << aWhat;
                EXPECT_TRUE(r.doc.ended) << aWhat;
                ++aCompleted;
                if (aMethod != 0 && r.doc.planes == aCamera.doc.planes) continue;  // measurement fell back
                robust::ExpectSameImport(r, aRef, aWhat);
            }
            EXPECT_GE(aCompleted, 1) << aName << ": at least the run past the last allocation completes";
        }
    RecordProperty("points", aPoints);
}
