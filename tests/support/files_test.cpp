// The output writer: the mode, owner and place of what it writes, and what it
// leaves behind.

#include "support/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/messages.h"
#include "tests/support/test_support.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using testing::FilesIn;
using testing::MessageOf;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
using testing::WriteOutput;

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::string Text(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadFile(path);
  return {bytes.begin(), bytes.end()};
}

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

// Sets the process umask for one test and puts the old one back.
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : old_(::umask(mask)) {}
  ~ScopedUmask() { ::umask(old_); }
  ScopedUmask(const ScopedUmask&) = delete;
  ScopedUmask& operator=(const ScopedUmask&) = delete;

 private:
  mode_t old_;
};

// The process umask as the kernel reports it, read without changing it; -1
// when the kernel does not say.
int ObservedUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) return std::stoi(line.substr(6), nullptr, 8);
  }
  return -1;
}

// Reads at an offset leave the position of plain reads alone, see the file
// as it was when opened, and fail when it has been shortened since.
TEST(InputFile, ReadsAtAnOffsetWithinTheSizeItWasOpenedWith) {
  const TempDir dir;
  const std::string path = (dir.Path() / "input.bin").string();
  WriteFile(path, {1, 2, 3, 4, 5, 6, 7, 8});
  InputFile file(path);
  unsigned char byte = 0;
  ASSERT_EQ(file.Read(&byte, 1), 1u);
  {
    std::ofstream grow(path, std::ios::binary | std::ios::app);
    grow << "more";
  }
  unsigned char at[8] = {};
  EXPECT_EQ(file.ReadAt(5, at, sizeof at), 3u);
  EXPECT_EQ(std::vector<unsigned char>(at, at + 3), (std::vector<unsigned char>{6, 7, 8}));
  EXPECT_EQ(file.ReadAt(8, at, sizeof at), 0u);
  EXPECT_EQ(file.ReadAt(~std::uint64_t{0}, at, sizeof at), 0u);
  ASSERT_EQ(file.Read(&byte, 1), 1u);
  EXPECT_EQ(byte, 2);
  EXPECT_EQ(file.Position(), 2u);

  ASSERT_EQ(::truncate(path.c_str(), 4), 0);
  EXPECT_EQ(MessageOf([&] { file.ReadAt(2, at, 4); }), messages::kReadError);
}

// Many conversions at once must each get the mode a plain create gives, and
// the process umask must never change meanwhile: another thread's file would
// take a changed one. Most files are dropped unfinished, as failed
// conversions are, so that many are begun without waiting for the disk.
TEST(AtomicOutputFile, ManyThreadsGetTheModeOfAPlainCreate) {
  constexpr int kThreads = 8;
  constexpr int kFilesEach = 400;
  constexpr int kCommitEvery = 16;
  for (const mode_t mask : {mode_t{022}, mode_t{027}}) {
    SCOPED_TRACE(mask);
    const ScopedUmask scoped(mask);
    TempDir dir;
    std::atomic<int> writing = kThreads;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&dir, &writing, t] {
        for (int i = 0; i < kFilesEach; ++i) {
          AtomicOutputFile out(dir.File(std::to_string(t) + "_" + std::to_string(i)));
          out.Write("x", 1);
          if (i % kCommitEvery == 0) out.Commit();
        }
        --writing;
      });
    }
    int umaskChanges = 0;
    while (writing > 0) {
      const int seen = ObservedUmask();
      if (seen >= 0 && seen != static_cast<int>(mask)) ++umaskChanges;
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(umaskChanges, 0);
    int wrong = 0;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
      if (ModeOf(entry.path()) != (0666 & ~mask)) ++wrong;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(FilesIn(dir.Path()).size(),
              static_cast<std::size_t>(kThreads * kFilesEach / kCommitEvery));
    EXPECT_EQ(::umask(mask), mask);
  }
}

TEST(AtomicOutputFile, ReplacedFileKeepsItsModeAndOwner) {
  const ScopedUmask scoped(022);
  TempDir dir;
  const std::string path = dir.File("out.png");
  WriteFile(path, Bytes("old"));
  ASSERT_EQ(::chmod(path.c_str(), 0604), 0);
  // Another owner can be given only with the privilege to do so.
  const bool privileged = ::geteuid() == 0;
  if (privileged) {
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
  }

  WriteOutput(path, "new");
  EXPECT_EQ(Text(path), "new");
  EXPECT_EQ(ModeOf(path), 0604u);
  if (privileged) {
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(info.st_gid, 65534u);
  }
  EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"out.png"});
}

// A link is written through: the link stays, its final target gets the bytes,
// and the temporary file lives and dies beside that target.
TEST(AtomicOutputFile, WritesThroughLinks) {
  struct Case {
    const char* name;
    const char* target;  // where the chain ends, in the folder "elsewhere"
    bool exists;
    bool chain;  // out.png -> hop -> target instead of out.png -> target
    bool relative;
  };
  const Case cases[] = {
      {"to an existing file", "real.png", true, false, false},
      {"chain of two links", "real.png", true, true, false},
      {"relative link text", "real.png", true, true, true},
      {"dangling link", "missing.png", false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ScopedUmask scoped(022);
    TempDir outputs;
    TempDir elsewhere;
    const std::string target = elsewhere.File(c.target);
    if (c.exists) {
      WriteFile(target, Bytes("old"));
      ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    }
    const std::string pointed = c.relative ? fs::relative(target, outputs.Path()).string() : target;
    const std::string link = outputs.File("out.png");
    if (c.chain) {
      fs::create_symlink(pointed, outputs.File("hop.png"));
      fs::create_symlink("hop.png", link);
    } else {
      fs::create_symlink(pointed, link);
    }

    WriteOutput(link, "new");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Text(target), "new");
    EXPECT_FALSE(fs::is_symlink(target));
    EXPECT_EQ(ModeOf(target), c.exists ? 0640u : 0644u);
    EXPECT_EQ(FilesIn(elsewhere.Path()), std::vector<std::string>{c.target});
    EXPECT_EQ(FilesIn(outputs.Path()).size(), c.chain ? 2u : 1u);
  }
}

TEST(AtomicOutputFile, LinkLoopFailsAsAPlainCreateWould) {
  TempDir dir;
  const std::string path = dir.File("out.png");
  fs::create_symlink("back.png", path);
  fs::create_symlink("out.png", dir.File("back.png"));
  EXPECT_EQ(MessageOf([&] { WriteOutput(path, "new"); }),
            messages::CannotCreateFile(path, OsErrorText(ELOOP)));
  EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"back.png", "out.png"}));
}

// Every failure leaves the folder as it was: no temporary file, no file
// descriptor left open.
TEST(AtomicOutputFile, FailuresLeaveNothingBehind) {
  TempDir dir;
  const auto openDescriptors = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
  };
  const auto before = openDescriptors();

  fs::create_directory(dir.File("folder.png"));
  EXPECT_EQ(MessageOf([&] { WriteOutput(dir.File("folder.png"), "x"); }),
            messages::CannotCreateFile(dir.File("folder.png"), OsErrorText(EISDIR)));
  fs::create_symlink("folder.png", dir.File("link.png"));
  EXPECT_EQ(MessageOf([&] { WriteOutput(dir.File("link.png"), "x"); }),
            messages::CannotCreateFile(dir.File("link.png"), OsErrorText(EISDIR)));
  EXPECT_EQ(MessageOf([&] { WriteOutput(dir.File("none/out.png"), "x"); }),
            messages::CannotCreateFile(dir.File("none/out.png"), OsErrorText(ENOENT)));
  {
    AtomicOutputFile abandoned(dir.File("abandoned.png"));
    abandoned.Write("x", 1);
  }
  // The rename fails when the target turns into a folder meanwhile.
  EXPECT_EQ(MessageOf([&] {
              AtomicOutputFile out(dir.File("late.png"));
              fs::create_directory(dir.File("late.png"));
              fs::create_directory(dir.File("late.png/inside"));
              out.Commit();
            }),
            messages::CannotCreateFile(dir.File("late.png"), OsErrorText(EISDIR)));

  EXPECT_EQ(FilesIn(dir.Path()),
            (std::vector<std::string>{"folder.png", "late.png", "late.png/inside", "link.png"}));
  EXPECT_EQ(openDescriptors(), before);
}

}  // namespace
}  // namespace tolvane
