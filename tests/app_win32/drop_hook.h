#pragma once

#include <cstddef>

// What the window tests and their drop helper (drop_hook.cpp) share: the
// name of the memory that lists the files to drop, its size, and the name of
// the message that asks the helper inside the program to drop them.
inline constexpr wchar_t kDropListName[] = L"TolvaneTestDropList";
inline constexpr std::size_t kDropListBytes = 1 << 16;
inline constexpr wchar_t kDropRequestName[] = L"TolvaneTestDropRequest";
