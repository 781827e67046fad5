// Validation of the document description and of each delivered plane.
#include "DeliveryRules.h"

#include <sstream>

namespace hostkit {

std::string CheckDescription(const AcquireRecord &inRecord, Document &outDocument) {
    std::ostringstream aWhy;
    if (inRecord.planes != 3) {
        aWhy << "the module describes " << inRecord.planes << " planes, not 3";
        return aWhy.str();
    }
    if (inRecord.imageMode == plugInModeRGB48 && inRecord.depth == 16)
        outDocument.depth = 16;
    else if (inRecord.imageMode == plugInModeRGBColor && inRecord.depth == 8)
        outDocument.depth = 8;
    else {
        aWhy << "the module describes image mode " << inRecord.imageMode << " at depth " << inRecord.depth
             << ", not RGB at 8 or 16 bits";
        return aWhy.str();
    }
    if (inRecord.imageSize.h <= 0 || inRecord.imageSize.v <= 0) {
        aWhy << "the module describes an empty document of " << inRecord.imageSize.h << " x " << inRecord.imageSize.v;
        return aWhy.str();
    }
    outDocument.width = inRecord.imageSize.h;
    outDocument.height = inRecord.imageSize.v;
    return {};
}

std::string CheckDelivery(const AcquireRecord &inRecord, const Document &inDocument) {
    std::ostringstream aWhy;
    const Rect &aRect = inRecord.theRect;
    if (inRecord.loPlane != inRecord.hiPlane || inRecord.loPlane < 0 || inRecord.loPlane > 2) {
        aWhy << "the module delivered planes " << inRecord.loPlane << " to " << inRecord.hiPlane
             << " (one plane from 0 to 2 expected)";
        return aWhy.str();
    }
    if (inRecord.colBytes < inDocument.depth / 8) {
        aWhy << "the module delivered " << inRecord.colBytes << " bytes per sample for a " << inDocument.depth
             << "-bit document";
        return aWhy.str();
    }
    if (aRect.top < 0 || aRect.left < 0 || aRect.top >= aRect.bottom || aRect.left >= aRect.right ||
        aRect.bottom > inDocument.height || aRect.right > inDocument.width) {
        aWhy << "the module delivered rows " << aRect.top << " to " << aRect.bottom << ", columns " << aRect.left
             << " to " << aRect.right << ", outside the " << inDocument.width << " x " << inDocument.height
             << " document";
        return aWhy.str();
    }
    const int32 aRowMin = (aRect.right - aRect.left) * inRecord.colBytes;
    if (inRecord.rowBytes < aRowMin) {
        aWhy << "the module delivered rows of " << inRecord.rowBytes << " bytes, fewer than the " << aRowMin
             << " its rectangle needs";
        return aWhy.str();
    }
    return {};
}

}  // namespace hostkit
