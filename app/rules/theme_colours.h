#pragma once

#include <cstdint>

namespace tolvane::window {

// The colours of the dark theme "Windows10 Dark" that the window shows.
struct Colour {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend bool operator==(const Colour&, const Colour&) = default;
};

// The client area, also around and under a preview picture that does not
// fill its box.
inline constexpr Colour kWindowColour{0x00, 0x00, 0x00};
// The name field and the log.
inline constexpr Colour kFieldColour{0x00, 0x00, 0x00};
inline constexpr Colour kFieldTextColour{0xFF, 0xFF, 0xFF};
// Their frame in the normal state, kFieldFrameWidth pixels wide.
inline constexpr Colour kFieldFrameColour{0x5A, 0x5A, 0x5A};
inline constexpr int kFieldFrameWidth = 2;

}  // namespace tolvane::window
