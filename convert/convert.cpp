#include "convert/convert.h"

namespace tolvane {

void ConvertImageFile(const std::string& /*path*/, Log& /*log*/, Preview& /*preview*/) {}

}  // namespace tolvane
