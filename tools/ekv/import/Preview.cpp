// JPEG decoding with libjpeg-turbo, bilinear scaling and the marker.
#include "import/Preview.h"

#include <cmath>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace ekv {

namespace {

struct JpegFailure {
    jpeg_error_mgr manager;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr inInfo) {
    auto *aFailure = reinterpret_cast<JpegFailure *>(inInfo->err);
    (*inInfo->err->format_message)(inInfo, aFailure->message);
    longjmp(aFailure->jump, 1);
}

void JpegSilence(j_common_ptr, int) {}

// Decodes into outSamples (8-bit RGB); kept free of objects with destructors because of
// longjmp. With inHeaderOnly only the frame size is read.
bool DecodeStream(const std::vector<uint8_t> &inJpeg, bool inHeaderOnly, RgbImage *outImage, JpegFailure *ioFailure) {
    jpeg_decompress_struct aInfo;
    aInfo.err = jpeg_std_error(&ioFailure->manager);
    ioFailure->manager.error_exit = JpegErrorExit;
    ioFailure->manager.emit_message = JpegSilence;
    ioFailure->message[0] = 0;
    jpeg_create_decompress(&aInfo);
    if (setjmp(ioFailure->jump)) {
        jpeg_destroy_decompress(&aInfo);
        return false;
    }
    jpeg_mem_src(&aInfo, inJpeg.data(), static_cast<unsigned long>(inJpeg.size()));
    jpeg_read_header(&aInfo, TRUE);
    outImage->width = static_cast<int32_t>(aInfo.image_width);
    outImage->height = static_cast<int32_t>(aInfo.image_height);
    outImage->depth = 8;
    if (inHeaderOnly) {
        jpeg_destroy_decompress(&aInfo);
        return true;
    }
    // A thumbnail is small; a frame this large is a damaged or hostile stream.
    if (static_cast<uint64_t>(aInfo.image_width) * aInfo.image_height > (uint64_t{1} << 26)) {
        std::snprintf(ioFailure->message, sizeof ioFailure->message, "the JPEG frame of %u x %u is too large",
                      aInfo.image_width, aInfo.image_height);
        jpeg_destroy_decompress(&aInfo);
        return false;
    }
    aInfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&aInfo);
    const size_t aRowSamples = static_cast<size_t>(aInfo.output_width) * 3;
    outImage->width = static_cast<int32_t>(aInfo.output_width);
    outImage->height = static_cast<int32_t>(aInfo.output_height);
    outImage->samples.resize(aRowSamples * aInfo.output_height);
    JSAMPLE *aRow = static_cast<JSAMPLE *>(
        (*aInfo.mem->alloc_small)(reinterpret_cast<j_common_ptr>(&aInfo), JPOOL_IMAGE, aRowSamples));
    while (aInfo.output_scanline < aInfo.output_height) {
        size_t aLine = aInfo.output_scanline;
        jpeg_read_scanlines(&aInfo, &aRow, 1);
        for (size_t aIndex = 0; aIndex < aRowSamples; ++aIndex)
            outImage->samples[aLine * aRowSamples + aIndex] = aRow[aIndex];
    }
    jpeg_finish_decompress(&aInfo);
    jpeg_destroy_decompress(&aInfo);
    return true;
}

}  // namespace

bool DecodeJpeg(const std::vector<uint8_t> &inJpeg, RgbImage &outImage, std::string &outError) {
    if (inJpeg.empty()) {
        outError = "no JPEG data";
        return false;
    }
    JpegFailure aFailure;
    outImage = RgbImage();
    if (!DecodeStream(inJpeg, false, &outImage, &aFailure)) {
        outError = aFailure.message[0] != 0 ? aFailure.message : "the JPEG stream cannot be decoded";
        outImage = RgbImage();
        return false;
    }
    return true;
}

bool JpegSize(const std::vector<uint8_t> &inJpeg, int32_t &outWidth, int32_t &outHeight) {
    if (inJpeg.empty()) return false;
    JpegFailure aFailure;
    RgbImage aImage;
    if (!DecodeStream(inJpeg, true, &aImage, &aFailure)) return false;
    outWidth = aImage.width;
    outHeight = aImage.height;
    return true;
}

RgbImage ScaleBilinear(const RgbImage &inImage, int32_t inWidth, int32_t inHeight) {
    RgbImage aOut;
    aOut.width = inWidth;
    aOut.height = inHeight;
    aOut.depth = inImage.depth;
    aOut.samples.assign(static_cast<size_t>(inWidth) * inHeight * 3, 0);
    aOut.rowsDelivered = inHeight;
    if (inImage.width <= 0 || inImage.height <= 0) return aOut;
    auto aSample = [&](int32_t inX, int32_t inY, int inC) {
        return static_cast<double>(inImage.samples[(static_cast<size_t>(inY) * inImage.width + inX) * 3 + inC]);
    };
    const double aScaleX = static_cast<double>(inImage.width) / inWidth;
    const double aScaleY = static_cast<double>(inImage.height) / inHeight;
    for (int32_t aY = 0; aY < inHeight; ++aY) {
        double aSourceY = (aY + 0.5) * aScaleY - 0.5;
        if (aSourceY < 0) aSourceY = 0;
        int32_t aY0 = static_cast<int32_t>(aSourceY);
        if (aY0 > inImage.height - 1) aY0 = inImage.height - 1;
        int32_t aY1 = aY0 + 1 < inImage.height ? aY0 + 1 : aY0;
        double aFy = aSourceY - aY0;
        for (int32_t aX = 0; aX < inWidth; ++aX) {
            double aSourceX = (aX + 0.5) * aScaleX - 0.5;
            if (aSourceX < 0) aSourceX = 0;
            int32_t aX0 = static_cast<int32_t>(aSourceX);
            if (aX0 > inImage.width - 1) aX0 = inImage.width - 1;
            int32_t aX1 = aX0 + 1 < inImage.width ? aX0 + 1 : aX0;
            double aFx = aSourceX - aX0;
            if (aFx > 1) aFx = 1;
            for (int aC = 0; aC < 3; ++aC) {
                double aTop = aSample(aX0, aY0, aC) * (1 - aFx) + aSample(aX1, aY0, aC) * aFx;
                double aBottom = aSample(aX0, aY1, aC) * (1 - aFx) + aSample(aX1, aY1, aC) * aFx;
                double aValue = aTop * (1 - aFy) + aBottom * aFy;
                aOut.samples[(static_cast<size_t>(aY) * inWidth + aX) * 3 + aC] =
                    static_cast<uint16_t>(std::lround(aValue));
            }
        }
    }
    return aOut;
}

bool MakePreview(const std::vector<uint8_t> &inJpeg, RgbImage &outPreview, std::string &outError) {
    if (inJpeg.empty()) {
        // The dialog's background (the standard 3-D face colour).
        outPreview = RgbImage();
        outPreview.width = kPreviewWidth;
        outPreview.height = kPreviewHeight;
        outPreview.depth = 8;
        outPreview.rowsDelivered = kPreviewHeight;
        outPreview.samples.assign(static_cast<size_t>(kPreviewWidth) * kPreviewHeight * 3, 240);
        return true;
    }
    RgbImage aThumbnail;
    if (!DecodeJpeg(inJpeg, aThumbnail, outError)) return false;
    outPreview = ScaleBilinear(aThumbnail, kPreviewWidth, kPreviewHeight);
    return true;
}

void InvertMarker(RgbImage &ioPreview, int32_t inH, int32_t inV) {
    const uint16_t aMax = ioPreview.depth == 16 ? 65535 : 255;
    for (int32_t aY = inV - 1; aY <= inV; ++aY)
        for (int32_t aX = inH - 1; aX <= inH; ++aX) {
            if (aX < 0 || aY < 0 || aX >= ioPreview.width || aY >= ioPreview.height) continue;
            for (int aC = 0; aC < 3; ++aC) {
                uint16_t &aValue = ioPreview.samples[(static_cast<size_t>(aY) * ioPreview.width + aX) * 3 + aC];
                aValue = static_cast<uint16_t>(aMax - aValue);
            }
        }
}

}  // namespace ekv
