#include "ImportSupport.h"

#include <atomic>

#include "ekvwriter/Jpeg.h"

namespace robust {

std::vector<uint16_t> BaseMosaic(const BaseFile &inBase) {
    std::vector<uint16_t> aMosaic(static_cast<size_t>(inBase.width) * inBase.length);
    const uint32_t aMax = (1u << inBase.validBits) - 1;
    for (int32_t r = 0; r < inBase.length; ++r)
        for (int32_t c = 0; c < inBase.width; ++c)
            aMosaic[static_cast<size_t>(r) * inBase.width + c] =
                static_cast<uint16_t>((static_cast<uint32_t>(r * 97 + c * 31 + (r * c) % 13) * 7u) % (aMax + 1));
    return aMosaic;
}

ekvwriter::WriteResult WriteBase(const BaseFile &inBase, const std::vector<uint16_t> *inMosaic) {
    ekvwriter::WriteOptions o;
    o.info = ekvwriter::DefaultInfo(inBase.endian);
    o.info.image_width = inBase.width;
    o.info.image_length = inBase.length;
    o.info.output_image_width = inBase.outWidth;
    o.info.output_image_height = inBase.outHeight;
    o.info.raw_per_strip = inBase.rowsPerStrip;
    o.info.valid_bits_per_pixel[0] = static_cast<int16>(inBase.validBits);
    o.info.valid_bits_per_pixel[1] = static_cast<int16>(inBase.bitOffset);
    for (int i = 0; i < 4; ++i) o.info.cfa_pattern.value[i] = inBase.cfa[i];
    for (int i = 0; i < 9; ++i) o.info.color_matrix[i] = inBase.colorMatrix[i];
    for (int i = 0; i < 4; ++i) o.info.optical_black[i] = inBase.black;
    o.info.wb_gain_gr = ekvwriter::GainWordFor(1.5);
    o.info.wb_gain_gb = ekvwriter::GainWordFor(1.25);
    o.info.tone_mode = 1;
    o.info.enhancer = 200;
    o.info.coring = 4;
    const int16 aChroma[6] = {40, 60, 80, 100, 20, 30};
    for (int i = 0; i < 6; ++i) o.info.chromasupless[i] = aChroma[i];
    o.makerNote = inBase.makerNote;
    if (inBase.thumbnail) {
        ekvwriter::RgbImage aImage;
        aImage.width = 16;
        aImage.height = 12;
        aImage.rgb.assign(16 * 12 * 3, 0);
        for (size_t i = 0; i < aImage.rgb.size(); ++i) aImage.rgb[i] = static_cast<uint8_t>(i * 5);
        o.thumbnailJpeg = ekvwriter::EncodeJpeg(aImage, 60);
    }
    std::vector<uint16_t> aMosaic = inMosaic != nullptr ? *inMosaic : BaseMosaic(inBase);
    ekvwriter::WriteResult aFile = ekvwriter::WriteEkv(aMosaic, o);
    EXPECT_TRUE(aFile.ok) << aFile.error;
    return aFile;
}

uint32_t Bytes::u16(size_t inAt) const {
    uint32_t a = data.at(inAt), b = data.at(inAt + 1);
    return big ? (a << 8) | b : a | (b << 8);
}
uint32_t Bytes::u32(size_t inAt) const {
    return big ? (u16(inAt) << 16) | u16(inAt + 2) : u16(inAt) | (u16(inAt + 2) << 16);
}
void Bytes::put16(size_t inAt, uint32_t inValue) {
    data.at(inAt + (big ? 1 : 0)) = static_cast<uint8_t>(inValue);
    data.at(inAt + (big ? 0 : 1)) = static_cast<uint8_t>(inValue >> 8);
}
void Bytes::put32(size_t inAt, uint32_t inValue) {
    put16(inAt + (big ? 2 : 0), inValue & 0xFFFF);
    put16(inAt + (big ? 0 : 2), inValue >> 16);
}
std::optional<size_t> Bytes::entry(size_t inCountAt, uint16_t inTag) const {
    uint32_t aCount = u16(inCountAt);
    for (uint32_t i = 0; i < aCount; ++i) {
        size_t aAt = inCountAt + 2 + 12 * i;
        if (u16(aAt) == inTag) return aAt;
    }
    return std::nullopt;
}
size_t Bytes::field(size_t inCountAt, uint16_t inTag) const {
    std::optional<size_t> aAt = entry(inCountAt, inTag);
    EXPECT_TRUE(aAt.has_value()) << "tag " << inTag;
    return aAt.value_or(0) + 8;
}

Bytes BytesOf(const ekvwriter::WriteResult &inFile) {
    Bytes b;
    b.data = inFile.bytes;
    b.big = inFile.info.endian == kRAW_BigEndian;
    return b;
}

namespace {

std::string NextName() {
    static std::atomic<int> sCounter{0};
    return "robust_" + std::to_string(sCounter++) + ".ekv";
}

}  // namespace

Outcome ImportWith(testhost::TestHost &ioHost, const std::string &inPath, const std::string &inWhat,
                   const ImportOptions &inOptions, int inChangeAfter, const std::function<void()> &inChange) {
    Outcome o;
    ioHost.answers.file = inPath;
    ioHost.answers.method = inOptions.method;
    ioHost.answers.wbPoint = inOptions.point;
    o.prepare = ioHost.call(acquireSelectorPrepare);
    if (inChangeAfter == 0 && inChange) inChange();
    if (o.prepare == 0) {
        o.start = ioHost.call(acquireSelectorStart);
        if (o.start == 0) {
            const int32_t w = ioHost.record()->imageSize.h, h = ioHost.record()->imageSize.v;
            const int64_t aArea = static_cast<int64_t>(w) * h;
            int aLimit = aArea > inOptions.largeArea ? 9 : 100000;
            if (inChangeAfter > 0 && inChange) {
                o.doc = runtest::RunContinues(ioHost, w, h, inChangeAfter);
                if (o.doc.lastResult == 0 && !o.doc.ended) {
                    inChange();
                    runtest::Document aRest = runtest::RunContinues(ioHost, w, h, aLimit - inChangeAfter);
                    // Merge what the second part delivered into the first.
                    for (int p = 0; p < 3; ++p)
                        for (size_t i = 0; i < aRest.planes[p].size(); ++i)
                            if (aRest.planes[p][i] != 0xFFFF) o.doc.planes[p][i] = aRest.planes[p][i];
                    o.doc.rects.insert(o.doc.rects.end(), aRest.rects.begin(), aRest.rects.end());
                    o.doc.continues += aRest.continues;
                    o.doc.lastResult = aRest.lastResult;
                    o.doc.ended = aRest.ended;
                    o.doc.badCall = o.doc.badCall || aRest.badCall;
                }
            } else {
                o.doc = runtest::RunContinues(ioHost, w, h, aLimit);
            }
            EXPECT_FALSE(o.doc.badCall) << inWhat;
            for (const Rect &r : o.doc.rects) {
                EXPECT_TRUE(r.top >= 0 && r.left == 0 && r.right == w && r.bottom > r.top) << inWhat;
                EXPECT_LT(r.top, h) << inWhat << ": a band that starts below the document";
            }
            if (aLimit == 100000) {
                EXPECT_TRUE(o.doc.ended || o.doc.lastResult < 0) << inWhat << ": the import did not end";
            }
        }
    }
    o.finish = ioHost.call(acquireSelectorFinish);
    o.finalize = ioHost.call(acquireSelectorFinalize);
    o.thumbnails = ioHost.thumbnailsOffered;
    for (const auto &m : ioHost.messages) o.messages.push_back(m.first);

    if (o.prepare == kResultUserCanceled && o.messages.size() == 1 && o.messages[0] == STR_NOT_EKV)
        o.result = Result::NotEkv;
    else if (o.prepare == kResultUserCanceled && o.messages.size() == 1 && o.messages[0] == STR_DAMAGED_EKV)
        o.result = Result::Refused;
    else if (o.prepare == 0 && o.start == 0 && o.messages.empty() && o.doc.lastResult == 0 && !o.doc.rects.empty())
        o.result = Result::Imported;
    else if (o.prepare < 0 || o.start < 0 || o.doc.lastResult < 0)
        o.result = Result::Failed;
    else
        ADD_FAILURE() << inWhat << ": an outcome that is neither an import nor a refusal (prepare " << o.prepare
                      << ", start " << o.start << ", messages " << o.messages.size() << ")";

    EXPECT_TRUE(ioHost.misuse().empty()) << inWhat << ": " << ioHost.misuse().front();
    EXPECT_EQ(ioHost.liveBuffers(), 0u) << inWhat;
    EXPECT_LE(ioHost.liveHandles(), 1u) << inWhat << ": only the globals may stay";
    EXPECT_EQ(o.finish, 0) << inWhat;
    EXPECT_EQ(o.finalize, 0) << inWhat;
    return o;
}

Outcome Import(const std::vector<uint8_t> &inFile, const std::string &inWhat, const ImportOptions &inOptions) {
    runtest::TempFile aFile(NextName(), inFile);
    testhost::TestHost aHost(inOptions.host);
    return ImportWith(aHost, aFile.path(), inWhat, inOptions);
}

void ExpectSameImport(const Outcome &inA, const Outcome &inB, const std::string &inWhat) {
    EXPECT_EQ(inA.result, inB.result) << inWhat;
    EXPECT_EQ(inA.prepare, inB.prepare) << inWhat;
    EXPECT_EQ(inA.start, inB.start) << inWhat;
    EXPECT_EQ(inA.messages, inB.messages) << inWhat;
    EXPECT_EQ(inA.doc.continues, inB.doc.continues) << inWhat;
    EXPECT_EQ(inA.doc.width, inB.doc.width) << inWhat;
    EXPECT_EQ(inA.doc.height, inB.doc.height) << inWhat;
    EXPECT_TRUE(inA.doc.planes == inB.doc.planes) << inWhat << ": the documents differ";
}

}  // namespace robust
