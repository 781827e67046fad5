// The tag numbers of the EKV container: the TIFF and Exif tags it uses and the camera's
// own (IFD0's sharpness and the maker note's settings). It needs no other header, so the
// reader, the file writer, the command-line host's tag reader and the tests share it.
#ifndef KARVEX_RAWFILE_EKVTAGS_H
#define KARVEX_RAWFILE_EKVTAGS_H

enum RAW_Tag {
    // IFD0: the mosaic, its strips and the camera's identification.
    kRAW_Tag_ImageWidth = 0x0100,
    kRAW_Tag_ImageLength = 0x0101,
    kRAW_Tag_BitsPerSample = 0x0102,
    kRAW_Tag_Compression = 0x0103,
    kRAW_Tag_PhotometricInterpretation = 0x0106,
    kRAW_Tag_Make = 0x010F,
    kRAW_Tag_Model = 0x0110,
    kRAW_Tag_StripOffsets = 0x0111,
    kRAW_Tag_SamplesPerPixel = 0x0115,
    kRAW_Tag_RowsPerStrip = 0x0116,
    kRAW_Tag_StripByteCounts = 0x0117,
    kRAW_Tag_Software = 0x0131,
    kRAW_Tag_DateTime = 0x0132,
    kRAW_Tag_Artist = 0x013B,
    kRAW_Tag_Copyright = 0x8298,
    kRAW_Tag_ExifIFD = 0x8769,
    kRAW_Tag_Sharpness = 0x100F,  // the camera's; counts in IFD0 only

    // The thumbnail IFD.
    kRAW_Tag_JPEGInterchangeFormat = 0x0201,
    kRAW_Tag_JPEGInterchangeFormatLength = 0x0202,

    // The Exif IFD.
    kRAW_Tag_ExposureTime = 0x829A,
    kRAW_Tag_FNumber = 0x829D,
    kRAW_Tag_ISOSpeedRatings = 0x8827,
    kRAW_Tag_ExifVersion = 0x9000,
    kRAW_Tag_DateTimeOriginal = 0x9003,
    kRAW_Tag_FocalLength = 0x920A,
    kRAW_Tag_MakerNote = 0x927C,
    kRAW_Tag_CFAPattern = 0xA302,

    // The maker note: the development settings.
    kRAW_Tag_ColorMatrix = 0x1011,
    kRAW_Tag_OpticalBlack = 0x1012,
    kRAW_Tag_WBGainGr = 0x1017,
    kRAW_Tag_WBGainGb = 0x1018,
    kRAW_Tag_ToneMode = 0x1029,
    kRAW_Tag_Enhancer = 0x102A,
    kRAW_Tag_ChromaSuppress = 0x102B,
    kRAW_Tag_ValidBits = 0x102C,
    kRAW_Tag_Coring = 0x102D,
    kRAW_Tag_OutputImageWidth = 0x102E,
    kRAW_Tag_OutputImageHeight = 0x102F
};

#endif
