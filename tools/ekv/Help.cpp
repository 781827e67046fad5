// The --help texts: complete enough to stand in for a manual page.
#include "Cli.h"

namespace ekv {

#define EKV_EXIT_CODES                                                                  \
    "Exit status:\n"                                                                    \
    "  0   success\n"                                                                   \
    "  2   bad command line (also an empty -o or -d, or an output name whose\n"         \
    "      extension names another format)\n"                                         \
    "  3   an input file is missing, unreadable or not a regular file\n"                \
    "  4   not an EKV file (the module answers \"Not an EKV File.\")\n"                 \
    "  5   damaged EKV file, or one the module does not support\n"                      \
    "  6   the import was cancelled\n"                                                  \
    "  7   out of memory\n"                                                             \
    "  8   the output cannot be written (the system's reason follows: permission,\n"   \
    "      full disk, file size limit...), or it would replace an input file\n"       \
    "  9   the module broke the host interface (the import ends with -30000) or\n"      \
    "      failed with another result code\n"                                           \
    "  10  the file carries no thumbnail (ekv thumbnail)\n"                             \
    "Every failure prints one line on standard error: \"ekv: FILE: REASON\".\n"

// The commands that write files end cleanly on these signals.
#define EKV_EXIT_SIGNALS                                                                \
    "  129, 130, 143  ended by SIGHUP, SIGINT (Ctrl-C) or SIGTERM: the temporary file\n" \
    "      of an unfinished output is removed; finished outputs stay\n"

const char *const kHelpMain =
    "Usage: ekv COMMAND [OPTIONS] [FILE...]\n"
    "\n"
    "The command-line host of the Karvex RAW File import module. It loads the module as\n"
    "an image editor loads an Acquire plug-in, answers its open-file dialog, conversion\n"
    "dialog and message boxes, and writes what the module delivers.\n"
    "\n"
    "Commands:\n"
    "  convert FILE...      develop EKV raw files into RGB TIFF or PNG files\n"
    "  info FILE            print the file's header and what an import will produce\n"
    "  thumbnail FILE -o J  extract the embedded JPEG thumbnail\n"
    "  preview FILE -o P    render the conversion dialog's 320 x 240 preview\n"
    "  dng FILE...          write EKV raw files as DNG for other raw converters\n"
    "  about                print the module's about box\n"
    "\n"
    "'ekv COMMAND --help' (or 'ekv help COMMAND') describes each command.\n"
    "\n" EKV_EXIT_CODES;

const char *const kHelpConvert =
    "Usage: ekv convert FILE... [-m 0|1|2] [--wb-point H,V] [-o OUT | -d DIR]\n"
    "                   [--format tiff|png] [--no-clobber] [--8bit] [--max-memory MB]\n"
    "                   [--reference] [-j N] [--compress none|deflate|zstd|lzw]\n"
    "                   [--png-level 0-9]\n"
    "\n"
    "Imports each EKV file through the module (selectors Prepare, Start, Continue...,\n"
    "Finish, Finalize) and writes the RGB document it delivers. Each band's rows go to\n"
    "the output as soon as the module has delivered its three planes; a writer thread\n"
    "encodes and writes them while the module develops the next band, so the memory\n"
    "used does not grow with the image. With -j 1 the module is kept loaded from one\n"
    "file to the next, as an image editor keeps it; with more jobs each file is\n"
    "converted in a worker process of its own.\n"
    "\n"
    "Options:\n"
    "  -m, --method N     the processing method chosen in the conversion dialog:\n"
    "                       0  RGB Conversion (plain development; the default, as the\n"
    "                          dialog opens with it)\n"
    "                       1  RGB, WB and Color Adjustment (the camera's black levels,\n"
    "                          white balance and colour matrix)\n"
    "                       2  RGB, Auto Image Process (adds the camera's tone curve,\n"
    "                          edge enhancement, coring and chroma suppression)\n"
    "  --wb-point H,V     the white-balance reference point clicked on the preview,\n"
    "                     in preview pixels: H from 0 to 319, V from 0 to 239 (see\n"
    "                     'ekv preview'). Methods 1 and 2 only. Without it the module\n"
    "                     uses the gains it computed last.\n"
    "  -o, --output OUT   the output file (one input only); - for standard output.\n"
    "                     Its extension names the format: .tif or .tiff TIFF, .png\n"
    "                     PNG (any case). Another extension needs --format; one that\n"
    "                     names another format than --format is refused.\n"
    "  -d, --directory DIR\n"
    "                     write each output into DIR as NAME.tif or NAME.png. Without\n"
    "                     -o and -d each output goes next to its input.\n"
    "  -f, --format F     tiff (the default) or png\n"
    "  --no-clobber       keep existing regular files: such an output is skipped with\n"
    "                     a note, and its input is not converted. Without it existing\n"
    "                     outputs are replaced.\n"
    "  --8bit             write 8 bits per sample. The module itself makes an 8-bit\n"
    "                     document only for files with at most 8 valid bits; a 16-bit\n"
    "                     document is reduced to 8 bits by this host on output\n"
    "                     (rounded: v8 = (v16 x 255 + 32767) / 65535).\n"
    "  --max-memory MB    the memory the host grants the module (default: no limit);\n"
    "                     an import that needs more ends with \"out of memory\".\n"
    "  --reference        develop with the module's straightforward stage code instead\n"
    "                     of its optimised stages; the output is the same bit for bit\n"
    "                     (a check of the optimised stages), only slower.\n"
    "  -j, --jobs N       convert up to N files at once (default: the number of online\n"
    "                     processors); -j 1 converts one after another in this process\n"
    "  --compress C       TIFF compression: none (the default), deflate, zstd or lzw,\n"
    "                     with the horizontal predictor; the samples are the same\n"
    "  --png-level L      zlib level 0 to 9 for PNG with zlib's usual strategy and\n"
    "                     libpng's adaptive row filters (9: the smallest files, slow).\n"
    "                     Without it, PNG rows get the Up filter and Huffman-only\n"
    "                     coding: within a few percent of libpng's default size, more\n"
    "                     than ten times faster.\n"
    "  -h, --help         this text\n"
    "\n"
    "Output: RGB TIFF (libtiff; uncompressed unless --compress) or PNG (libpng), 16\n"
    "bits per sample for files with more than 8 valid bits, else 8; 72 pixels per\n"
    "inch, as the module describes the document. The size is the file's output size.\n"
    "Rows the module does not deliver (it delivers whole bands only) are written\n"
    "black, with a note on stderr.\n"
    "Each output is written to a temporary file in its directory and renamed into\n"
    "place when complete, so a failed conversion (or an interrupted one) leaves no\n"
    "partial file and the earlier file, if any, untouched. A replaced file keeps its\n"
    "permission bits (and, for root, its owner); an existing file the user may not\n"
    "write is refused (exit 8), as a direct write would be. A symbolic link is\n"
    "followed: the file it points to is replaced, in its own directory, and the link\n"
    "stays. Standard output and existing files that are not regular (devices, FIFOs,\n"
    "sockets) are written as they are, never replaced: the image is built in an\n"
    "unnamed temporary file in $TMPDIR (else /tmp) and copied to them when complete.\n"
    "An output path that names an input file is refused, and so is an output that an\n"
    "earlier input of the same call already produced.\n"
    "\n"
    "Several files are converted in one call, several at once (-j); a failure is\n"
    "reported and the other files are still converted. Messages come in the order of\n"
    "the files, and the exit status is that of the first failing file in that order.\n"
    "An import that breaks the order of bands (a band out of order, a plane twice, a\n"
    "band missing a plane) or ends before the rows it delivers for the file fails\n"
    "with status 9; a write that fails part-way (a full disk) with status 8. Neither\n"
    "leaves a file. A progress bar (files done out of the total and the overall\n"
    "progress) is drawn on standard error when it is a terminal; otherwise the\n"
    "command is quiet unless something fails.\n"
    "\n"
    "Examples:\n"
    "  ekv convert IMG_0001.ekv                    # IMG_0001.tif beside it\n"
    "  ekv convert *.ekv -m 2 -d developed/\n"
    "  ekv convert *.ekv -d developed/ --compress zstd -j 2\n"
    "  ekv convert a.ekv -m 1 --wb-point 160,120 -o a.png\n"
    "  ekv convert a.ekv -m 2 -o - | ssh host 'cat >a.tif'\n"
    "\n" EKV_EXIT_CODES EKV_EXIT_SIGNALS;

const char *const kHelpInfo =
    "Usage: ekv info FILE [--json]\n"
    "\n"
    "Reads the file's header with the module's own reader and prints every field of\n"
    "the raw information record (the reader's defaults for whatever the file omits),\n"
    "the thumbnail's size in bytes and pixels, whether the module will convert the\n"
    "file, and what an import will produce: the band height in sensor rows (30, 16, 10\n"
    "or 6 by output width), the rows per band (band height - 4), the document size and\n"
    "depth, and the rows delivered (whole bands only).\n"
    "\n"
    "Options:\n"
    "  --json      print one JSON object (arrays for the array fields)\n"
    "  -h, --help  this text\n"
    "\n"
    "Fields: endian, image_width, image_length, bit_per_sample,\n"
    "photometric_interpretation, strip_offsets (15), sample_per_pixel, raw_per_strip,\n"
    "strip_byte_count (15), wb_gain_gr, wb_gain_gb, sharpness, cfa_pattern_size,\n"
    "cfa_pattern_value (0 red, 1 green, 2 blue), optical_black (4), tone_mode,\n"
    "color_matrix (9), enhancer, chromasupless (6), valid_bits_per_pixel (bits, offset),\n"
    "coring, output_image_width, output_image_height; thumbnail_bytes,\n"
    "thumbnail_width, thumbnail_height; convertible, band_height, rows_per_band,\n"
    "document_width, document_height, document_depth, delivered_rows, bands.\n"
    "\n" EKV_EXIT_CODES;

const char *const kHelpThumbnail =
    "Usage: ekv thumbnail FILE -o OUT.jpg [--no-clobber]\n"
    "\n"
    "Writes the JPEG thumbnail embedded in the EKV file, byte for byte, as the module's\n"
    "reader extracts it for the conversion dialog's preview. The output is written\n"
    "as 'ekv convert' writes its outputs and never replaces the input.\n"
    "\n"
    "Options:\n"
    "  -o, --output OUT  the JPEG file to write (required): .jpg, .jpeg, no extension,\n"
    "                    or - for standard output\n"
    "  --no-clobber      keep an existing regular file (skipped with a note)\n"
    "  -h, --help        this text\n"
    "\n" EKV_EXIT_CODES EKV_EXIT_SIGNALS;

const char *const kHelpPreview =
    "Usage: ekv preview FILE -o OUT.png [--wb-point H,V] [--no-clobber]\n"
    "\n"
    "Renders the preview of the conversion dialog as an 8-bit RGB PNG of exactly\n"
    "320 x 240 pixels: the embedded thumbnail decoded (libjpeg-turbo) and scaled\n"
    "bilinearly to fill the preview whatever its own size and aspect ratio. A file\n"
    "without a thumbnail gives the dialog's grey background (240, 240, 240).\n"
    "\n"
    "Options:\n"
    "  -o, --output OUT  the PNG file to write (required): .png, no extension, or -\n"
    "                    for standard output; written as 'ekv convert' writes\n"
    "  --no-clobber      keep an existing regular file (skipped with a note)\n"
    "  --wb-point H,V    draw the white-balance marker as the dialog does: the 2 x 2\n"
    "                    square whose lower-right pixel is (H, V) is inverted\n"
    "                    (255 - value; the part left of column 0 or above row 0 is\n"
    "                    outside the preview). H from 0 to 319, V from 0 to 239: the\n"
    "                    same coordinates 'ekv convert --wb-point' takes.\n"
    "  -h, --help        this text\n"
    "\n" EKV_EXIT_CODES EKV_EXIT_SIGNALS;

const char *const kHelpAbout =
    "Usage: ekv about\n"
    "\n"
    "Calls the module's About selector and prints the text of the about box it shows.\n"
    "\n" EKV_EXIT_CODES;

const char *const kHelpDng =
    "Usage: ekv dng FILE... [-o OUT.dng | -d DIR] [-j N]\n"
    "\n"
    "Writes each EKV file as a DNG (version 1.4, readable as 1.1) that every raw\n"
    "converter opens. The mosaic is read by the module's own strip reader and sample\n"
    "alignment, so the DNG holds exactly the samples an import develops: 16 bits per\n"
    "sample with the valid bits at the bottom, uncompressed. It carries the CFA pattern,\n"
    "the optical black levels of the four cells of the pattern, the white level\n"
    "2^bits - 1, the module's output rectangle as the default crop (origin 1.5, 1.5:\n"
    "each output pixel lies between four samples), the camera's white balance as\n"
    "AsShotNeutral, a D65 ColorMatrix1 derived from the camera's colour matrix on the\n"
    "assumption that, after white balance, it maps camera RGB to linear sRGB, the tone\n"
    "curve of the camera's tone mode as ProfileToneCurve, and the embedded thumbnail as\n"
    "the preview (IFD0; the mosaic is then in a SubIFD).\n"
    "\n"
    "Options:\n"
    "  -o, --output OUT   the output file (one input only)\n"
    "  -d, --directory DIR\n"
    "                     write each output into DIR as NAME.dng. Without -o and -d\n"
    "                     each output goes next to its input.\n"
    "  -j, --jobs N       files to convert at once (accepted; files are converted one\n"
    "                     after another)\n"
    "  -h, --help         this text\n"
    "\n"
    "Outputs are written as convert writes them: to a temporary file renamed into place\n"
    "when complete; an output that names an input, or that an earlier input of the same\n"
    "call produced, is refused. A file convert refuses (not EKV, damaged, sensor data\n"
    "cut short) is refused with the same message and exit status, and leaves no DNG.\n"
    "\n" EKV_EXIT_CODES;

}  // namespace ekv
