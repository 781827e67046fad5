/* The module's string table: one source for the Windows resource script and the native
   build. Plain C preprocessor definitions so that windres can include this file. */
#ifndef KARVEX_RESOURCES_STRINGS_H
#define KARVEX_RESOURCES_STRINGS_H

#define IDS_ABOUT 16000
#define IDS_CAPTION 16001
#define IDS_NO_QUICKTIME 16002
#define IDS_NOT_EKV 16003
#define IDS_DAMAGED_EKV 16004

#define STR_ABOUT                                        \
    "Karvex RAW File Import Plug-in, version 1.0\n"      \
    "\n"                                                 \
    "Imports the raw files of Karvex digital cameras.\n" \
    "Made by the Karvex RAW import team."
#define STR_CAPTION "Karvex RAW File"
#define STR_NO_QUICKTIME \
    "Karvex RAW File requires QuickTime Windows 4 or later. Please install QuickTime for Windows. \n"
#define STR_NOT_EKV "Not an EKV File."
#define STR_DAMAGED_EKV "This EKV file is damaged or not supported."

#endif
