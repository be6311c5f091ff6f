#pragma once

// Hands a fuzzer's bytes to the conversion, which takes a path: each input is
// written to one scratch file per process (in /dev/shm when it exists).

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace tolvane::fuzz {

class ScratchFolder {
 public:
  ScratchFolder() {
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                           ? "/dev/shm"
                                           : std::filesystem::temp_directory_path();
    path_ = base / ("tolvane-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // Writes the bytes to NAME in the folder and returns its path.
  std::string Write(const std::string& name, const std::uint8_t* data, std::size_t size) const {
    const std::string file = (path_ / name).string();
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (out == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, out) != size) std::abort();
    std::fclose(out);
    return file;
  }

  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline ScratchFolder& Scratch() {
  static ScratchFolder folder;
  return folder;
}

}  // namespace tolvane::fuzz
