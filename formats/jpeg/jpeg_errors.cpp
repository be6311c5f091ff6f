#include "formats/jpeg/jpeg_errors.h"

#include <cstring>
#include <iterator>
#include <string>

#include "support/error.h"
#include "support/messages.h"

namespace tolvane {

namespace {

// libjpeg 6b's message list, by name, in 6b's order: a name's position is its
// 6b number. Builds of libjpeg that number their messages otherwise (newer
// releases insert messages in the middle) still report the 6b numbers.
constexpr int kSixBMessages[] = {
    JMSG_NOMESSAGE,
    JERR_ARITH_NOTIMPL,  // 1
    JERR_BAD_ALIGN_TYPE,
    JERR_BAD_ALLOC_CHUNK,
    JERR_BAD_BUFFER_MODE,
    JERR_BAD_COMPONENT_ID,
    JERR_BAD_DCT_COEF,
    JERR_BAD_DCTSIZE,
    JERR_BAD_HUFF_TABLE,
    JERR_BAD_IN_COLORSPACE,
    JERR_BAD_J_COLORSPACE,  // 10
    JERR_BAD_LENGTH,
    JERR_BAD_LIB_VERSION,
    JERR_BAD_MCU_SIZE,
    JERR_BAD_POOL_ID,
    JERR_BAD_PRECISION,  // 15
    JERR_BAD_PROGRESSION,
    JERR_BAD_PROG_SCRIPT,
    JERR_BAD_SAMPLING,  // 18
    JERR_BAD_SCAN_SCRIPT,
    JERR_BAD_STATE,  // 20
    JERR_BAD_STRUCT_SIZE,
    JERR_BAD_VIRTUAL_ACCESS,
    JERR_BUFFER_SIZE,
    JERR_CANT_SUSPEND,
    JERR_CCIR601_NOTIMPL,
    JERR_COMPONENT_COUNT,     // 26
    JERR_CONVERSION_NOTIMPL,  // 27
    JERR_DAC_INDEX,
    JERR_DAC_VALUE,
    JERR_DHT_INDEX,  // 30
    JERR_DQT_INDEX,
    JERR_EMPTY_IMAGE,
    JERR_EMS_READ,
    JERR_EMS_WRITE,
    JERR_EOI_EXPECTED,
    JERR_FILE_READ,
    JERR_FILE_WRITE,
    JERR_FRACT_SAMPLE_NOTIMPL,
    JERR_HUFF_CLEN_OVERFLOW,
    JERR_HUFF_MISSING_CODE,  // 40
    JERR_IMAGE_TOO_BIG,      // 41
    JERR_INPUT_EMPTY,        // 42
    JERR_INPUT_EOF,
    JERR_MISMATCHED_QUANT_TABLE,
    JERR_MISSING_DATA,
    JERR_MODE_CHANGE,
    JERR_NOTIMPL,
    JERR_NOT_COMPILED,
    JERR_NO_BACKING_STORE,
    JERR_NO_HUFF_TABLE,  // 50
    JERR_NO_IMAGE,       // 51
    JERR_NO_QUANT_TABLE,
    JERR_NO_SOI,  // 53
    JERR_OUT_OF_MEMORY,
    JERR_QUANT_COMPONENTS,
    JERR_QUANT_FEW_COLORS,
    JERR_QUANT_MANY_COLORS,
    JERR_SOF_DUPLICATE,
    JERR_SOF_NO_SOS,       // 59
    JERR_SOF_UNSUPPORTED,  // 60
    JERR_SOI_DUPLICATE,
    JERR_SOS_NO_SOF,
    JERR_TFILE_CREATE,
    JERR_TFILE_READ,
    JERR_TFILE_SEEK,
    JERR_TFILE_WRITE,
    JERR_TOO_LITTLE_DATA,
    JERR_UNKNOWN_MARKER,
    JERR_VIRTUAL_BUG,
    JERR_WIDTH_OVERFLOW,  // 70
    JERR_XMS_READ,
    JERR_XMS_WRITE,
    JMSG_COPYRIGHT,
    JMSG_VERSION,
    JTRC_16BIT_TABLES,
    JTRC_ADOBE,
    JTRC_APP0,
    JTRC_APP14,
    JTRC_DAC,
    JTRC_DHT,  // 80
    JTRC_DQT,
    JTRC_DRI,
    JTRC_EMS_CLOSE,
    JTRC_EMS_OPEN,
    JTRC_EOI,
    JTRC_HUFFBITS,
    JTRC_JFIF,
    JTRC_JFIF_BADTHUMBNAILSIZE,
    JTRC_JFIF_EXTENSION,
    JTRC_JFIF_THUMBNAIL,  // 90
    JTRC_MISC_MARKER,
    JTRC_PARMLESS_MARKER,
    JTRC_QUANTVALS,
    JTRC_QUANT_3_NCOLORS,
    JTRC_QUANT_NCOLORS,
    JTRC_QUANT_SELECTED,
    JTRC_RECOVERY_ACTION,
    JTRC_RST,
    JTRC_SMOOTH_NOTIMPL,
    JTRC_SOF,  // 100
    JTRC_SOF_COMPONENT,
    JTRC_SOI,
    JTRC_SOS,
    JTRC_SOS_COMPONENT,
    JTRC_SOS_PARAMS,
    JTRC_TFILE_CLOSE,
    JTRC_TFILE_OPEN,
    JTRC_THUMB_JPEG,
    JTRC_THUMB_PALETTE,
    JTRC_THUMB_RGB,  // 110
    JTRC_UNKNOWN_IDS,
    JTRC_XMS_CLOSE,
    JTRC_XMS_OPEN,
    JWRN_ADOBE_XFORM,
    JWRN_BOGUS_PROGRESSION,
    JWRN_EXTRANEOUS_DATA,
    JWRN_HIT_MARKER,
    JWRN_HUFF_BAD_CODE,
    JWRN_JFIF_MAJOR,
    JWRN_JPEG_EOF,  // 120
    JWRN_MUST_RESYNC,
    JWRN_NOT_SEQUENTIAL,
    JWRN_TOO_MUCH_DATA,
};

[[noreturn]] void JumpBack(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
}

void DropMessage(j_common_ptr /*cinfo*/, int /*level*/) {}
void DropOutput(j_common_ptr /*cinfo*/) {}
void DropFormat(j_common_ptr /*cinfo*/, char* /*buffer*/) {}

void ResetCounters(j_common_ptr cinfo) {
  cinfo->err->num_warnings = 0;
  cinfo->err->msg_code = 0;
}

}  // namespace

void InstallJpegErrorManager(JpegErrorManager& manager) {
  std::memset(&manager.pub, 0, sizeof manager.pub);
  manager.pub.error_exit = JumpBack;
  manager.pub.emit_message = DropMessage;
  manager.pub.output_message = DropOutput;
  manager.pub.format_message = DropFormat;
  manager.pub.reset_error_mgr = ResetCounters;
  manager.pub.trace_level = 0;
  manager.pub.jpeg_message_table = nullptr;
  manager.pub.last_jpeg_message = 0;
  manager.pub.addon_message_table = nullptr;
}

int SixBMessageCode(int libraryCode) {
  for (std::size_t i = 0; i < std::size(kSixBMessages); ++i) {
    if (kSixBMessages[i] == libraryCode) return static_cast<int>(i);
  }
  return libraryCode;
}

void ThrowJpegFailure(int libraryCode) {
  // A whole-image buffer beyond the work-memory limit has no backing store to
  // go to: that is memory exhausted as well.
  if (libraryCode == JERR_OUT_OF_MEMORY || libraryCode == JERR_NO_BACKING_STORE) {
    throw Error(std::string(messages::kOutOfMemory));
  }
  throw Error(messages::JpegError(SixBMessageCode(libraryCode)));
}

}  // namespace tolvane
