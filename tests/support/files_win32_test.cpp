// The Windows file layer: names in UTF-8, long paths, outputs that may not be
// replaced, and the same-file test.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "support/files.h"
#include "support/messages.h"
#include "support/win32_text.h"
#include "tests/support/test_support.h"

namespace tolvane {
namespace {

using testing::FilesIn;
using testing::MessageOf;
using testing::TempDir;
using testing::WriteOutput;

std::string ReadInput(const std::string& path) {
  InputFile in(path);
  std::string text(static_cast<std::size_t>(in.Size()), '\0');
  in.ReadExact(text.data(), text.size());
  return text;
}

// Another spelling of the same path, so that the same-file test cannot pass
// by comparing the names.
std::string WithForwardSlashes(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

// A read at an offset moves the Windows file pointer; plain reads must go on
// where they were.
TEST(WindowsFiles, ReadsAtAnOffsetLeaveThePlainReadsPlace) {
  TempDir dir;
  const std::string path = dir.Path().string() + "\\input.bin";
  WriteOutput(path, "abcdefgh");
  InputFile file(path);
  char byte = 0;
  ASSERT_EQ(file.Read(&byte, 1), 1u);
  char at[8] = {};
  EXPECT_EQ(file.ReadAt(5, at, sizeof at), 3u);
  EXPECT_EQ(std::string(at, 3), "fgh");
  EXPECT_EQ(file.ReadAt(8, at, sizeof at), 0u);
  ASSERT_EQ(file.Read(&byte, 1), 1u);
  EXPECT_EQ(byte, 'b');
}

TEST(WindowsFiles, AJapaneseNameIsWrittenAndReadThroughUtf16) {
  TempDir dir;
  const std::string path = dir.Path().string() + "\\写真_2048.png";
  WriteOutput(path, "bytes");
  EXPECT_EQ(ReadInput(path), "bytes");
  // The system holds the name itself, not its bytes in the ANSI code page.
  EXPECT_NE(::GetFileAttributesW((dir.Path() / L"写真_2048.png").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(SameExistingFile(path, WithForwardSlashes(path)));
}

TEST(WindowsFiles, APathLongerThan260CharactersIsWrittenAndRead) {
  TempDir dir;
  const std::string root = dir.Path().string();
  std::string folder = root;
  while (folder.size() < 300) {
    folder += "\\" + std::string(40, 'd');
    ASSERT_TRUE(::CreateDirectoryW(WidePath(folder).c_str(), nullptr)) << folder;
  }
  const std::string path = folder + "\\photo_2048.png";
  WriteOutput(path, "long");
  EXPECT_EQ(ReadInput(path), "long");
  EXPECT_TRUE(SameExistingFile(path, WithForwardSlashes(path)));
  // Removed by hand: not every remover takes paths this long.
  ::DeleteFileW(WidePath(path).c_str());
  for (; folder.size() > root.size(); folder.erase(folder.rfind('\\'))) {
    ::RemoveDirectoryW(WidePath(folder).c_str());
  }
}

TEST(WindowsFiles, AReadOnlyOutputIsRefusedAndKept) {
  TempDir dir;
  const std::string path = dir.Path().string() + "\\photo_2048.png";
  WriteOutput(path, "old");
  ASSERT_TRUE(::SetFileAttributesW(WidePath(path).c_str(), FILE_ATTRIBUTE_READONLY));
  const std::string message = MessageOf([&] { WriteOutput(path, "new"); });
  ::SetFileAttributesW(WidePath(path).c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(message, messages::CannotCreateFile(path, WindowsErrorText(ERROR_ACCESS_DENIED)));
  EXPECT_EQ(ReadInput(path), "old");
  EXPECT_EQ(FilesIn(dir.Path()).size(), 1u);
}

TEST(WindowsFiles, AnOutputHeldOpenWithoutSharingIsRefusedAndKept) {
  TempDir dir;
  const std::string path = dir.Path().string() + "\\photo_2048.png";
  WriteOutput(path, "old");
  const HANDLE held = ::CreateFileW(WidePath(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const std::string message = MessageOf([&] { WriteOutput(path, "new"); });
  ::CloseHandle(held);
  // The system's text names the sharing fault; the message carries the path.
  EXPECT_NE(message.find(path), std::string::npos) << message;
  EXPECT_EQ(ReadInput(path), "old");
  EXPECT_EQ(FilesIn(dir.Path()).size(), 1u);
}

TEST(WindowsFiles, TwoNamesOfOneFileAreTheSameFile) {
  TempDir dir;
  const std::string first = dir.Path().string() + "\\a.bmp";
  const std::string second = dir.Path().string() + "\\b.bmp";
  const std::string other = dir.Path().string() + "\\c.bmp";
  WriteOutput(first, "one");
  WriteOutput(other, "one");
  ASSERT_TRUE(::CreateHardLinkW(WidePath(second).c_str(), WidePath(first).c_str(), nullptr));
  EXPECT_TRUE(SameExistingFile(first, second));
  EXPECT_FALSE(SameExistingFile(first, other));
  EXPECT_FALSE(SameExistingFile(first, dir.Path().string() + "\\missing.bmp"));
}

}  // namespace
}  // namespace tolvane
