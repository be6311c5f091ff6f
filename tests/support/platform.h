#pragma once

#include <cstdint>

// What the tests provoke differently on each system.

namespace tolvane::testing {

// The codes the system gives for the file faults the tests provoke, as
// OsErrorText (support/files.h) takes them: errno values on POSIX systems,
// Windows error codes on Windows.
extern const int kNoSuchFile;
extern const int kNoSuchFolder;  // a path through a folder that does not exist
extern const int kIsAFolder;
extern const int kAccessDenied;

// True where the system's imaging component decodes TIFF (Windows): which
// files it reads, and how it rounds premultiplied colours to straight ones,
// are its own.
extern const bool kSystemDecodesTiff;

// False where a folder without write permission still takes new files: for
// the superuser, and on Windows, where folders have no such permission.
bool FolderPermissionsBind();

// Caps the size of files this process may write, as a full disk would, and
// lifts the cap at the end of its scope. Windows has no such cap: there
// Supported() is false and the object does nothing.
class FileSizeLimit {
 public:
  static bool Supported();

  explicit FileSizeLimit(std::uint64_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  std::uint64_t savedSoft_ = 0;
  void (*savedHandler_)(int) = nullptr;
};

}  // namespace tolvane::testing
