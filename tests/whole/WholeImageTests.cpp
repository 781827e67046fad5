// Whole imports with the optimised stages against the same imports with the
// straightforward stages: every delivered sample identical, for every method (with and
// without a white-balance point), 8 to 16 bits, both byte orders, all four CFA
// patterns, and widths that give each band height and rows that end off any vector
// width. The optimised stages run with each kernel variant in turn (baseline, AVX2,
// AVX-512; a variant the processor lacks falls back to the widest it has).
#include <sstream>
#include <vector>

#include "WholeTestSupport.h"
#include "pipeline/kernels/StageKernels.h"

namespace {

struct FileCase {
    const char *name;
    const char *arguments;
};

// Output width = sensor width - 16: 246 and 326 (30-row bands), 1014 (16), 2074 (10) and
// 3010 (6 rows).
const FileCase kFiles[] = {
    {"b10-le-rggb", "--width 262 --height 96"},
    {"b10-be-grbg", "--width 342 --height 80 --big-endian --pattern GRBG"},
    {"b12-le-gbrg", "--width 342 --height 80 --bits 12 --pattern GBRG"},
    {"b12-be-bggr", "--width 1030 --height 60 --bits 12 --big-endian --pattern BGGR"},
    {"b14-le-bggr", "--width 262 --height 96 --bits 14 --pattern BGGR"},
    {"b14-be-rggb", "--width 2090 --height 40 --bits 14 --big-endian"},
    {"b16-le-grbg", "--width 262 --height 64 --bits 16 --pattern GRBG"},
    {"b11-off3-be", "--width 342 --height 64 --bits 11 --bit-offset 3 --big-endian --pattern GBRG"},
    {"b8-rggb", "--width 262 --height 96 --bits 8"},
    {"b8-gbrg", "--width 3026 --height 30 --bits 8 --pattern GBRG"},
    {"b9-be-bggr", "--width 1030 --height 60 --bits 9 --big-endian --pattern BGGR"},
    {"b10-flat-dark", "--width 342 --height 64 --exposure 0.02 --noise 0"},
    {"b12-bright", "--width 342 --height 64 --bits 12 --exposure 3"},
};

struct MethodCase {
    int16 method;
    Point point;
};

const MethodCase kMethods[] = {
    {0, {-1, -1}}, {1, {-1, -1}}, {1, {60, 200}}, {2, {-1, -1}}, {2, {120, 160}}, {2, {239, 319}},
};

#if defined(RAW_KERNELS_HAVE_WIDE)
const std::vector<int32> kKernelLevels = {kRAW_KernelsBaseline, kRAW_KernelsAVX2, kRAW_KernelsAVX512};
#else
const std::vector<int32> kKernelLevels = {kRAW_KernelsBaseline};
#endif

class WholeImage : public ::testing::TestWithParam<FileCase> {
protected:
    void TearDown() override { RAW_LimitKernels(kRAW_KernelsAVX512); }
};

TEST_P(WholeImage, OptimisedEqualsStraightforwardForEveryMethod) {
    const FileCase &aFile = GetParam();
    const std::string aPath = wholetest::MakeSample(aFile.name, aFile.arguments);
    for (const MethodCase &aMethod : kMethods) {
        std::ostringstream aWhat;
        aWhat << aFile.name << ", method " << aMethod.method << ", point " << aMethod.point.h << "," << aMethod.point.v;
        const wholetest::Import aReference = wholetest::RunImport(aPath, aMethod.method, aMethod.point, true, 1);
        const ekv::RgbImage &b = aReference.result.image;
        ASSERT_GT(b.rowsDelivered, 0) << aWhat.str();
        // Every kernel variant on three band threads, and the widest also on one.
        std::vector<std::pair<int32, int32>> aForms;
        for (int32 aLevel : kKernelLevels) aForms.push_back({aLevel, 3});
        aForms.push_back({kKernelLevels.back(), 1});
        for (const auto &[aLevel, aThreads] : aForms) {
            RAW_LimitKernels(aLevel);
            const wholetest::Import aFast = wholetest::RunImport(aPath, aMethod.method, aMethod.point, false, aThreads);
            RAW_LimitKernels(kRAW_KernelsAVX512);
            const ekv::RgbImage &a = aFast.result.image;
            const std::string aCase = aWhat.str() + ", kernels up to level " + std::to_string(aLevel) + ", " +
                                      std::to_string(aThreads) + " threads";
            ASSERT_EQ(a.width, b.width) << aCase;
            ASSERT_EQ(a.height, b.height) << aCase;
            ASSERT_EQ(a.depth, b.depth) << aCase;
            ASSERT_EQ(a.rowsDelivered, b.rowsDelivered) << aCase;
            ASSERT_EQ(a.samples.size(), b.samples.size()) << aCase;
            size_t aDiffering = 0, aFirst = 0;
            for (size_t i = a.samples.size(); i-- > 0;)
                if (a.samples[i] != b.samples[i]) ++aDiffering, aFirst = i;
            EXPECT_EQ(aDiffering, 0u) << aCase << ": first at pixel " << aFirst / 3 % a.width << ","
                                      << aFirst / 3 / a.width << " plane " << aFirst % 3 << ": " << a.samples[aFirst]
                                      << " vs " << b.samples[aFirst];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, WholeImage, ::testing::ValuesIn(kFiles),
                         [](const ::testing::TestParamInfo<FileCase> &inInfo) {
                             std::string aName = inInfo.param.name;
                             for (char &c : aName)
                                 if (c == '-') c = '_';
                             return aName;
                         });

// The comparison can fail: images that differ (another method) are told apart.
TEST(WholeImageCheck, DifferentMethodsGiveDifferentDocuments) {
    const std::string aPath = wholetest::MakeSample("check", "--width 262 --height 64");
    const wholetest::Import a = wholetest::RunImport(aPath, 1, {-1, -1}, false);
    const wholetest::Import b = wholetest::RunImport(aPath, 2, {-1, -1}, true);
    EXPECT_NE(a.result.image.samples, b.result.image.samples);
}

}  // namespace
