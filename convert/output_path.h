#pragma once

#include <string>
#include <string_view>

#include "support/paths.h"

namespace tolvane {

// What the name of a reduced copy gets appended, unless the path has it already.
inline constexpr std::string_view OutputSuffix = "_2048";

// The reduced copy's path: the input's folder and stem, OutputSuffix unless
// the whole path contains it already, then the output extension of the
// input's format (".bmp" for BMP, ".png" for every other).
std::string OutputPathFor(std::string_view inputPath, Separators separators = kPlatformSeparators);

}  // namespace tolvane
