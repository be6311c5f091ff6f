#pragma once

#include <csetjmp>

#include "formats/jpeg/jpeg_library.h"

namespace tolvane {

// The reader's error manager. libjpeg reports an error by calling error_exit,
// which jumps back to the setjmp of the guard around the libjpeg call
// (jpeg_decompressor.cpp); warnings and trace messages are dropped.
struct JpegErrorManager {
  jpeg_error_mgr pub;  // first, so libjpeg's pointer to it is a pointer to the whole
  std::jmp_buf jump;
};

// Fills in the manager: error_exit jumps, emit_message, output_message and
// format_message do nothing, reset_error_mgr clears the counters, trace
// level 0, no message tables.
void InstallJpegErrorManager(JpegErrorManager& manager);

// The number release 6b of libjpeg gives the message with this library's
// code; the library's own code when 6b had no such message.
int SixBMessageCode(int libraryCode);

// The failure the user sees for a libjpeg message code: out of memory for
// exhausted work areas, "JPEG エラー #n" with the 6b number otherwise.
[[noreturn]] void ThrowJpegFailure(int libraryCode);

}  // namespace tolvane
