#include "support/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <system_error>

#include "support/error.h"
#include "support/messages.h"

namespace tolvane {

std::string OsErrorText(int errorNumber) {
  return std::system_category().message(errorNumber);
}

InputFile::InputFile(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) throw Error(messages::CannotOpenFile(path, OsErrorText(errno)));
  struct stat info {};
  if (::fstat(fd_, &info) != 0) {
    const int saved = errno;
    ::close(fd_);
    throw Error(messages::CannotOpenFile(path, OsErrorText(saved)));
  }
  if (S_ISDIR(info.st_mode)) {
    ::close(fd_);
    throw Error(messages::CannotOpenFile(path, OsErrorText(EISDIR)));
  }
  size_ = static_cast<std::uint64_t>(info.st_size);
}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

std::size_t InputFile::Read(void* buffer, std::size_t count) {
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t got = ::read(fd_, out + done, count - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw Error(std::string(messages::kReadError));
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  position_ += done;
  return done;
}

void InputFile::ReadExact(void* buffer, std::size_t count) {
  if (Read(buffer, count) != count) throw Error(std::string(messages::kReadError));
}

void InputFile::Skip(std::uint64_t count) {
  const std::uint64_t target = position_ + count < position_ ? size_ : position_ + count;
  const std::uint64_t clamped = target > size_ ? size_ : target;
  if (::lseek(fd_, static_cast<off_t>(clamped), SEEK_SET) < 0) {
    throw Error(std::string(messages::kReadError));
  }
  position_ = clamped;
}

ByteBlock InputFile::ReadRest(std::size_t pieceSize) {
  ByteBlock data = BlockForRest(size_ > position_ ? size_ - position_ : 0);
  std::size_t done = 0;
  while (done < data.size()) {
    const std::size_t piece = std::min(pieceSize, data.size() - done);
    const std::size_t got = Read(data.data() + done, piece);
    if (got != piece) throw Error(std::string(messages::kReadError));
    done += got;
  }
  return data;
}

namespace {

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

AtomicOutputFile::AtomicOutputFile(const std::string& targetPath) : target_(targetPath) {
  struct stat info {};
  if (::stat(target_.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    throw Error(messages::CannotCreateFile(target_, OsErrorText(EISDIR)));
  }
  std::string pattern = FolderOf(target_) + ".tolvane-XXXXXX";
  fd_ = ::mkstemp(pattern.data());
  if (fd_ < 0) throw Error(messages::CannotCreateFile(target_, OsErrorText(errno)));
  temporary_ = pattern;
  // mkstemp makes the file private; give it the mode a newly created file gets.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, 0666 & ~mask);
}

AtomicOutputFile::~AtomicOutputFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

void AtomicOutputFile::Write(const void* data, std::size_t count) {
  const auto* in = static_cast<const unsigned char*>(data);
  while (count > 0) {
    const ssize_t put = ::write(fd_, in, count);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) throw Error(std::string(messages::kWriteError));
    in += put;
    count -= static_cast<std::size_t>(put);
  }
}

void AtomicOutputFile::Commit() {
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throw Error(std::string(messages::kWriteError));
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    throw Error(messages::CannotCreateFile(target_, OsErrorText(errno)));
  }
  committed_ = true;
}

bool SameExistingFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace tolvane
