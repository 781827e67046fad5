// Helpers for the tests of the import run, the band driver and the white-balance
// measurement: a small EKV file builder (little-endian), temporary files, and in-place
// edits of the Globals record that the module keeps in the test host's data word.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "TestHost.h"
#include "host/MediaLayer.h"
#include "plugin/AcquireRun.h"
#include "plugin/PlugInGlobals.h"
#include "rawfile/EkvTags.h"

namespace runtest {

// The sensor sample (valid bits at the bottom) at a row and column.
using SampleFn = std::function<uint16_t(int32_t inRow, int32_t inColumn)>;

struct EkvSpec {
    int32_t imageWidth = 64;
    int32_t imageLength = 40;
    int32_t outputWidth = 48;
    int32_t outputHeight = 36;
    int16_t validBits = 10;
    int16_t bitOffset = 0;
    uint8_t cfa[4] = {0, 1, 1, 2};
    int16_t opticalBlack[4] = {0, 0, 0, 0};
    int16_t gainR[2] = {128, 128};  // halves of the red gain word: gain = a * b / 16384
    int16_t gainB[2] = {128, 128};
    int16_t colorMatrix[9] = {256, 0, 0, 0, 256, 0, 0, 0, 256};
    int16_t toneMode = 0;
    int16_t enhancer = 256;
    int16_t coring = 0;
    int16_t chroma[6] = {0, 0, 0, 0, 0, 0};
    bool withMakerNote = true;
    bool withThumbnail = true;
    SampleFn sample = [](int32_t r, int32_t c) { return static_cast<uint16_t>((r * 37 + c * 11) % 1000); };
};

class LittleBytes {
public:
    std::vector<uint8_t> data;
    void u8(size_t at, uint32_t v) {
        grow(at + 1);
        data[at] = static_cast<uint8_t>(v);
    }
    void u16(size_t at, uint32_t v) {
        u8(at, v & 0xFF);
        u8(at + 1, (v >> 8) & 0xFF);
    }
    void u32(size_t at, uint32_t v) {
        u16(at, v & 0xFFFF);
        u16(at + 2, v >> 16);
    }
    void entry(size_t at, uint16_t tag, uint16_t type, uint32_t length, uint32_t value) {
        u16(at, tag);
        u16(at + 2, type);
        u32(at + 4, length);
        u32(at + 8, value);
    }
    void grow(size_t n) {
        if (data.size() < n) data.resize(n, 0);
    }
};

// The stored mosaic: two bytes a sample (valid bits high) above 8 valid bits, else one.
inline std::vector<uint8_t> StoredMosaic(const EkvSpec &inSpec, int32_t inRows) {
    const int b = inSpec.validBits > 8 ? 2 : 1;
    std::vector<uint8_t> aBytes(static_cast<size_t>(inRows) * inSpec.imageWidth * b);
    const int shift = 16 - inSpec.validBits - inSpec.bitOffset;
    size_t at = 0;
    for (int32_t r = 0; r < inRows; ++r)
        for (int32_t c = 0; c < inSpec.imageWidth; ++c) {
            uint16_t s = inSpec.sample(r, c);
            if (b == 2) {
                uint16_t w = static_cast<uint16_t>(s << shift);
                aBytes[at++] = static_cast<uint8_t>(w & 0xFF);
                aBytes[at++] = static_cast<uint8_t>(w >> 8);
            } else {
                aBytes[at++] = static_cast<uint8_t>(s);
            }
        }
    return aBytes;
}

// A complete little-endian EKV file: IFD0, Exif IFD with the CFA pattern and the maker
// note, thumbnail IFD with a small JPEG-framed thumbnail, one strip with the mosaic.
inline std::vector<uint8_t> BuildEkv(const EkvSpec &s) {
    LittleBytes f;
    f.u8(0, 'I');
    f.u8(1, 'I');
    f.u16(2, 0x454B);
    f.u32(4, 8);
    const size_t exifAt = 200, thumbIfdAt = 300, cfaAt = 400, makerAt = 500, arraysAt = 800, jpegAt = 1000,
                 stripAt = 2048;
    const int b = s.validBits > 8 ? 2 : 1;
    const uint32_t stripBytes = static_cast<uint32_t>(s.imageWidth) * s.imageLength * b;
    f.u16(8, 5);
    f.entry(10, kRAW_Tag_ImageWidth, 4, 1, static_cast<uint32_t>(s.imageWidth));
    f.entry(22, kRAW_Tag_ImageLength, 4, 1, static_cast<uint32_t>(s.imageLength));
    f.entry(34, kRAW_Tag_StripOffsets, 4, 1, stripAt);
    f.entry(46, kRAW_Tag_StripByteCounts, 4, 1, stripBytes);
    f.entry(58, kRAW_Tag_ExifIFD, 4, 1, exifAt);
    f.u32(70, s.withThumbnail ? thumbIfdAt : 0);

    f.u16(exifAt, s.withMakerNote ? 2 : 1);
    f.entry(exifAt + 2, kRAW_Tag_CFAPattern, 7, 8, cfaAt);
    if (s.withMakerNote) f.entry(exifAt + 14, kRAW_Tag_MakerNote, 7, 300, makerAt);
    f.u8(cfaAt, 2);
    f.u8(cfaAt + 2, 2);
    for (int i = 0; i < 4; ++i) f.u8(cfaAt + 4 + i, s.cfa[i]);

    const std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 2, 3, 0xFF, 0xD9};
    if (s.withThumbnail) {
        f.u16(thumbIfdAt, 2);
        f.entry(thumbIfdAt + 2, kRAW_Tag_JPEGInterchangeFormat, 4, 1, jpegAt);
        f.entry(thumbIfdAt + 14, kRAW_Tag_JPEGInterchangeFormatLength, 4, 1, static_cast<uint32_t>(jpeg.size()));
        for (size_t i = 0; i < jpeg.size(); ++i) f.u8(jpegAt + i, jpeg[i]);
    }

    const char sig[8] = {'K', 'A', 'R', 'V', 'X', '0', '1', '0'};
    for (int i = 0; i < 8; ++i) f.u8(makerAt + i, static_cast<uint8_t>(sig[i]));
    f.u16(makerAt + 8, 11);
    size_t e = makerAt + 10;
    auto put = [&](uint16_t tag, uint16_t type, uint32_t length, uint32_t value) {
        f.entry(e, tag, type, length, value);
        e += 12;
    };
    auto halves = [](int16_t a, int16_t c) {
        return static_cast<uint32_t>(static_cast<uint16_t>(a)) |
               (static_cast<uint32_t>(static_cast<uint16_t>(c)) << 16);
    };
    put(kRAW_Tag_ColorMatrix, 8, 9, arraysAt);
    put(kRAW_Tag_OpticalBlack, 8, 4, arraysAt + 32);
    put(kRAW_Tag_WBGainGr, 8, 2, halves(s.gainR[0], s.gainR[1]));
    put(kRAW_Tag_WBGainGb, 8, 2, halves(s.gainB[0], s.gainB[1]));
    put(kRAW_Tag_ToneMode, 3, 1, static_cast<uint16_t>(s.toneMode));
    put(kRAW_Tag_Enhancer, 8, 1, static_cast<uint16_t>(s.enhancer));
    put(kRAW_Tag_ChromaSuppress, 8, 6, arraysAt + 48);
    put(kRAW_Tag_ValidBits, 3, 2, halves(s.validBits, s.bitOffset));
    put(kRAW_Tag_Coring, 8, 1, static_cast<uint16_t>(s.coring));
    put(kRAW_Tag_OutputImageWidth, 4, 1, static_cast<uint32_t>(s.outputWidth));
    put(kRAW_Tag_OutputImageHeight, 4, 1, static_cast<uint32_t>(s.outputHeight));
    for (int i = 0; i < 9; ++i) f.u16(arraysAt + 2 * i, static_cast<uint16_t>(s.colorMatrix[i]));
    for (int i = 0; i < 4; ++i) f.u16(arraysAt + 32 + 2 * i, static_cast<uint16_t>(s.opticalBlack[i]));
    for (int i = 0; i < 6; ++i) f.u16(arraysAt + 48 + 2 * i, static_cast<uint16_t>(s.chroma[i]));

    std::vector<uint8_t> mosaic = StoredMosaic(s, s.imageLength);
    f.grow(stripAt + mosaic.size());
    std::memcpy(f.data.data() + stripAt, mosaic.data(), mosaic.size());
    return f.data;
}

// The test process's id: temporary names differ between processes running at once.
inline unsigned long ProcessId() {
#if defined(_WIN32)
    return static_cast<unsigned long>(GetCurrentProcessId());
#else
    return static_cast<unsigned long>(getpid());
#endif
}

// A file in the temporary directory, removed when the object goes.
class TempFile {
public:
    TempFile(const std::string &inName, const std::vector<uint8_t> &inBytes) {
        mPath = (std::filesystem::temp_directory_path() / ("karvex_run_" + std::to_string(ProcessId()) + "_" + inName))
                    .string();
        std::ofstream aOut(mPath, std::ios::binary | std::ios::trunc);
        aOut.write(reinterpret_cast<const char *>(inBytes.data()), static_cast<std::streamsize>(inBytes.size()));
    }
    ~TempFile() {
        std::error_code aIgnored;
        std::filesystem::remove(mPath, aIgnored);
    }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;
    const std::string &path() const { return mPath; }
    FSSpec fsSpec() const {
        FSSpec aSpec{};
        NativePathNameToFSSpec(mPath.c_str(), &aSpec, 0);
        return aSpec;
    }

private:
    std::string mPath;
};

// Runs inEdit on the module's Globals record in place (the data word must hold it).
inline void EditGlobals(testhost::TestHost &ioHost, const std::function<void(Globals &)> &inEdit) {
    Handle aHandle = reinterpret_cast<Handle>(ioHost.dataWord());
    HandleProcs *aProcs = ioHost.record()->handleProcs;
    auto *aGlobals = reinterpret_cast<Globals *>(aProcs->lockProc(aHandle, false));
    inEdit(*aGlobals);
    aProcs->unlockProc(aHandle);
}

// The run as Prepare and Start leave it, set up without the dialogs (which do not exist
// in every build): file, header, method, point and the band height for the width.
inline void SetUpRunDirectly(testhost::TestHost &ioHost, const TempFile &inFile, int16 inMethod, Point inPoint) {
    if (ioHost.dataWord() == 0) ioHost.call(acquireSelectorFinalize);  // creates the globals
    FSSpec aSpec = inFile.fsSpec();
    EditGlobals(ioHost, [&](Globals &g) {
        g.acquireParamBlock = ioHost.record();
        g.file = aSpec;
        RAW_DefaultInfo(&g.info);
        Handle aThumbnail = nullptr;
        RAW_ReadHeader(&g.file, &g.info, ioHost.record()->handleProcs, &aThumbnail);
        if (aThumbnail != nullptr) ioHost.record()->handleProcs->disposeProc(aThumbnail);
        g.method = inMethod;
        g.wb_point = inPoint;
        g.band = DoBandHeight(g.info.output_image_width);
        g.loop = 0;
        g.line = 0;
    });
}

// What the host assembled from the delivered planes.
struct Document {
    int32_t width = 0, height = 0;
    int colBytes = 0;
    std::vector<std::vector<uint16_t>> planes;  // 3 planes of width x height, 0xFFFF where nothing came
    std::vector<Rect> rects;                    // theRect of each plane-delivering call
    std::vector<int> planeOrder;                // loPlane of each call
    int continues = 0;                          // Continue calls, the final one included
    int16 lastResult = 0;
    bool ended = false;    // a Continue returned data null with result 0
    bool badCall = false;  // loPlane != hiPlane, wrong strides or tile size
};

// Calls Continue until the module ends the image (or fails, or the call limit is hit),
// copying every delivered plane as a host would.
inline Document RunContinues(testhost::TestHost &ioHost, int32_t inWidth, int32_t inHeight, int inLimit = 100000) {
    Document d;
    d.width = inWidth;
    d.height = inHeight;
    d.planes.assign(3, std::vector<uint16_t>(static_cast<size_t>(inWidth) * inHeight, 0xFFFF));
    AcquireRecord *r = ioHost.record();
    for (int i = 0; i < inLimit; ++i) {
        r->data = reinterpret_cast<void *>(0x1);
        r->tileWidth = r->tileHeight = -7;
        int16 aResult = ioHost.call(acquireSelectorContinue);
        ++d.continues;
        d.lastResult = aResult;
        if (aResult != 0) break;
        if (r->data == nullptr) {
            d.ended = true;
            break;
        }
        if (r->loPlane != r->hiPlane || r->planeBytes != 0) d.badCall = true;
        d.colBytes = r->colBytes;
        if (r->rowBytes != r->colBytes * (r->theRect.right - r->theRect.left)) d.badCall = true;
        // Each plane is one tile: the whole width, the band's rows.
        if (r->tileWidth != r->theRect.right - r->theRect.left || r->tileHeight != r->theRect.bottom - r->theRect.top)
            d.badCall = true;
        d.rects.push_back(r->theRect);
        d.planeOrder.push_back(r->loPlane);
        const uint8_t *aBytes = static_cast<const uint8_t *>(r->data);
        for (int32_t y = r->theRect.top; y < r->theRect.bottom; ++y) {
            if (y >= inHeight) continue;
            for (int32_t x = r->theRect.left; x < r->theRect.right && x < inWidth; ++x) {
                const uint8_t *p = aBytes + (y - r->theRect.top) * r->rowBytes + (x - r->theRect.left) * r->colBytes;
                uint16_t v = r->colBytes == 2 ? static_cast<uint16_t>(p[0] | (p[1] << 8)) : p[0];
                if (r->loPlane >= 0 && r->loPlane < 3) d.planes[r->loPlane][static_cast<size_t>(y) * inWidth + x] = v;
            }
        }
    }
    return d;
}

// What a sweep of allocation failures gave: runs that still ended with the whole document
// (the module fell back on less memory) and runs that ended with memFullErr.
struct SweepCounts {
    int fellBack = 0;
    int failed = 0;
};

// Fails each allocation after the first inFrom of a run (method 2, no point) in turn, up to
// inTo: every run ends either with inWhole's document or with memFullErr and the data
// pointer null, and in either case holds nothing after Finish.
inline SweepCounts SweepAllocationFailures(const TempFile &inFile, int inFrom, int inTo, const Document &inWhole) {
    SweepCounts aCounts;
    for (int k = inFrom + 1; k <= inTo; ++k) {
        testhost::TestHost host(testhost::Options{k});
        SetUpRunDirectly(host, inFile, 2, Point{-1, -1});
        EXPECT_EQ(host.allocations(), inFrom) << "k " << k;
        const Document d = RunContinues(host, inWhole.width, inWhole.height);
        if (d.ended) {
            ++aCounts.fellBack;
            EXPECT_EQ(d.planes, inWhole.planes) << "k " << k;
        } else {
            ++aCounts.failed;
            EXPECT_EQ(d.lastResult, kResultMemFull) << "k " << k;
            EXPECT_EQ(host.record()->data, nullptr) << "k " << k;
        }
        EXPECT_EQ(host.call(acquireSelectorFinish), 0);
        EXPECT_EQ(host.liveBuffers(), 0u) << "k " << k;
        EXPECT_EQ(host.liveHandles(), 1u) << "k " << k;
        EXPECT_TRUE(host.misuse().empty()) << "k " << k;
    }
    return aCounts;
}

}  // namespace runtest
