// ICC profiles for the colour spaces ekv writes, built with LittleCMS.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ekv {

enum class ProfileKind {
    None,    // camera RGB: no profile describes it
    Srgb,    // sRGB (IEC 61966-2-1)
    Linear,  // sRGB primaries and white point with a linear transfer curve
};

// The profile's bytes, or empty for ProfileKind::None (or if LittleCMS fails).
std::vector<uint8_t> BuildProfile(ProfileKind inKind);
// "none", "srgb" or "linear".
const char *ProfileName(ProfileKind inKind);

}  // namespace ekv
