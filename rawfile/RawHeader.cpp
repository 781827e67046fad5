// The EKV container reader: recognition, the header directories (IFD0, Exif IFD, thumbnail
// IFD, maker note) and the JPEG thumbnail, all parsed from one copy of the file's first
// kRAW_HeaderMaxSize bytes.
//
// Bounds: every position is computed as a 64-bit offset from the start of the bytes read
// and tested against their count before anything is read there. A directory whose count
// lies outside them is absent; of a directory whose entries run past them, only the whole
// entries inside are applied (a truncated file keeps what it has) and its next-directory
// offset is absent; a value array or a pointer outside them has no effect.
#include "RawInfo.h"

#include "../plugin/HostMemory.h"
#include "EkvTags.h"

namespace {

const int64_t kEntrySize = 12;
const int64_t kMakerNoteHeaderSize = 10;

uint16 RAW_Swap16(uint16 inValue) { return static_cast<uint16>((inValue >> 8) | (inValue << 8)); }

uint32 RAW_Swap32(uint32 inValue) {
    return (inValue >> 24) | ((inValue >> 8) & 0x0000FF00u) | ((inValue << 8) & 0x00FF0000u) | (inValue << 24);
}

// Bytes as they stand, in host (little-endian) order, as a copy into a record gives them.
uint16 RAW_Raw16(const uint8_t *inPtr) { return static_cast<uint16>(inPtr[0] | (inPtr[1] << 8)); }

uint32 RAW_Raw32(const uint8_t *inPtr) {
    return static_cast<uint32>(inPtr[0]) | (static_cast<uint32>(inPtr[1]) << 8) |
           (static_cast<uint32>(inPtr[2]) << 16) | (static_cast<uint32>(inPtr[3]) << 24);
}

uint16 RAW_Get16(const uint8_t *inPtr, uint16 inMode) {
    uint16 aValue = RAW_Raw16(inPtr);
    return inMode == kRAW_BigEndian ? RAW_Swap16(aValue) : aValue;
}

uint32 RAW_Get32(const uint8_t *inPtr, uint16 inMode) {
    uint32 aValue = RAW_Raw32(inPtr);
    return inMode == kRAW_BigEndian ? RAW_Swap32(aValue) : aValue;
}

// Whether inCount bytes from inOffset lie inside the inSize bytes read.
bool RAW_Inside(int64_t inOffset, int64_t inCount, int32 inSize) {
    return inOffset >= 0 && inCount >= 0 && inOffset + inCount <= static_cast<int64_t>(inSize);
}

int16 RAW_Signed16(uint32 inBits) { return static_cast<int16>(static_cast<uint16>(inBits & 0xFFFFu)); }

// Reads inCount 16-bit values at the entry's offset into outValues, or nothing at all
// when the array does not lie inside the bytes read.
void RAW_Read16Array(const TIFF_IFD_Entry *inEntry, const uint8_t *inPtr, int32 inSize, uint16 inMode, int inCount,
                     int16 *outValues) {
    int64_t aStart = inEntry->offset;
    if (!RAW_Inside(aStart, 2 * static_cast<int64_t>(inCount), inSize)) return;
    for (int aIndex = 0; aIndex < inCount; ++aIndex)
        outValues[aIndex] = static_cast<int16>(RAW_Get16(inPtr + aStart + 2 * aIndex, inMode));
}

// StripOffsets and StripByteCounts: several values from the offset, or the value field
// itself. Values past the 15th have nowhere to go and are ignored.
void RAW_ReadStripArray(const TIFF_IFD_Entry *inEntry, const uint8_t *inPtr, int32 inSize, uint16 inMode,
                        int32 *outValues) {
    if (inEntry->length <= 1) {
        outValues[0] = static_cast<int32>(inEntry->offset);
        return;
    }
    int64_t aCount = inEntry->length;
    if (aCount > kRAW_MaxStrips) aCount = kRAW_MaxStrips;
    int64_t aStart = inEntry->offset;
    if (!RAW_Inside(aStart, 4 * aCount, inSize)) return;
    for (int64_t aIndex = 0; aIndex < aCount; ++aIndex)
        outValues[aIndex] = static_cast<int32>(RAW_Get32(inPtr + aStart + 4 * aIndex, inMode));
}

// Two signed 16-bit halves packed as first × 65536 + second, in 32-bit wrap-around
// arithmetic (the packing of the white-balance gain words).
int32 RAW_PackHalves(uint32 inField) {
    int64_t aFirst = RAW_Signed16(inField);
    int64_t aSecond = RAW_Signed16(inField >> 16);
    return static_cast<int32>(static_cast<uint32>(aFirst * 65536 + aSecond));
}

void RAW_ApplyMainEntry(const TIFF_IFD_Entry *inEntry, const uint8_t *inPtr, int32 inSize, uint16 inMode,
                        RAW_Info *outInfo) {
    switch (inEntry->tag) {
        case kRAW_Tag_ImageWidth: outInfo->image_width = RAW_ReadIFD_LongOrShort(inEntry); break;
        case kRAW_Tag_ImageLength: outInfo->image_length = RAW_ReadIFD_LongOrShort(inEntry); break;
        case kRAW_Tag_BitsPerSample: outInfo->bit_per_sample = RAW_ReadIFD_ShortOrLong(inEntry); break;
        case kRAW_Tag_PhotometricInterpretation:
            outInfo->photometric_interpretation = RAW_ReadIFD_ShortOrLong(inEntry);
            break;
        case kRAW_Tag_StripOffsets: RAW_ReadStripArray(inEntry, inPtr, inSize, inMode, outInfo->strip_offsets); break;
        case kRAW_Tag_SamplesPerPixel: outInfo->sample_per_pixel = RAW_ReadIFD_ShortOrLong(inEntry); break;
        case kRAW_Tag_RowsPerStrip: outInfo->raw_per_strip = RAW_ReadIFD_LongOrShort(inEntry); break;
        case kRAW_Tag_StripByteCounts:
            RAW_ReadStripArray(inEntry, inPtr, inSize, inMode, outInfo->strip_byte_count);
            break;
        case kRAW_Tag_Sharpness: outInfo->sharpness = RAW_ReadIFD_ShortOrLong(inEntry); break;
        case kRAW_Tag_CFAPattern: {
            // The repeat size is read low byte first whatever the file's byte order.
            int64_t aStart = inEntry->offset;
            if (!RAW_Inside(aStart, 8, inSize)) break;
            const uint8_t *aPattern = inPtr + aStart;
            outInfo->cfa_pattern.size[0] = static_cast<int16>(RAW_Raw16(aPattern));
            outInfo->cfa_pattern.size[1] = static_cast<int16>(RAW_Raw16(aPattern + 2));
            for (int aIndex = 0; aIndex < 4; ++aIndex) outInfo->cfa_pattern.value[aIndex] = aPattern[4 + aIndex];
            break;
        }
        default: break;
    }
}

void RAW_ApplyMakerNoteEntry(const TIFF_IFD_Entry *inEntry, const uint8_t *inPtr, int32 inSize, uint16 inMode,
                             RAW_Info *outInfo) {
    switch (inEntry->tag) {
        case kRAW_Tag_ColorMatrix: RAW_Read16Array(inEntry, inPtr, inSize, inMode, 9, outInfo->color_matrix); break;
        case kRAW_Tag_OpticalBlack: RAW_Read16Array(inEntry, inPtr, inSize, inMode, 4, outInfo->optical_black); break;
        case kRAW_Tag_WBGainGr: outInfo->wb_gain_gr = RAW_PackHalves(inEntry->offset); break;
        case kRAW_Tag_WBGainGb: outInfo->wb_gain_gb = RAW_PackHalves(inEntry->offset); break;
        case kRAW_Tag_ToneMode: outInfo->tone_mode = RAW_ReadIFD_ShortOrLong(inEntry); break;
        case kRAW_Tag_Enhancer: outInfo->enhancer = RAW_ReadIFD_ShortOrLong(inEntry); break;
        case kRAW_Tag_ChromaSuppress: RAW_Read16Array(inEntry, inPtr, inSize, inMode, 6, outInfo->chromasupless); break;
        case kRAW_Tag_ValidBits:
            outInfo->valid_bits_per_pixel[0] = RAW_Signed16(inEntry->offset);
            outInfo->valid_bits_per_pixel[1] = RAW_Signed16(inEntry->offset >> 16);
            break;
        case kRAW_Tag_Coring: outInfo->coring = RAW_ReadIFD_ShortOrLong(inEntry); break;
        case kRAW_Tag_OutputImageWidth: outInfo->output_image_width = RAW_ReadIFD_LongOrShort(inEntry); break;
        case kRAW_Tag_OutputImageHeight: outInfo->output_image_height = RAW_ReadIFD_LongOrShort(inEntry); break;
        default: break;
    }
}

// The entry at inOffset, copied and brought to host order.
TIFF_IFD_Entry RAW_EntryAt(const uint8_t *inData, int64_t inOffset, uint16 inMode) {
    TIFF_IFD_Entry aEntry;
    const uint8_t *aBytes = inData + inOffset;
    aEntry.tag = RAW_Raw16(aBytes);
    aEntry.type = RAW_Raw16(aBytes + 2);
    aEntry.length = RAW_Raw32(aBytes + 4);
    aEntry.offset = RAW_Raw32(aBytes + 8);
    RAW_EndianIFDEntry(&aEntry, inMode);
    return aEntry;
}

// What the walk of the directories has found so far.
struct RAW_HeaderWalk {
    const uint8_t *exif;  // Exif IFD, or null
    const uint8_t *jpeg;  // JPEG data, or null
    uint32 jpegLength;
    int64_t makerNote;  // file offset of the maker note, or -1
    int64_t nextIFD;    // offset after the last whole entry read, or -1
};

// Applies the whole entries of the directory whose count lies at inOffset and reports in
// ioWalk what the caller looks for in that directory. inCountSize is 2 for a directory,
// and the entries follow at inOffset + inEntriesAt.
void RAW_WalkDirectory(const uint8_t *inData, int32 inSize, uint16 inMode, int64_t inOffset, int64_t inEntriesAt,
                       uint32 inType, RAW_Info *ioInfo, RAW_HeaderWalk *ioWalk) {
    ioWalk->nextIFD = -1;
    if (!RAW_Inside(inOffset + inEntriesAt - 2, 2, inSize)) return;
    int64_t aCount = RAW_Get16(inData + inOffset + inEntriesAt - 2, inMode);
    int64_t aFirst = inOffset + inEntriesAt;
    for (int64_t aIndex = 0; aIndex < aCount; ++aIndex) {
        int64_t aAt = aFirst + aIndex * kEntrySize;
        if (!RAW_Inside(aAt, kEntrySize, inSize)) return;  // a partial entry ends the directory
        TIFF_IFD_Entry aEntry = RAW_EntryAt(inData, aAt, inMode);
        const uint8_t *aPosition = RAW_ReadIFD(&aEntry, inData, inSize, inMode, inType, ioInfo);
        // The last occurrence of a pointer decides, even one that points outside.
        if (inType == kRAW_IFD0 && aEntry.tag == kRAW_Tag_ExifIFD) ioWalk->exif = aPosition;
        if (inType == kRAW_ExifIFD && aEntry.tag == kRAW_Tag_MakerNote) ioWalk->makerNote = aEntry.offset;
        if (inType == kRAW_ThumbnailIFD && aEntry.tag == kRAW_Tag_JPEGInterchangeFormat) ioWalk->jpeg = aPosition;
        if (inType == kRAW_ThumbnailIFD && aEntry.tag == kRAW_Tag_JPEGInterchangeFormatLength)
            ioWalk->jpegLength = aEntry.offset;
    }
    int64_t aNext = aFirst + aCount * kEntrySize;
    if (RAW_Inside(aNext, 4, inSize)) ioWalk->nextIFD = RAW_Get32(inData + aNext, inMode);
}

bool RAW_IsStartOfImage(const uint8_t *inData, int64_t inAt) {
    return inData[inAt] == 0xFF && inData[inAt + 1] == 0xD8;
}

// Copies the thumbnail JPEG out of the header bytes. The start is the last FF D8 FF E0 at
// an even distance from the first FF D8 at or after the JPEG position (or that first
// marker); the end is the first marker plus the JPEG length. A stream with no marker
// inside the bytes read, or one whose end lies past them, gives no thumbnail.
OSErr RAW_ExtractThumbnail(const uint8_t *inData, int32 inSize, int64_t inJPEG, uint32 inLength,
                           HandleProcs *inHandleProcs, Handle *outThumbnail) {
    int64_t aFirst = inJPEG;
    while (RAW_Inside(aFirst, 2, inSize) && !RAW_IsStartOfImage(inData, aFirst)) aFirst += 2;
    if (!RAW_Inside(aFirst, 2, inSize)) return 0;
    int64_t aEnd = aFirst + inLength;
    int64_t aStart = aFirst;
    int64_t aAt = aFirst;
    while (aAt < aEnd) {
        aAt += 2;
        if (!RAW_Inside(aAt, 4, inSize)) break;  // nothing further can match
        if (RAW_IsStartOfImage(inData, aAt) && inData[aAt + 2] == 0xFF && inData[aAt + 3] == 0xE0) aStart = aAt;
    }
    if (aStart >= aEnd || aEnd > inSize) return 0;
    int32 aSize = static_cast<int32>(aEnd - aStart);
    Handle aThumbnail = RAW_NewHandle(inHandleProcs, aSize);
    if (aThumbnail == nullptr) return memFullErr;
    Ptr aBytes = RAW_LockHandle(inHandleProcs, aThumbnail, false);
    if (aBytes == nullptr) {
        RAW_DisposeHandle(inHandleProcs, aThumbnail);
        return memFullErr;
    }
    BlockMove(inData + aStart, aBytes, aSize);
    RAW_UnlockHandle(inHandleProcs, aThumbnail);
    *outThumbnail = aThumbnail;
    return 0;
}

// The first 10 bytes as they stand, brought to host order.
TIFF_Header RAW_HeaderOf(const uint8_t *inBytes) {
    TIFF_Header aHeader;
    aHeader.endian = RAW_Raw16(inBytes);
    aHeader.version = RAW_Get16(inBytes + 2, aHeader.endian);
    aHeader.offset = RAW_Get32(inBytes + 4, aHeader.endian);
    aHeader.count = RAW_Get16(inBytes + 8, aHeader.endian);
    return aHeader;
}

}  // namespace

Boolean RAW_IsEKVHeader(const TIFF_Header *inHeader) { return inHeader->version == kRAW_EKVVersion; }

Boolean RAW_IsEKV(const FSSpec *inFile) {
    int16 aRefNum = 0;
    if (FSpOpenDF(inFile, fsRdPerm, &aRefNum) != noErr) return false;
    uint8_t aBytes[10];
    int32 aCount = sizeof aBytes;
    FSRead(aRefNum, &aCount, aBytes);
    FSClose(aRefNum);
    if (aCount != static_cast<int32>(sizeof aBytes)) return false;
    TIFF_Header aHeader = RAW_HeaderOf(aBytes);
    return RAW_IsEKVHeader(&aHeader);
}

void RAW_EndianIFDEntry(TIFF_IFD_Entry *ioEntry, uint16 inMode) {
    if (inMode != kRAW_BigEndian) return;
    ioEntry->tag = RAW_Swap16(ioEntry->tag);
    ioEntry->type = RAW_Swap16(ioEntry->type);
    ioEntry->length = RAW_Swap32(ioEntry->length);
    if ((ioEntry->type == kTIFF_SHORT || ioEntry->type == kTIFF_SSHORT) && ioEntry->length <= 2) {
        // One or two inline 16-bit values: swap each half where it stands.
        uint32 aField = ioEntry->offset;
        ioEntry->offset = ((aField & 0xFF00FF00u) >> 8) | ((aField & 0x00FF00FFu) << 8);
    } else {
        ioEntry->offset = RAW_Swap32(ioEntry->offset);
    }
}

// The first 16-bit half of the value field is its low half in host order.
int16 RAW_ReadIFD_ShortOrLong(const TIFF_IFD_Entry *inEntry) { return RAW_Signed16(inEntry->offset); }

int32 RAW_ReadIFD_LongOrShort(const TIFF_IFD_Entry *inEntry) {
    if (inEntry->type == kTIFF_SHORT || inEntry->type == kTIFF_SSHORT) return RAW_Signed16(inEntry->offset);
    return static_cast<int32>(inEntry->offset);
}

// A pointer tag whose value lies outside the bytes read gives null, like no pointer.
const uint8_t *RAW_ReadIFD(const TIFF_IFD_Entry *inEntry, const uint8_t *inPtr, int32 inSize, uint16 inMode,
                           uint32 inType, RAW_Info *outInfo) {
    if (inType == kRAW_MakerNoteIFD) {
        RAW_ApplyMakerNoteEntry(inEntry, inPtr, inSize, inMode, outInfo);
        return nullptr;
    }
    if (inEntry->tag == kRAW_Tag_JPEGInterchangeFormat || inEntry->tag == kRAW_Tag_ExifIFD)
        return RAW_Inside(inEntry->offset, 1, inSize) ? inPtr + inEntry->offset : nullptr;
    RAW_ApplyMainEntry(inEntry, inPtr, inSize, inMode, outInfo);
    return nullptr;
}

OSErr RAW_ReadHeaderInfo(const uint8_t *inData, int32 inSize, RAW_Info *ioInfo, HandleProcs *inHandleProcs,
                         Handle *outThumbnail) {
    *outThumbnail = nullptr;
    OSErr aResult = 0;
    // Fewer bytes than the TIFF header: nothing to parse, the record stays as it is.
    if (inData == nullptr || inSize < 10) return aResult;
    TIFF_Header aHeader = RAW_HeaderOf(inData);
    uint16 aMode = aHeader.endian;
    ioInfo->endian = aMode;

    // IFD0 always begins at offset 8, whatever the header's first-IFD offset says.
    RAW_HeaderWalk aWalk = {nullptr, nullptr, 0, -1, -1};
    RAW_WalkDirectory(inData, inSize, aMode, 8, 2, kRAW_IFD0, ioInfo, &aWalk);
    int64_t aThumbnailIFD = aWalk.nextIFD > 0 ? aWalk.nextIFD : -1;

    if (aWalk.exif != nullptr)
        RAW_WalkDirectory(inData, inSize, aMode, aWalk.exif - inData, 2, kRAW_ExifIFD, ioInfo, &aWalk);

    if (aThumbnailIFD > 0) {
        RAW_WalkDirectory(inData, inSize, aMode, aThumbnailIFD, 2, kRAW_ThumbnailIFD, ioInfo, &aWalk);
        if (aWalk.jpeg != nullptr)
            aResult = RAW_ExtractThumbnail(inData, inSize, aWalk.jpeg - inData, aWalk.jpegLength, inHandleProcs,
                                           outThumbnail);
    }

    // The maker note: a 10-byte header whose last two bytes count the entries after it.
    if (aWalk.makerNote >= 0 && RAW_Inside(aWalk.makerNote, kMakerNoteHeaderSize, inSize))
        RAW_WalkDirectory(inData, inSize, aMode, aWalk.makerNote, kMakerNoteHeaderSize, kRAW_MakerNoteIFD, ioInfo,
                          &aWalk);
    return aResult;
}

OSErr RAW_ReadHeader(const FSSpec *inFile, RAW_Info *ioInfo, HandleProcs *inHandleProcs, Handle *outThumbnail) {
    *outThumbnail = nullptr;
    int16 aRefNum = 0;
    Boolean aOpen = FSpOpenDF(inFile, fsRdPerm, &aRefNum) == noErr;
    Handle aBuffer = RAW_NewHandle(inHandleProcs, kRAW_HeaderMaxSize);
    Ptr aData = aBuffer != nullptr ? RAW_LockHandle(inHandleProcs, aBuffer, false) : nullptr;
    if (aData == nullptr) {
        if (aBuffer != nullptr) RAW_DisposeHandle(inHandleProcs, aBuffer);
        if (aOpen) FSClose(aRefNum);
        return memFullErr;
    }
    // One read of the whole header; a shorter file is read whole, an unreadable one not at all.
    int32 aCount = 0;
    if (aOpen) {
        aCount = kRAW_HeaderMaxSize;
        FSRead(aRefNum, &aCount, aData);
        FSClose(aRefNum);
        if (aCount < 0 || aCount > kRAW_HeaderMaxSize) aCount = 0;
    }
    OSErr aResult =
        RAW_ReadHeaderInfo(reinterpret_cast<const uint8_t *>(aData), aCount, ioInfo, inHandleProcs, outThumbnail);
    RAW_UnlockHandle(inHandleProcs, aBuffer);
    RAW_DisposeHandle(inHandleProcs, aBuffer);
    return aResult;
}
