// The files of the POSIX programs.

#include "support/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <system_error>

#include "support/error.h"
#include "support/messages.h"

namespace tolvane {

std::string OsErrorText(int errorNumber) { return std::system_category().message(errorNumber); }

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

namespace {

// Reads until `count` bytes have come or the file ends; `readSome` is one
// read(2) or pread(2) call for the bytes from `done` on.
template <typename ReadSome>
std::size_t ReadUntilEnd(unsigned char* out, std::size_t count, ReadSome readSome) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t got = readSome(out + done, count - done, done);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw Error(std::string(messages::kReadError));
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

}  // namespace

std::size_t InputFile::Read(void* buffer, std::size_t count) {
  const std::size_t done = ReadUntilEnd(
      static_cast<unsigned char*>(buffer), count,
      [&](unsigned char* out, std::size_t wanted, std::size_t) { return ::read(fd_, out, wanted); });
  position_ += done;
  return done;
}

// pread leaves the file's offset alone, so Read goes on where it was.
std::size_t InputFile::ReadFromOffset(std::uint64_t offset, unsigned char* buffer,
                                      std::size_t count) {
  return ReadUntilEnd(buffer, count, [&](unsigned char* out, std::size_t wanted, std::size_t done) {
    return ::pread(fd_, out, wanted, static_cast<off_t>(offset + done));
  });
}

void InputFile::SeekTo(std::uint64_t offset) {
  if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
    throw Error(std::string(messages::kReadError));
  }
}

namespace {

// Permission bits a new output gets before the umask, as a plain create gives.
constexpr mode_t kNewFileMode = 0666;
// Links followed before giving up, as the kernel does for a path.
constexpr int kMaxLinkHops = 40;
// Names tried for the temporary file before giving up.
constexpr int kMaxNameAttempts = 100;

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The text of a symbolic link, or empty with errno set.
std::string ReadLink(const std::string& path) {
  std::string text(4096, '\0');
  const ssize_t length = ::readlink(path.c_str(), text.data(), text.size());
  if (length < 0) return {};
  if (static_cast<std::size_t>(length) == text.size()) {
    errno = ENAMETOOLONG;
    return {};
  }
  text.resize(static_cast<std::size_t>(length));
  return text;
}

// Where a plain open of `target` would write: its last component's links
// followed to the end, a dangling one included. `target` names the output in
// the message of a failure.
std::string FinalLinkTarget(const std::string& target) {
  std::string path = target;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    const std::string text = ReadLink(path);
    if (text.empty()) throw Error(messages::CannotCreateFile(target, OsErrorText(errno)));
    path = text.front() == '/' ? text : FolderOf(path) + text;
  }
  throw Error(messages::CannotCreateFile(target, OsErrorText(ELOOP)));
}

// Creates a file of a fresh random name in `folder`; the kernel applies the
// umask to `mode`. Returns the descriptor, or -1 with errno set.
int CreateTemporary(const std::string& folder, mode_t mode, std::string& name) {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 random{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> letter(0, sizeof kLetters - 2);
  for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
    name = folder + ".tolvane-";
    for (int i = 0; i < 12; ++i) name += kLetters[letter(random)];
    const int fd = ::open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// Gives the new file the owner and group of the one it replaces where this
// user may, then its permission bits; not the set-id bits, which a write by an
// ordinary user clears too. Best effort: a file that cannot take the owner
// keeps the writer's.
void TakeOverOwnerAndMode(int fd, const struct stat& existing) {
  struct stat created {};
  if (::fstat(fd, &created) == 0 &&
      (created.st_uid != existing.st_uid || created.st_gid != existing.st_gid)) {
    if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
      [[maybe_unused]] const int ignored = ::fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
    }
  }
  ::fchmod(fd, existing.st_mode & 0777);
}

// Makes a rename in `folder` survive a power cut. A file system that cannot
// flush a folder says EINVAL; the file is in place then and all is done that
// can be.
void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
  ::close(fd);
  if (!synced) throw Error(std::string(messages::kWriteError));
}

}  // namespace

// The output is written the way a plain open for writing would: through
// links, refused where such an open would be refused, and with the mode such
// an open leaves. Only then the bytes go to a temporary file beside the final
// target, which the rename puts in its place.
AtomicOutputFile::AtomicOutputFile(const std::string& targetPath)
    : target_(targetPath), final_(FinalLinkTarget(targetPath)) {
  struct stat existing {};
  const bool exists = ::stat(final_.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) {
    throw Error(messages::CannotCreateFile(target_, OsErrorText(EISDIR)));
  }
  // Renaming needs only the folder's permission; the file's own must hold too.
  if (exists && ::faccessat(AT_FDCWD, final_.c_str(), W_OK, AT_EACCESS) != 0) {
    throw Error(messages::CannotCreateFile(target_, OsErrorText(errno)));
  }
  // Made private when it replaces a file, so that nobody can open it before
  // it has that file's mode.
  fd_ = CreateTemporary(FolderOf(final_), exists ? 0600 : kNewFileMode, temporary_);
  if (fd_ < 0) throw Error(messages::CannotCreateFile(target_, OsErrorText(errno)));
  if (exists) TakeOverOwnerAndMode(fd_, existing);
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

// The data reaches the disk before the name points at it, and the name
// reaches the disk after, so that a power cut leaves the old file or the
// whole new one.
void AtomicOutputFile::Commit() {
  if (::fsync(fd_) != 0) throw Error(std::string(messages::kWriteError));
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throw Error(std::string(messages::kWriteError));
  if (::rename(temporary_.c_str(), final_.c_str()) != 0) {
    throw Error(messages::CannotCreateFile(target_, OsErrorText(errno)));
  }
  committed_ = true;
  SyncFolder(FolderOf(final_));
}

bool SameExistingFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace tolvane
