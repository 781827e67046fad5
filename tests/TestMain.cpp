// A trivial check that the test program links the module.
#include <gtest/gtest.h>

#include "rawfile/RawInfo.h"

TEST(Defaults, DescribeTheDefaultSensor) {
    RAW_Info aInfo;
    aInfo.endian = 0x4D4D;
    RAW_DefaultInfo(&aInfo);
    EXPECT_EQ(aInfo.endian, 0x4D4D);
    EXPECT_EQ(aInfo.image_width, 2256);
    EXPECT_EQ(aInfo.output_image_height, 1680);
    int32 aTotal = 0;
    for (int32 aCount : aInfo.strip_byte_count) aTotal += aCount;
    EXPECT_EQ(aTotal, 7598208);
}
