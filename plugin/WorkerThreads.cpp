// What the thread services of both platforms share.
#include "WorkerThreads.h"

int32 RAW_ParseThreadLimit(const char *inText) {
    if (inText == nullptr || *inText == 0) return 0;
    int32 aValue = 0;
    for (const char *c = inText; *c != 0; ++c) {
        if (*c < '0' || *c > '9' || aValue > 999) return 0;
        aValue = aValue * 10 + (*c - '0');
    }
    return aValue;
}
