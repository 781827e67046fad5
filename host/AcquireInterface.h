// The host's side of the Acquire-module interface, declared field for field so that a
// host built against the published interface and this module agree on every offset.
#ifndef KARVEX_HOST_ACQUIREINTERFACE_H
#define KARVEX_HOST_ACQUIREINTERFACE_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define KARVEX_CDECL __cdecl
#else
#define KARVEX_CDECL
#endif

typedef int16_t int16;
typedef int32_t int32;
typedef uint16_t uint16;
typedef uint32_t uint32;
typedef unsigned char Boolean;
typedef int16 OSErr;
typedef uint32 OSType;
typedef int32 Fixed;
typedef char *Ptr;
typedef char **Handle;
typedef struct PSBuffer *BufferID;
typedef unsigned char Str255[256];
typedef unsigned char LookUpTable[256];
typedef int16 PlaneMap[16];

typedef struct Point {
    int16 v;
    int16 h;
} Point;

typedef struct Rect {
    int16 top;
    int16 left;
    int16 bottom;
    int16 right;
} Rect;

typedef struct PlugInMonitor {
    Fixed gamma, redX, redY, greenX, greenY, blueX, blueY, whiteX, whiteY, ambient;
} PlugInMonitor;

typedef struct PlatformData {
    intptr_t hwnd;
} PlatformData;

typedef struct BufferProcs {
    int16 bufferProcsVersion;
    int16 numBufferProcs;
    OSErr(KARVEX_CDECL *allocateProc)(int32 size, BufferID *outID);
    Ptr(KARVEX_CDECL *lockProc)(BufferID id, Boolean moveHigh);
    void(KARVEX_CDECL *unlockProc)(BufferID id);
    void(KARVEX_CDECL *freeProc)(BufferID id);
    int32(KARVEX_CDECL *spaceProc)(void);
} BufferProcs;

typedef struct HandleProcs {
    int16 handleProcsVersion;
    int16 numHandleProcs;
    Handle(KARVEX_CDECL *newProc)(int32 size);
    void(KARVEX_CDECL *disposeProc)(Handle h);
    int32(KARVEX_CDECL *getSizeProc)(Handle h);
    OSErr(KARVEX_CDECL *setSizeProc)(Handle h, int32 newSize);
    Ptr(KARVEX_CDECL *lockProc)(Handle h, Boolean moveHigh);
    void(KARVEX_CDECL *unlockProc)(Handle h);
    void(KARVEX_CDECL *recoverSpaceProc)(int32 size);
    void(KARVEX_CDECL *disposeRegularHandleProc)(Handle h);
} HandleProcs;

enum {
    kCurrentBufferProcsVersion = 2,
    kCurrentBufferProcsCount = 5,
    kCurrentHandleProcsVersion = 1,
    kMinHandleProcsCount = 7
};

enum { plugInModeRGBColor = 3, plugInModeRGB48 = 11 };

typedef struct AcquireRecord {
    int32 serialNumber;
    Boolean(KARVEX_CDECL *abortProc)(void);
    void(KARVEX_CDECL *progressProc)(int32 done, int32 total);
    int32 maxData;
    int16 imageMode;
    Point imageSize;
    int16 depth;
    int16 planes;
    Fixed imageHRes;
    Fixed imageVRes;
    LookUpTable redLUT;
    LookUpTable greenLUT;
    LookUpTable blueLUT;
    void *data;
    Rect theRect;
    int16 loPlane;
    int16 hiPlane;
    int16 colBytes;
    int32 rowBytes;
    int32 planeBytes;
    Str255 filename;
    int16 vRefNum;
    Boolean dirty;
    OSType hostSig;
    void(KARVEX_CDECL *hostProc)(int16 selector, intptr_t *data);
    int32 hostModes;
    PlaneMap planeMap;
    Boolean canTranspose;
    Boolean needTranspose;
    Handle duotoneInfo;
    int32 diskSpace;
    int32(KARVEX_CDECL *spaceProc)(void);
    PlugInMonitor monitor;
    void *platformData;
    BufferProcs *bufferProcs;
    void *resourceProcs;
    void(KARVEX_CDECL *processEvent)(void *event);
    Boolean canReadBack;
    Boolean wantReadBack;
    Boolean acquireAgain;
    Boolean canFinalize;
    void *displayPixels;
    HandleProcs *handleProcs;
    Boolean wantFinalize;
    char reserved1[3];
    void *colorServices;
    OSErr(KARVEX_CDECL *advanceState)(void);
    void *imageServicesProcs;
    int16 tileWidth;
    int16 tileHeight;
    Point tileOrigin;
    void *propertyProcs;
    void *descriptorParameters;
    Str255 *errorString;
    Boolean isFirstAlphaTransparency;
    char padding0;
    char padding1;
    char padding2;
    int32 maxValue;
    void *sSPBasic;
    void *plugInRef;
    int32 transparentIndex;
    Handle iCCprofileData;
    int32 iCCprofileSize;
    int32 canUseICCProfiles;
    char *pushDataSource;
    int32 lutCount;
    int32 convertMode;
} AcquireRecord;

// What a host passes for selector 0 in place of the AcquireRecord.
typedef struct AboutRecord {
    void *platformData;
    void *sSPBasic;
    void *plugInRef;
    char reserved[244];
} AboutRecord;

// Selectors of the Acquire interface.
enum {
    acquireSelectorAbout = 0,
    acquireSelectorStart = 1,
    acquireSelectorContinue = 2,
    acquireSelectorFinish = 3,
    acquireSelectorPrepare = 4,
    acquireSelectorFinalize = 5
};

typedef void(KARVEX_CDECL *AcquireEntryProc)(int16 selector, AcquireRecord *acquireParamBlock, intptr_t *data,
                                             int16 *result);

#if defined(_WIN32) && !defined(_WIN64)
#define KARVEX_PIN(type, field, off) static_assert(offsetof(type, field) == off, #type "." #field)
KARVEX_PIN(AcquireRecord, maxData, 12);
KARVEX_PIN(AcquireRecord, imageMode, 16);
KARVEX_PIN(AcquireRecord, imageSize, 18);
KARVEX_PIN(AcquireRecord, depth, 22);
KARVEX_PIN(AcquireRecord, planes, 24);
KARVEX_PIN(AcquireRecord, imageHRes, 28);
KARVEX_PIN(AcquireRecord, imageVRes, 32);
KARVEX_PIN(AcquireRecord, redLUT, 36);
KARVEX_PIN(AcquireRecord, greenLUT, 292);
KARVEX_PIN(AcquireRecord, blueLUT, 548);
KARVEX_PIN(AcquireRecord, data, 804);
KARVEX_PIN(AcquireRecord, theRect, 808);
KARVEX_PIN(AcquireRecord, loPlane, 816);
KARVEX_PIN(AcquireRecord, hiPlane, 818);
KARVEX_PIN(AcquireRecord, colBytes, 820);
KARVEX_PIN(AcquireRecord, rowBytes, 824);
KARVEX_PIN(AcquireRecord, planeBytes, 828);
KARVEX_PIN(AcquireRecord, filename, 832);
KARVEX_PIN(AcquireRecord, vRefNum, 1088);
KARVEX_PIN(AcquireRecord, dirty, 1090);
KARVEX_PIN(AcquireRecord, hostSig, 1092);
KARVEX_PIN(AcquireRecord, hostProc, 1096);
KARVEX_PIN(AcquireRecord, hostModes, 1100);
KARVEX_PIN(AcquireRecord, planeMap, 1104);
KARVEX_PIN(AcquireRecord, canTranspose, 1136);
KARVEX_PIN(AcquireRecord, needTranspose, 1137);
KARVEX_PIN(AcquireRecord, duotoneInfo, 1140);
KARVEX_PIN(AcquireRecord, diskSpace, 1144);
KARVEX_PIN(AcquireRecord, spaceProc, 1148);
KARVEX_PIN(AcquireRecord, monitor, 1152);
KARVEX_PIN(AcquireRecord, platformData, 1192);
KARVEX_PIN(AcquireRecord, bufferProcs, 1196);
KARVEX_PIN(AcquireRecord, resourceProcs, 1200);
KARVEX_PIN(AcquireRecord, processEvent, 1204);
KARVEX_PIN(AcquireRecord, canReadBack, 1208);
KARVEX_PIN(AcquireRecord, wantReadBack, 1209);
KARVEX_PIN(AcquireRecord, acquireAgain, 1210);
KARVEX_PIN(AcquireRecord, canFinalize, 1211);
KARVEX_PIN(AcquireRecord, displayPixels, 1212);
KARVEX_PIN(AcquireRecord, handleProcs, 1216);
KARVEX_PIN(AcquireRecord, wantFinalize, 1220);
KARVEX_PIN(AcquireRecord, colorServices, 1224);
KARVEX_PIN(AcquireRecord, advanceState, 1228);
KARVEX_PIN(AcquireRecord, imageServicesProcs, 1232);
KARVEX_PIN(AcquireRecord, tileWidth, 1236);
KARVEX_PIN(AcquireRecord, tileHeight, 1238);
KARVEX_PIN(AcquireRecord, tileOrigin, 1240);
KARVEX_PIN(AcquireRecord, propertyProcs, 1244);
KARVEX_PIN(AcquireRecord, descriptorParameters, 1248);
KARVEX_PIN(AcquireRecord, errorString, 1252);
KARVEX_PIN(AcquireRecord, isFirstAlphaTransparency, 1256);
KARVEX_PIN(AcquireRecord, maxValue, 1260);
KARVEX_PIN(AcquireRecord, sSPBasic, 1264);
KARVEX_PIN(AcquireRecord, plugInRef, 1268);
KARVEX_PIN(AcquireRecord, transparentIndex, 1272);
KARVEX_PIN(AcquireRecord, iCCprofileData, 1276);
KARVEX_PIN(AcquireRecord, iCCprofileSize, 1280);
KARVEX_PIN(AcquireRecord, canUseICCProfiles, 1284);
KARVEX_PIN(AcquireRecord, pushDataSource, 1288);
KARVEX_PIN(AcquireRecord, lutCount, 1292);
KARVEX_PIN(AcquireRecord, convertMode, 1296);
KARVEX_PIN(BufferProcs, allocateProc, 4);
KARVEX_PIN(BufferProcs, spaceProc, 20);
KARVEX_PIN(HandleProcs, newProc, 4);
KARVEX_PIN(HandleProcs, lockProc, 20);
KARVEX_PIN(HandleProcs, disposeRegularHandleProc, 32);
KARVEX_PIN(AboutRecord, sSPBasic, 4);
KARVEX_PIN(AboutRecord, reserved, 12);
static_assert(sizeof(PlatformData) == 4, "PlatformData");
static_assert(sizeof(AboutRecord) == 256, "AboutRecord");
#undef KARVEX_PIN
#elif defined(_WIN64)
// x86-64: natural alignment, 8-byte pointers; every size passed to a callback stays 32-bit.
#define KARVEX_PIN(type, field, off) static_assert(offsetof(type, field) == off, #type "." #field)
KARVEX_PIN(AcquireRecord, serialNumber, 0);
KARVEX_PIN(AcquireRecord, abortProc, 8);
KARVEX_PIN(AcquireRecord, progressProc, 16);
KARVEX_PIN(AcquireRecord, maxData, 24);
KARVEX_PIN(AcquireRecord, imageMode, 28);
KARVEX_PIN(AcquireRecord, imageSize, 30);
KARVEX_PIN(AcquireRecord, depth, 34);
KARVEX_PIN(AcquireRecord, planes, 36);
KARVEX_PIN(AcquireRecord, imageHRes, 40);
KARVEX_PIN(AcquireRecord, imageVRes, 44);
KARVEX_PIN(AcquireRecord, redLUT, 48);
KARVEX_PIN(AcquireRecord, greenLUT, 304);
KARVEX_PIN(AcquireRecord, blueLUT, 560);
KARVEX_PIN(AcquireRecord, data, 816);
KARVEX_PIN(AcquireRecord, theRect, 824);
KARVEX_PIN(AcquireRecord, loPlane, 832);
KARVEX_PIN(AcquireRecord, hiPlane, 834);
KARVEX_PIN(AcquireRecord, colBytes, 836);
KARVEX_PIN(AcquireRecord, rowBytes, 840);
KARVEX_PIN(AcquireRecord, planeBytes, 844);
KARVEX_PIN(AcquireRecord, filename, 848);
KARVEX_PIN(AcquireRecord, vRefNum, 1104);
KARVEX_PIN(AcquireRecord, dirty, 1106);
KARVEX_PIN(AcquireRecord, hostSig, 1108);
KARVEX_PIN(AcquireRecord, hostProc, 1112);
KARVEX_PIN(AcquireRecord, hostModes, 1120);
KARVEX_PIN(AcquireRecord, planeMap, 1124);
KARVEX_PIN(AcquireRecord, canTranspose, 1156);
KARVEX_PIN(AcquireRecord, needTranspose, 1157);
KARVEX_PIN(AcquireRecord, duotoneInfo, 1160);
KARVEX_PIN(AcquireRecord, diskSpace, 1168);
KARVEX_PIN(AcquireRecord, spaceProc, 1176);
KARVEX_PIN(AcquireRecord, monitor, 1184);
KARVEX_PIN(AcquireRecord, platformData, 1224);
KARVEX_PIN(AcquireRecord, bufferProcs, 1232);
KARVEX_PIN(AcquireRecord, resourceProcs, 1240);
KARVEX_PIN(AcquireRecord, processEvent, 1248);
KARVEX_PIN(AcquireRecord, canReadBack, 1256);
KARVEX_PIN(AcquireRecord, wantReadBack, 1257);
KARVEX_PIN(AcquireRecord, acquireAgain, 1258);
KARVEX_PIN(AcquireRecord, canFinalize, 1259);
KARVEX_PIN(AcquireRecord, displayPixels, 1264);
KARVEX_PIN(AcquireRecord, handleProcs, 1272);
KARVEX_PIN(AcquireRecord, wantFinalize, 1280);
KARVEX_PIN(AcquireRecord, reserved1, 1281);
KARVEX_PIN(AcquireRecord, colorServices, 1288);
KARVEX_PIN(AcquireRecord, advanceState, 1296);
KARVEX_PIN(AcquireRecord, imageServicesProcs, 1304);
KARVEX_PIN(AcquireRecord, tileWidth, 1312);
KARVEX_PIN(AcquireRecord, tileHeight, 1314);
KARVEX_PIN(AcquireRecord, tileOrigin, 1316);
KARVEX_PIN(AcquireRecord, propertyProcs, 1320);
KARVEX_PIN(AcquireRecord, descriptorParameters, 1328);
KARVEX_PIN(AcquireRecord, errorString, 1336);
KARVEX_PIN(AcquireRecord, isFirstAlphaTransparency, 1344);
KARVEX_PIN(AcquireRecord, padding0, 1345);
KARVEX_PIN(AcquireRecord, maxValue, 1348);
KARVEX_PIN(AcquireRecord, sSPBasic, 1352);
KARVEX_PIN(AcquireRecord, plugInRef, 1360);
KARVEX_PIN(AcquireRecord, transparentIndex, 1368);
KARVEX_PIN(AcquireRecord, iCCprofileData, 1376);
KARVEX_PIN(AcquireRecord, iCCprofileSize, 1384);
KARVEX_PIN(AcquireRecord, canUseICCProfiles, 1388);
KARVEX_PIN(AcquireRecord, pushDataSource, 1392);
KARVEX_PIN(AcquireRecord, lutCount, 1400);
KARVEX_PIN(AcquireRecord, convertMode, 1404);
KARVEX_PIN(BufferProcs, numBufferProcs, 2);
KARVEX_PIN(BufferProcs, allocateProc, 8);
KARVEX_PIN(BufferProcs, lockProc, 16);
KARVEX_PIN(BufferProcs, unlockProc, 24);
KARVEX_PIN(BufferProcs, freeProc, 32);
KARVEX_PIN(BufferProcs, spaceProc, 40);
KARVEX_PIN(HandleProcs, numHandleProcs, 2);
KARVEX_PIN(HandleProcs, newProc, 8);
KARVEX_PIN(HandleProcs, disposeProc, 16);
KARVEX_PIN(HandleProcs, getSizeProc, 24);
KARVEX_PIN(HandleProcs, setSizeProc, 32);
KARVEX_PIN(HandleProcs, lockProc, 40);
KARVEX_PIN(HandleProcs, unlockProc, 48);
KARVEX_PIN(HandleProcs, recoverSpaceProc, 56);
KARVEX_PIN(HandleProcs, disposeRegularHandleProc, 64);
KARVEX_PIN(AboutRecord, platformData, 0);
KARVEX_PIN(AboutRecord, sSPBasic, 8);
KARVEX_PIN(AboutRecord, plugInRef, 16);
KARVEX_PIN(AboutRecord, reserved, 24);
static_assert(sizeof(PlatformData) == 8, "PlatformData");
static_assert(sizeof(PlugInMonitor) == 40 && alignof(PlugInMonitor) == 4, "PlugInMonitor");
static_assert(sizeof(AboutRecord) == 272, "AboutRecord");
static_assert(alignof(AcquireRecord) == 8, "AcquireRecord");
#undef KARVEX_PIN
#endif

#endif
