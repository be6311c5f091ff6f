// The files of the Windows program: UTF-8 paths opened as UTF-16 through
// CreateFileW (long paths allowed), OS texts from FormatMessageW. The
// descriptors the shared header keeps are the C runtime's, each wrapping one
// Windows handle: _get_osfhandle gives the handle back and _close closes both.

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "support/error.h"
#include "support/files.h"
#include "support/messages.h"
#include "support/win32_text.h"

namespace tolvane {

namespace {

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

// Hands the handle to the C runtime; on failure closes it and returns -1.
int DescriptorFor(HANDLE handle, int flags) {
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
  if (fd < 0) ::CloseHandle(handle);
  return fd;
}

std::string LastErrorText() { return WindowsErrorText(::GetLastError()); }

}  // namespace

std::string OsErrorText(int errorNumber) {
  return WindowsErrorText(static_cast<unsigned long>(errorNumber));
}

InputFile::InputFile(const std::string& path) {
  // Others may read the file meanwhile, but nobody may change it.
  const HANDLE handle = ::CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) throw Error(messages::CannotOpenFile(path, LastErrorText()));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle, &info)) {
    const std::string text = LastErrorText();
    ::CloseHandle(handle);
    throw Error(messages::CannotOpenFile(path, text));
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    ::CloseHandle(handle);
    throw Error(messages::CannotOpenFile(path, WindowsErrorText(ERROR_ACCESS_DENIED)));
  }
  fd_ = DescriptorFor(handle, _O_RDONLY | _O_BINARY);
  if (fd_ < 0)
    throw Error(messages::CannotOpenFile(path, WindowsErrorText(ERROR_TOO_MANY_OPEN_FILES)));
  size_ = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
}

InputFile::~InputFile() {
  if (fd_ >= 0) ::_close(fd_);
}

namespace {

// Reads until `count` bytes have come or the file ends, in pieces ReadFile
// takes: from the file pointer, or from `offset` when there is one.
std::size_t ReadUntilEnd(HANDLE file, unsigned char* out, std::size_t count,
                         std::optional<std::uint64_t> offset) {
  std::size_t done = 0;
  while (done < count) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
    OVERLAPPED at{};
    if (offset) {
      at.Offset = static_cast<DWORD>((*offset + done) & 0xFFFFFFFFu);
      at.OffsetHigh = static_cast<DWORD>((*offset + done) >> 32);
    }
    DWORD got = 0;
    if (!::ReadFile(file, out + done, piece, &got, offset ? &at : nullptr)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      throw Error(std::string(messages::kReadError));
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

}  // namespace

std::size_t InputFile::Read(void* buffer, std::size_t count) {
  const std::size_t done =
      ReadUntilEnd(HandleOf(fd_), static_cast<unsigned char*>(buffer), count, std::nullopt);
  position_ += done;
  return done;
}

// A read at an offset moves the file pointer on Windows, so the pointer is put
// back where Read left it.
std::size_t InputFile::ReadFromOffset(std::uint64_t offset, unsigned char* buffer,
                                      std::size_t count) {
  const std::size_t done = ReadUntilEnd(HandleOf(fd_), buffer, count, offset);
  SeekTo(position_);
  return done;
}

void InputFile::SeekTo(std::uint64_t offset) {
  LARGE_INTEGER distance{};
  distance.QuadPart = static_cast<LONGLONG>(offset);
  if (!::SetFilePointerEx(HandleOf(fd_), distance, nullptr, FILE_BEGIN)) {
    throw Error(std::string(messages::kReadError));
  }
}

namespace {

std::string FolderOf(const std::string& path) {
  const auto separator = path.find_last_of("\\/:");
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

// A name no other writer in the folder picks: the process and a counter.
std::string TemporaryNameIn(const std::string& folder) {
  static LONG counter = 0;
  return folder + ".tolvane-" + std::to_string(::GetCurrentProcessId()) + "-" +
         std::to_string(::InterlockedIncrement(&counter)) + ".tmp";
}

// Where a plain open of `target` would write: for a symbolic link, the file
// it leads to, so that the rename replaces that file and not the link.
std::string FinalLinkTarget(const std::string& target) {
  const std::wstring wide = WidePath(target);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return target;
  const HANDLE handle = ::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    throw Error(messages::CannotCreateFile(target, LastErrorText()));
  const std::unique_ptr<void, decltype(&::CloseHandle)> owned(handle, &::CloseHandle);
  std::wstring final(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()),
                                    FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) throw Error(messages::CannotCreateFile(target, LastErrorText()));
    if (length < final.size()) {
      final.resize(length);
      return Utf8FromWide(final);
    }
    final.resize(length);
  }
}

}  // namespace

// The output is written the way a plain open for writing would: through
// links, and refused where such an open would be refused. The bytes go to a
// temporary file beside the final target, which the move puts in its place.
AtomicOutputFile::AtomicOutputFile(const std::string& targetPath)
    : target_(targetPath), final_(FinalLinkTarget(targetPath)) {
  const std::wstring target = WidePath(final_);
  // Refuse what a plain create would refuse: a folder, a read-only file.
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
    throw Error(messages::CannotCreateFile(target_, WindowsErrorText(ERROR_ACCESS_DENIED)));
  }
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    std::string temporary = TemporaryNameIn(FolderOf(final_));
    const HANDLE handle = ::CreateFileW(WidePath(temporary).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (::GetLastError() == ERROR_FILE_EXISTS) continue;
      throw Error(messages::CannotCreateFile(target_, LastErrorText()));
    }
    fd_ = DescriptorFor(handle, _O_WRONLY | _O_BINARY);
    if (fd_ < 0) {
      ::DeleteFileW(WidePath(temporary).c_str());
      throw Error(messages::CannotCreateFile(target_, WindowsErrorText(ERROR_TOO_MANY_OPEN_FILES)));
    }
    temporary_ = std::move(temporary);
  }
  if (fd_ < 0)
    throw Error(messages::CannotCreateFile(target_, WindowsErrorText(ERROR_FILE_EXISTS)));
}

AtomicOutputFile::~AtomicOutputFile() {
  if (fd_ >= 0) ::_close(fd_);
  if (!committed_ && !temporary_.empty()) ::DeleteFileW(WidePath(temporary_).c_str());
}

void AtomicOutputFile::Write(const void* data, std::size_t count) {
  const auto* in = static_cast<const unsigned char*>(data);
  while (count > 0) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    DWORD put = 0;
    if (!::WriteFile(HandleOf(fd_), in, piece, &put, nullptr) || put == 0) {
      throw Error(std::string(messages::kWriteError));
    }
    in += put;
    count -= put;
  }
}

// The data reach the disk before the move, and the move is written through,
// so that a power cut leaves the old file or the whole new one.
void AtomicOutputFile::Commit() {
  const bool flushed = ::FlushFileBuffers(HandleOf(fd_)) != 0;
  const int fd = fd_;
  fd_ = -1;
  if (::_close(fd) != 0 || !flushed) throw Error(std::string(messages::kWriteError));
  if (!::MoveFileExW(WidePath(temporary_).c_str(), WidePath(final_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw Error(messages::CannotCreateFile(target_, LastErrorText()));
  }
  committed_ = true;
}

namespace {

// The volume and the file index of an existing file, or nothing.
bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  const HANDLE handle = ::CreateFileW(WidePath(path).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool known = ::GetFileInformationByHandle(handle, &info) != 0;
  ::CloseHandle(handle);
  return known;
}

}  // namespace

bool SameExistingFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION first{};
  BY_HANDLE_FILE_INFORMATION second{};
  if (!FileIdentity(a, first) || !FileIdentity(b, second)) return false;
  return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

}  // namespace tolvane
