// The raw information record, the on-disk records of the EKV container, and the reader's
// functions: recognition, header parsing, strip reading and sample alignment.
#ifndef KARVEX_RAWFILE_RAWINFO_H
#define KARVEX_RAWFILE_RAWINFO_H

#include "../host/AcquireInterface.h"
#include "../host/MediaLayer.h"

enum { kRAW_HeaderMaxSize = 51400 };
enum { kRAW_MaxStrips = 15 };
enum { kRAW_EKVVersion = 0x454B, kRAW_BigEndian = 0x4D4D, kRAW_LittleEndian = 0x4949 };

// Directory kinds passed to RAW_ReadIFD.
enum {
    kRAW_IFD0 = 0,
    kRAW_ThumbnailIFD = 1,
    kRAW_ExifIFD = 0x65787072,      // 'expr'
    kRAW_MakerNoteIFD = 0x6D6B6E74  // 'mknt'
};

// TIFF field types.
enum {
    kTIFF_BYTE = 1,
    kTIFF_ASCII = 2,
    kTIFF_SHORT = 3,
    kTIFF_LONG = 4,
    kTIFF_RATIONAL = 5,
    kTIFF_SBYTE = 6,
    kTIFF_UNDEFINED = 7,
    kTIFF_SSHORT = 8,
    kTIFF_SLONG = 9,
    kTIFF_SRATIONAL = 10
};

typedef struct CFA_PatternRec {
    int16 size[2];
    uint8_t value[4];
} CFA_PatternRec;

typedef struct RAW_Info {
    uint16 endian;
    int32 image_width;
    int32 image_length;
    int16 bit_per_sample;
    int16 photometric_interpretation;
    int32 strip_offsets[kRAW_MaxStrips];
    int16 sample_per_pixel;
    int32 raw_per_strip;
    int32 strip_byte_count[kRAW_MaxStrips];
    int32 wb_gain_gr;
    int32 wb_gain_gb;
    int16 sharpness;
    CFA_PatternRec cfa_pattern;
    int16 optical_black[4];
    int16 tone_mode;
    int16 color_matrix[9];
    int16 enhancer;
    int16 chromasupless[6];
    int16 valid_bits_per_pixel[2];
    int16 coring;
    int32 output_image_width;
    int32 output_image_height;
} RAW_Info;

// The first 10 bytes of the file, brought to host order.
typedef struct TIFF_Header {
    uint16 endian;
    uint16 version;
    uint32 offset;
    uint16 count;
} TIFF_Header;

// One 12-byte directory entry.
typedef struct TIFF_IFD_Entry {
    uint16 tag;
    uint16 type;
    uint32 length;
    uint32 offset;
} TIFF_IFD_Entry;

typedef struct MakerNoteHeader {
    char signature[5];
    char version[3];
    uint16 count;
} MakerNoteHeader;

void RAW_DefaultInfo(RAW_Info *inInfo);

Boolean RAW_IsEKV(const FSSpec *inFile);
Boolean RAW_IsEKVHeader(const TIFF_Header *inHeader);
OSErr RAW_ReadHeader(const FSSpec *inFile, RAW_Info *ioInfo, HandleProcs *inHandleProcs, Handle *outThumbnail);
// Parses header bytes read from file offset 0. inSize is the number of bytes actually
// read: nothing outside them is ever looked at.
OSErr RAW_ReadHeaderInfo(const uint8_t *inData, int32 inSize, RAW_Info *ioInfo, HandleProcs *inHandleProcs,
                         Handle *outThumbnail);
void RAW_EndianIFDEntry(TIFF_IFD_Entry *ioEntry, uint16 inMode);
// Applies one normalised entry. Returns inPtr + value for the pointer tags (Exif IFD and
// JPEG thumbnail, EkvTags.h) when that position lies inside the inSize bytes, null
// otherwise and for every other tag. inSize bounds every array the entry points to.
const uint8_t *RAW_ReadIFD(const TIFF_IFD_Entry *inEntry, const uint8_t *inPtr, int32 inSize, uint16 inMode,
                           uint32 inType, RAW_Info *outInfo);
int16 RAW_ReadIFD_ShortOrLong(const TIFF_IFD_Entry *inEntry);
int32 RAW_ReadIFD_LongOrShort(const TIFF_IFD_Entry *inEntry);

// Whether the pipeline can convert a file with this header safely (sizes, valid bits).
Boolean RAW_IsConvertibleHeader(const RAW_Info *inInfo);

OSErr RAW_ReadStrip(const FSSpec *inFile, const RAW_Info *inInfo, uint32 inFrom, uint32 inLength,
                    HandleProcs *inHandleProcs, Handle *outData);
// The right shift that brings samples of ValidBits valid bits at bit Offset to the bottom:
// 0 when valid and offset bits exceed 16 (the bits are then left as they are).
static inline int RAW_ValidBitsShift(uint16 ValidBits, uint16 Offset) {
    int aShift = 16 - static_cast<int>(ValidBits) - static_cast<int>(Offset);
    return aShift < 0 ? 0 : aShift;
}
void RAW_ShiftRight(uint16 *Bayer, uint16 Bayer_H, uint16 Bayer_V, uint16 ValidBits, uint16 Offset, uint16 Endian);

#endif
