#pragma once

#include <string>
#include <string_view>

namespace tolvane {

// The characters that separate folders in a path: "\" and ":" on Windows,
// "/" elsewhere. The path rules take them as a parameter so that both sets
// can be tested on any platform.
struct Separators {
  std::string_view characters;
};
inline constexpr Separators kWindowsSeparators{"\\:"};
inline constexpr Separators kPosixSeparators{"/"};
#ifdef _WIN32
inline constexpr Separators kPlatformSeparators = kWindowsSeparators;
#else
inline constexpr Separators kPlatformSeparators = kPosixSeparators;
#endif

// From the last "." to the end, when no separator stands after it; else empty.
std::string ExtensionOf(std::string_view path, Separators separators = kPlatformSeparators);

// The ASCII letters a to z upper-cased (A to Z lower-cased), every other
// byte unchanged.
std::string UpperAscii(std::string_view text);
std::string LowerAscii(std::string_view text);

// The part after the last separator; the whole path when it has none.
std::string NameOf(std::string_view path, Separators separators = kPlatformSeparators);

}  // namespace tolvane
