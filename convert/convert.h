#pragma once

#include <string>

#include "convert/output_path.h"
#include "convert/seams.h"
#include "convert/size_rule.h"

namespace tolvane {

// Converts one dropped file from end to end: reads it by its extension,
// logs its path and size, shows it, and when a side exceeds MaxSide writes a
// reduced copy beside it (OutputPathFor). An unhandled extension does
// nothing. Failures leave as tolvane::Error; the log and the preview keep
// what they were given until then, and no output file is left half-written.
void ConvertImageFile(const std::string& path, Log& log, Preview& preview);

}  // namespace tolvane
