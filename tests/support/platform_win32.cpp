#include <windows.h>

#include "tests/support/platform.h"

namespace tolvane::testing {

const int kNoSuchFile = ERROR_FILE_NOT_FOUND;
const int kNoSuchFolder = ERROR_PATH_NOT_FOUND;
// Windows refuses to open or replace a folder as a file with this one.
const int kIsAFolder = ERROR_ACCESS_DENIED;
const int kAccessDenied = ERROR_ACCESS_DENIED;

const bool kSystemDecodesTiff = true;

bool FolderPermissionsBind() { return false; }

bool FileSizeLimit::Supported() { return false; }

FileSizeLimit::FileSizeLimit(std::uint64_t /*bytes*/) {}

FileSizeLimit::~FileSizeLimit() = default;

}  // namespace tolvane::testing
