#include "formats/jpeg/jpeg_scans.h"

#include <cstring>

namespace tolvane {

namespace {

constexpr std::uint8_t kMarkerPrefix = 0xFF;
constexpr std::uint8_t kStartOfImage = 0xD8;
constexpr std::uint8_t kEndOfImage = 0xD9;
constexpr std::uint8_t kStartOfScan = 0xDA;
constexpr std::uint8_t kTemporary = 0x01;

bool IsRestart(std::uint8_t marker) { return marker >= 0xD0 && marker <= 0xD7; }

// Markers without a length field.
bool StandsAlone(std::uint8_t marker) {
  return IsRestart(marker) || marker == kTemporary || marker == kStartOfImage;
}

// The position of the marker that ends the entropy-coded data starting at
// `from`: an FF that is neither a stuffed zero nor a restart marker.
std::size_t EndOfEntropyData(std::span<const std::uint8_t> data, std::size_t from) {
  std::size_t at = from;
  while (at < data.size()) {
    const void* found = std::memchr(data.data() + at, kMarkerPrefix, data.size() - at);
    if (found == nullptr) return data.size();
    at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data.data());
    if (at + 1 >= data.size()) return data.size();
    const std::uint8_t next = data[at + 1];
    if (next == kMarkerPrefix) {
      at += 1;  // a fill byte before the marker
    } else if (next == 0x00 || IsRestart(next)) {
      at += 2;
    } else {
      return at;
    }
  }
  return data.size();
}

}  // namespace

int CountJpegScans(std::span<const std::uint8_t> data) {
  if (data.size() < 2 || data[0] != kMarkerPrefix || data[1] != kStartOfImage) return 0;
  int scans = 0;
  std::size_t at = 2;
  for (;;) {
    // libjpeg skips anything before the next FF, and any run of FF.
    while (at < data.size() && data[at] != kMarkerPrefix) ++at;
    while (at < data.size() && data[at] == kMarkerPrefix) ++at;
    if (at >= data.size()) return scans;
    const std::uint8_t marker = data[at++];
    if (marker == kEndOfImage) return scans;
    if (marker == 0x00 || StandsAlone(marker)) continue;
    if (data.size() - at < 2) return scans;
    const std::size_t length = std::size_t{data[at]} << 8 | data[at + 1];
    if (length < 2 || length > data.size() - at) return scans;
    at += length;
    if (marker == kStartOfScan) {
      ++scans;
      at = EndOfEntropyData(data, at);
    }
  }
}

}  // namespace tolvane
