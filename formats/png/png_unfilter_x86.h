#pragma once

// The unfilters that use SSE2 (every x86-64 processor has it) and SSE4.1
// (taken only after asking the processor). Used by png_unfilter.cpp alone.

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define TOLVANE_PNG_X86 1
#else
#define TOLVANE_PNG_X86 0
#endif

#if TOLVANE_PNG_X86
namespace tolvane::png::x86 {

bool HasSse41();

// Sub of 3-, 4-, 6- or 8-byte pixels, in place.
void SubSse2(std::uint8_t* row, std::size_t n, std::size_t bpp);

// Paeth of 3-, 4-, 6- or 8-byte pixels, in place.
void PaethSse2(std::uint8_t* row, const std::uint8_t* prev, std::size_t n, std::size_t bpp);
void PaethSse41(std::uint8_t* row, const std::uint8_t* prev, std::size_t n, std::size_t bpp);

// UnfilterRgbToBgr for None, Up and Paeth.
void RgbToBgrSse2(std::uint8_t type, const std::uint8_t* raw, const std::uint8_t* prevBgr,
                  std::uint8_t* out, std::size_t width);
void RgbToBgrSse41(std::uint8_t type, const std::uint8_t* raw, const std::uint8_t* prevBgr,
                   std::uint8_t* out, std::size_t width);

}  // namespace tolvane::png::x86
#endif
