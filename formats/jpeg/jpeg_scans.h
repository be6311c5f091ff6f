#pragma once

#include <cstdint>
#include <span>

namespace tolvane {

// How many scans (start-of-scan markers) a JPEG file holds, found by walking
// its marker segments and skipping the entropy-coded data between them, as
// libjpeg's marker reader does. Stops at the end-of-image marker or at
// anything malformed, counting what it found so far. Only a forecast for the
// decoder: a wrong count costs time, never a wrong pixel.
int CountJpegScans(std::span<const std::uint8_t> data);

}  // namespace tolvane
