// The output writer flushes its file to the disk before putting it in place,
// and the folder after. fsync is taken over here to see each call: the name
// the descriptor has at that moment, and whether the output is in place yet.

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "support/files.h"
#include "tests/support/test_support.h"

namespace {

struct SyncCall {
  std::string path;
  bool outputInPlace = false;
};

std::mutex callsMutex;
std::vector<SyncCall> calls;
std::string watchedOutput;  // empty: calls are not recorded

}  // namespace

extern "C" int fsync(int fd) {
  {
    const std::lock_guard lock(callsMutex);
    if (!watchedOutput.empty()) {
      std::error_code ignored;
      const auto path =
          std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), ignored);
      calls.push_back({path.string(), std::filesystem::exists(watchedOutput, ignored)});
    }
  }
  return static_cast<int>(::syscall(SYS_fsync, fd));
}

namespace tolvane {
namespace {

TEST(AtomicOutputFile, FlushesTheFileBeforeTheRenameAndTheFolderAfter) {
  const testing::TempDir dir;
  const std::string output = dir.File("out.png");
  {
    const std::lock_guard lock(callsMutex);
    watchedOutput = output;
  }
  AtomicOutputFile out(output);
  out.Write("data", 4);
  out.Commit();
  std::vector<SyncCall> seen;
  {
    const std::lock_guard lock(callsMutex);
    watchedOutput.clear();
    seen = calls;
  }
  ASSERT_EQ(seen.size(), 2u);
  const std::string folder = std::filesystem::canonical(dir.Path()).string();
  EXPECT_EQ(std::filesystem::path(seen[0].path).parent_path(), folder);
  EXPECT_NE(seen[0].path, output);  // still the temporary file
  EXPECT_FALSE(seen[0].outputInPlace);
  EXPECT_EQ(seen[1].path, folder);
  EXPECT_TRUE(seen[1].outputInPlace);
}

}  // namespace
}  // namespace tolvane
