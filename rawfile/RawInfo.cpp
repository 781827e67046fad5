// Defaults of the raw information record: the geometry and settings a file without the
// corresponding tags converts with.
#include "RawInfo.h"

void RAW_DefaultInfo(RAW_Info *inInfo) {
    inInfo->image_width = 2256;
    inInfo->image_length = 1684;
    inInfo->bit_per_sample = 16;
    inInfo->photometric_interpretation = 1;
    for (int aIndex = 0; aIndex < kRAW_MaxStrips; ++aIndex) {
        inInfo->strip_offsets[aIndex] = 0;
        inInfo->strip_byte_count[aIndex] = aIndex < kRAW_MaxStrips - 1 ? 523392 : 270720;
    }
    inInfo->sample_per_pixel = 1;
    inInfo->raw_per_strip = 116;
    inInfo->wb_gain_gr = 0;
    inInfo->wb_gain_gb = 0;
    inInfo->sharpness = 0;
    inInfo->cfa_pattern.size[0] = 2;
    inInfo->cfa_pattern.size[1] = 2;
    inInfo->cfa_pattern.value[0] = 0;
    inInfo->cfa_pattern.value[1] = 1;
    inInfo->cfa_pattern.value[2] = 1;
    inInfo->cfa_pattern.value[3] = 2;
    for (int aIndex = 0; aIndex < 4; ++aIndex) inInfo->optical_black[aIndex] = 0;
    inInfo->tone_mode = 0;
    for (int aIndex = 0; aIndex < 9; ++aIndex) inInfo->color_matrix[aIndex] = 0;
    inInfo->enhancer = 0;
    for (int aIndex = 0; aIndex < 6; ++aIndex) inInfo->chromasupless[aIndex] = 0;
    inInfo->valid_bits_per_pixel[0] = 10;
    inInfo->valid_bits_per_pixel[1] = 0;
    inInfo->coring = 0;
    inInfo->output_image_width = 2240;
    inInfo->output_image_height = 1680;
}
