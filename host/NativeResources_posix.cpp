// Finds the native module's compiled-in resources.
#include "NativeResources.h"

#include <cstring>

const uint8_t *NativeResource_Find(KarvexInstance /*inModule*/, uint16 inID, const char *inType, int32 *outSize) {
    if (outSize != nullptr) *outSize = 0;
    if (inType == nullptr) return nullptr;
    int32 aCount = 0;
    const NativeResourceEntry *aEntries = NativeResource_ToneTables(&aCount);
    for (int32 aIndex = 0; aIndex < aCount; ++aIndex) {
        if (aEntries[aIndex].id == inID && std::strcmp(aEntries[aIndex].type, inType) == 0) {
            if (outSize != nullptr) *outSize = aEntries[aIndex].size;
            return aEntries[aIndex].bytes;
        }
    }
    return nullptr;
}
