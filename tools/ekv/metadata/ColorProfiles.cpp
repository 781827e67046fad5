// sRGB and linear-sRGB profiles serialised to memory with LittleCMS.
#include "metadata/ColorProfiles.h"

#include <lcms2.h>

namespace ekv {

namespace {

// sRGB's primaries and D65 white point; the tone curve decides between the two kinds.
cmsHPROFILE CreateLinearSrgb() {
    const cmsCIExyY aWhite = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE aPrimaries = {{0.6400, 0.3300, 1.0}, {0.3000, 0.6000, 1.0}, {0.1500, 0.0600, 1.0}};
    cmsToneCurve *aLinear = cmsBuildGamma(nullptr, 1.0);
    if (aLinear == nullptr) return nullptr;
    cmsToneCurve *aCurves[3] = {aLinear, aLinear, aLinear};
    cmsHPROFILE aProfile = cmsCreateRGBProfile(&aWhite, &aPrimaries, aCurves);
    cmsFreeToneCurve(aLinear);
    return aProfile;
}

bool SetDescription(cmsHPROFILE ioProfile, const char *inText) {
    cmsMLU *aText = cmsMLUalloc(nullptr, 1);
    if (aText == nullptr) return false;
    bool aOk = cmsMLUsetASCII(aText, "en", "US", inText) && cmsWriteTag(ioProfile, cmsSigProfileDescriptionTag, aText);
    cmsMLUfree(aText);
    return aOk;
}

// LittleCMS stamps the profile with the time it was made; a fixed date (big-endian
// year, month, day, hour, minute, second at byte 24 of the header) makes the same
// conversion give the same file.
void FixCreationDate(std::vector<uint8_t> &ioProfile) {
    const uint16_t aDate[6] = {2024, 1, 1, 0, 0, 0};
    if (ioProfile.size() < 36) return;
    for (int aField = 0; aField < 6; ++aField) {
        ioProfile[24 + 2 * aField] = static_cast<uint8_t>(aDate[aField] >> 8);
        ioProfile[25 + 2 * aField] = static_cast<uint8_t>(aDate[aField] & 0xFF);
    }
}

}  // namespace

std::vector<uint8_t> BuildProfile(ProfileKind inKind) {
    if (inKind == ProfileKind::None) return {};
    cmsHPROFILE aProfile = inKind == ProfileKind::Srgb ? cmsCreate_sRGBProfile() : CreateLinearSrgb();
    if (aProfile == nullptr) return {};
    std::vector<uint8_t> aBytes;
    cmsUInt32Number aSize = 0;
    if (SetDescription(aProfile, inKind == ProfileKind::Srgb ? "sRGB" : "Linear sRGB (gamma 1.0)") &&
        cmsSaveProfileToMem(aProfile, nullptr, &aSize) && aSize > 0) {
        aBytes.resize(aSize);
        if (!cmsSaveProfileToMem(aProfile, aBytes.data(), &aSize)) aBytes.clear();
        FixCreationDate(aBytes);
    }
    cmsCloseProfile(aProfile);
    return aBytes;
}

const char *ProfileName(ProfileKind inKind) {
    switch (inKind) {
        case ProfileKind::Srgb: return "srgb";
        case ProfileKind::Linear: return "linear";
        case ProfileKind::None: break;
    }
    return "none";
}

}  // namespace ekv
