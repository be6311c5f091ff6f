#pragma once

#include <string>

#include "convert/seams.h"

namespace tolvane {

// The longest side the program leaves as it is, and what it appends to the
// name of a reduced copy.
inline constexpr int MaxSide = 2048;
inline constexpr std::string_view OutputSuffix = "_2048";

// Converts one dropped file from end to end: reads it by its extension,
// logs its path and size, shows it, and when a side exceeds MaxSide writes a
// reduced copy beside it. Failures leave as tolvane::Error.
void ConvertImageFile(const std::string& path, Log& log, Preview& preview);

}  // namespace tolvane
