# Cross-builds the 32-bit Windows program with Debian's mingw-w64 compilers
# (posix thread model, so that std::thread works). Every executable is linked
# statically: it needs no DLL beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(TOLVANE_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TOLVANE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOLVANE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TOLVANE_MINGW_TRIPLET}-windres)

# Libraries come from the mingw sysroot and from TOLVANE_WIN32_DEPS (the
# prefix the build script installs the libraries it makes into), never from
# the host; static archives only.
set(CMAKE_FIND_ROOT_PATH /usr/${TOLVANE_MINGW_TRIPLET})
if(TOLVANE_WIN32_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${TOLVANE_WIN32_DEPS})
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TOLVANE_WIN32_DEPS)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
set(ZLIB_USE_STATIC_LIBS ON)

# Doubles in SSE2 registers, as on x86-64, not in the x87's 80-bit ones: the
# program's arithmetic and its results then match the 64-bit Linux build's.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine, in the build's own Wine prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
