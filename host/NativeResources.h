// The native build's resources: the blocks that the Windows module carries as resources
// are compiled into the native module and found here by identifier and type.
#ifndef KARVEX_HOST_NATIVERESOURCES_H
#define KARVEX_HOST_NATIVERESOURCES_H

#include "../plugin/PlugInGlobals.h"

typedef struct NativeResourceEntry {
    uint16 id;
    const char *type;
    const uint8_t *bytes;
    int32 size;
} NativeResourceEntry;

// The resource of type inType with identifier inID, or null (and a size of 0) when the
// module has none. The native module is linked into its program, so every instance
// carries the same resources.
const uint8_t *NativeResource_Find(KarvexInstance inModule, uint16 inID, const char *inType, int32 *outSize);

// The tone tables, defined by the generated ToneTableBytes.cpp.
const NativeResourceEntry *NativeResource_ToneTables(int32 *outCount);

#endif
