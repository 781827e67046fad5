// libjpeg reports fatal errors through a callback that must not return; a longjmp back
// into the calling function turns them into a failed result.
#include "Jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace ekvwriter {
namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr inInfo) {
    ErrorManager *aErr = reinterpret_cast<ErrorManager *>(inInfo->err);
    (*inInfo->err->format_message)(inInfo, aErr->message);
    std::longjmp(aErr->jump, 1);
}

}  // namespace

std::vector<uint8_t> EncodeJpeg(const RgbImage &inImage, int inQuality) {
    if (inImage.width <= 0 || inImage.height <= 0 || inImage.rgb.size() != size_t(inImage.width) * inImage.height * 3)
        return {};
    jpeg_compress_struct aInfo{};
    ErrorManager aErr{};
    aInfo.err = jpeg_std_error(&aErr.base);
    aErr.base.error_exit = OnError;
    unsigned char *aBuffer = nullptr;
    unsigned long aSize = 0;
    if (setjmp(aErr.jump)) {
        jpeg_destroy_compress(&aInfo);
        std::free(aBuffer);
        return {};
    }
    jpeg_create_compress(&aInfo);
    jpeg_mem_dest(&aInfo, &aBuffer, &aSize);
    aInfo.image_width = JDIMENSION(inImage.width);
    aInfo.image_height = JDIMENSION(inImage.height);
    aInfo.input_components = 3;
    aInfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&aInfo);  // YCbCr with a JFIF APP0 marker
    jpeg_set_quality(&aInfo, inQuality, TRUE);
    jpeg_start_compress(&aInfo, TRUE);
    while (aInfo.next_scanline < aInfo.image_height) {
        JSAMPROW aRow = const_cast<JSAMPROW>(&inImage.rgb[size_t(aInfo.next_scanline) * inImage.width * 3]);
        jpeg_write_scanlines(&aInfo, &aRow, 1);
    }
    jpeg_finish_compress(&aInfo);
    std::vector<uint8_t> aJpeg(aBuffer, aBuffer + aSize);
    jpeg_destroy_compress(&aInfo);
    std::free(aBuffer);
    return aJpeg;
}

bool DecodeJpeg(const std::vector<uint8_t> &inJpeg, RgbImage &outImage, std::string &outError) {
    if (inJpeg.empty()) {
        outError = "no JPEG data";
        return false;
    }
    jpeg_decompress_struct aInfo{};
    ErrorManager aErr{};
    aInfo.err = jpeg_std_error(&aErr.base);
    aErr.base.error_exit = OnError;
    if (setjmp(aErr.jump)) {
        outError = aErr.message;
        jpeg_destroy_decompress(&aInfo);
        return false;
    }
    jpeg_create_decompress(&aInfo);
    jpeg_mem_src(&aInfo, inJpeg.data(), static_cast<unsigned long>(inJpeg.size()));
    jpeg_read_header(&aInfo, TRUE);
    aInfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&aInfo);
    outImage.width = int(aInfo.output_width);
    outImage.height = int(aInfo.output_height);
    outImage.rgb.assign(size_t(outImage.width) * outImage.height * 3, 0);
    while (aInfo.output_scanline < aInfo.output_height) {
        JSAMPROW aRow = &outImage.rgb[size_t(aInfo.output_scanline) * outImage.width * 3];
        jpeg_read_scanlines(&aInfo, &aRow, 1);
    }
    jpeg_finish_decompress(&aInfo);
    jpeg_destroy_decompress(&aInfo);
    return true;
}

}  // namespace ekvwriter
