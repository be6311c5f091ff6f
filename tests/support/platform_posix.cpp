#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "tests/support/platform.h"

namespace tolvane::testing {

const int kNoSuchFile = ENOENT;
const int kNoSuchFolder = ENOENT;
const int kIsAFolder = EISDIR;
const int kAccessDenied = EACCES;

const bool kSystemDecodesTiff = false;

bool FolderPermissionsBind() { return ::geteuid() != 0; }

bool FileSizeLimit::Supported() { return true; }

// A write past the cap then fails with EFBIG instead of raising SIGXFSZ.
FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  savedSoft_ = limit.rlim_cur;
  savedHandler_ = std::signal(SIGXFSZ, SIG_IGN);
  limit.rlim_cur = static_cast<rlim_t>(bytes);
  setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = static_cast<rlim_t>(savedSoft_);
  setrlimit(RLIMIT_FSIZE, &limit);
  std::signal(SIGXFSZ, savedHandler_);
}

}  // namespace tolvane::testing
