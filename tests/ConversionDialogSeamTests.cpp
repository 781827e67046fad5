// The native conversion dialog: the answer of the UI seam becomes method, point and the
// OK/Cancel result, with the rules of the real dialog's radio buttons.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <cstring>

#include "TestHost.h"
#include "ui/ConversionDialog.h"
#include "ui/UserSeam.h"

using testhost::TestHost;

namespace {

Globals Fresh(TestHost &ioHost) {
    Globals g;
    std::memset(&g, 0, sizeof g);
    g.acquireParamBlock = ioHost.record();
    g.wb_point = Point{-1, -1};
    g.method = 2;
    g.item = 0;
    return g;
}

}  // namespace

TEST(ConversionDialogSeam, OpenResetsTheChoiceAndCloseForgetsTheDialog) {
    TestHost host;
    Globals g = Fresh(host);
    g.wb_point = Point{3, 4};
    EXPECT_TRUE(OpenOurDialog(&g));
    EXPECT_NE(g.dialog, 0);
    EXPECT_EQ(g.item, -1);
    EXPECT_EQ(g.method, 0);
    EXPECT_EQ(g.wb_point.v, 3);  // the point is not reset at open
    CloseOurDialog(&g);
    EXPECT_EQ(g.dialog, 0);
    EXPECT_FALSE(RunOurDialog(&g));  // no dialog: cancelled at once
}

TEST(ConversionDialogSeam, AnswersBecomeMethodPointAndResult) {
    TestHost host;
    struct Case {
        int16 method;
        Point point;
        bool convert;
        Point expected;
    } cases[] = {
        {0, Point{10, 20}, true, Point{-1, -1}},  // "RGB Conversion" clears the point
        {1, Point{10, 20}, true, Point{10, 20}},
        {2, Point{239, 319}, true, Point{239, 319}},
        {2, Point{-1, -1}, true, Point{-1, -1}},
        {1, Point{240, 5}, true, Point{-1, -1}},  // outside the preview: nothing picked
        {1, Point{5, 320}, true, Point{-1, -1}},
        {1, Point{0, 0}, false, Point{0, 0}},
    };
    for (const Case &c : cases) {
        host.answers.method = c.method;
        host.answers.wbPoint = c.point;
        host.answers.convert = c.convert;
        Globals g = Fresh(host);
        ASSERT_TRUE(OpenOurDialog(&g));
        EXPECT_EQ(RunOurDialog(&g), c.convert ? 1 : 0);
        EXPECT_EQ(g.item, c.convert ? 1 : 2);
        EXPECT_EQ(g.method, c.method);
        EXPECT_EQ(g.wb_point.v, c.expected.v) << c.method << " " << c.point.v << "," << c.point.h;
        EXPECT_EQ(g.wb_point.h, c.expected.h) << c.method << " " << c.point.v << "," << c.point.h;
        CloseOurDialog(&g);
    }
    EXPECT_EQ(host.thumbnailsOffered, 0);  // no thumbnail was held
}

TEST(ConversionDialogSeam, TheThumbnailIsShownAndAMethodOutsideTheButtonsCancels) {
    TestHost host;
    HandleProcs *hp = host.record()->handleProcs;
    Globals g = Fresh(host);
    g.thumbnail = hp->newProc(16);
    host.answers.method = 7;
    ASSERT_TRUE(OpenOurDialog(&g));
    EXPECT_FALSE(RunOurDialog(&g));
    EXPECT_EQ(g.item, 2);
    EXPECT_EQ(host.thumbnailsOffered, 1);
    hp->disposeProc(g.thumbnail);
    EXPECT_TRUE(host.misuse().empty());  // locked and unlocked in pairs
}

TEST(ConversionDialogSeam, WithoutAResponderTheDialogIsCancelled) {
    TestHost host;
    UI_SetResponder(nullptr);
    Globals g = Fresh(host);
    ASSERT_TRUE(OpenOurDialog(&g));
    EXPECT_FALSE(RunOurDialog(&g));
    EXPECT_EQ(g.item, 2);
}
#endif
