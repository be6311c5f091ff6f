// Runs the built tolvane-cli and checks what it prints and returns.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/messages.h"
#include "support/report.h"
#include "tests/convert/bmp_fixture.h"
#include "tests/support/platform.h"
#include "tests/support/test_support.h"

namespace tolvane {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::UniformBmp;
using testing::WriteFile;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Quoted(const std::string& argument) {
  std::string quoted = "'";
  for (char c : argument) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string Text(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadFile(path);
  return std::string(bytes.begin(), bytes.end());
}

// The user that the runs "as an ordinary user" take when the tests run as
// root: root passes every permission check, so it cannot show one.
constexpr uid_t kOrdinaryUser = 65534;

// Runs tolvane-cli with permission checks in force: as this user, or, under
// root, as kOrdinaryUser. The child does only async-signal-safe calls between
// fork and exec. Empty when the privileges cannot be given up.
std::optional<Outcome> RunAsOrdinaryUser(const TempDir& io, const std::vector<std::string>& args) {
  std::vector<std::string> words{TOLVANE_CLI_PATH};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const std::string outPath = io.File("stdout"), errPath = io.File("stderr");
  const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (out < 0 || err < 0) throw std::runtime_error("cannot open the output files");
  const bool dropPrivileges = ::geteuid() == 0;
  constexpr int kCannotDrop = 77;
  const pid_t child = ::fork();
  if (child == 0) {
    if (::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(127);
    if (dropPrivileges && (::setgroups(0, nullptr) != 0 || ::setgid(kOrdinaryUser) != 0 ||
                           ::setuid(kOrdinaryUser) != 0)) {
      ::_exit(kCannotDrop);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(out);
  ::close(err);
  int raw = 0;
  if (child < 0 || ::waitpid(child, &raw, 0) != child) throw std::runtime_error("cannot run");
  if (WIFEXITED(raw) && WEXITSTATUS(raw) == kCannotDrop) return std::nullopt;
  Outcome outcome;
  outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  outcome.out = Text(outPath);
  outcome.err = Text(errPath);
  return outcome;
}

// Gives a folder and what is in it to the user RunAsOrdinaryUser runs as.
void HandToOrdinaryUser(const std::filesystem::path& folder) {
  if (::geteuid() != 0) return;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    ASSERT_EQ(::lchown(entry.path().c_str(), kOrdinaryUser, kOrdinaryUser), 0);
  }
  ASSERT_EQ(::lchown(folder.c_str(), kOrdinaryUser, kOrdinaryUser), 0);
}

class Cli : public ::testing::Test {
 protected:
  Outcome Run(const std::vector<std::string>& args) {
    std::string command = Quoted(TOLVANE_CLI_PATH);
    for (const std::string& arg : args) command.append(" ").append(Quoted(arg));
    const std::string out = io_.File("stdout"), err = io_.File("stderr");
    command.append(" >").append(Quoted(out)).append(" 2>").append(Quoted(err));
    const int raw = std::system(command.c_str());
    Outcome outcome;
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    outcome.out = Text(out);
    outcome.err = Text(err);
    return outcome;
  }

  TempDir io_;
  TempDir dir_;
};

TEST_F(Cli, HelpAndVersion) {
  const Outcome help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, messages::kCliUsage);
  EXPECT_EQ(help.err, "");
  const Outcome version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "tolvane-cli 1.0.0\n");
}

TEST_F(Cli, UsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"bogus"},
      {"convert"},
      {"raster", "a.bmp"},
      {"raster", "a.bmp", "b.png", "c"},
      {"--help", "extra"},
      {"--version", "extra"},
  };
  for (const auto& args : cases) {
    const Outcome outcome = Run(args);
    EXPECT_EQ(outcome.status, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, messages::kCliUsage);
  }
  const Outcome noReader = Run({"raster", "a.gif", "b.png"});
  EXPECT_EQ(noReader.status, 2);
  EXPECT_EQ(noReader.err,
            "tolvane-cli: no reader for the extension of \"a.gif\" (.jpg, .jpeg, .tif, .tiff, .png "
            "or .bmp)\n");
}

TEST_F(Cli, ConvertPrintsTheLogAndReportsFailuresAsTheErrorBoxWould) {
  const std::string large = dir_.File("large.bmp");
  const std::string small = dir_.File("small.bmp");
  const std::string missing = dir_.File("missing.bmp");
  WriteFile(large, UniformBmp(2049, 3));
  WriteFile(small, UniformBmp(4, 2));

  const Outcome ok = Run({"convert", large, small, dir_.File("note.txt")});
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.out, large + "\n2049 x 3\n> " + dir_.File("large_2048.bmp") + "\n> 2048 x 2\n" +
                        small + "\n4 x 2\n");
  EXPECT_EQ(ok.err, "");
  EXPECT_EQ(ReadFile(dir_.File("large_2048.bmp")).size(), 54u + 4u * 2048u * 2u);

  // A failure does not stop the files after it.
  const Outcome failed = Run({"convert", missing, small});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.out, missing + "\n" + small + "\n4 x 2\n");
  const std::string message = messages::CannotOpenFile(missing, OsErrorText(testing::kNoSuchFile));
  EXPECT_EQ(failed.err, ErrorBoxText(message) + "\n");
  EXPECT_EQ(failed.err, message + "\n");  // the message ends in a space: no period

  const std::string thin = dir_.File("thin.bmp");
  WriteFile(thin, UniformBmp(2050, 1));
  const Outcome zero = Run({"convert", thin});
  EXPECT_EQ(zero.status, 1);
  EXPECT_EQ(zero.err, messages::ReducedSideZero(2047, 0) + "\n");  // ends in ")"
}

TEST_F(Cli, ConvertWithJobsPrintsEachFilesLinesTogetherInArgumentOrder) {
  // A large file first, so that the small ones after it finish before it.
  const std::string large = dir_.File("large.bmp");
  const std::string small = dir_.File("small.bmp");
  const std::string missing = dir_.File("missing.bmp");
  const std::string thin = dir_.File("thin.bmp");
  WriteFile(large, UniformBmp(6000, 800));
  WriteFile(small, UniformBmp(4, 2));
  WriteFile(thin, UniformBmp(3000, 5));
  const std::string expectedOut = large + "\n6000 x 800\n> " + dir_.File("large_2048.bmp") +
                                  "\n> 2047 x 273\n" + small + "\n4 x 2\n" + missing + "\n" + thin +
                                  "\n3000 x 5\n> " + dir_.File("thin_2048.bmp") + "\n> 2047 x 3\n";
  const std::string expectedErr =
      messages::CannotOpenFile(missing, OsErrorText(testing::kNoSuchFile)) + "\n";
  for (const std::vector<std::string>& jobs :
       {std::vector<std::string>{"-j", "2"}, {"-j2"}, {"-j", "1"}, {}}) {
    std::vector<std::string> args = {"convert"};
    args.insert(args.end(), jobs.begin(), jobs.end());
    args.insert(args.end(), {large, small, missing, thin});
    const Outcome outcome = Run(args);
    EXPECT_EQ(outcome.status, 1) << ::testing::PrintToString(jobs);
    EXPECT_EQ(outcome.out, expectedOut) << ::testing::PrintToString(jobs);
    EXPECT_EQ(outcome.err, expectedErr) << ::testing::PrintToString(jobs);
  }
  for (const char* bad : {"0", "x", "2x"}) {
    const Outcome outcome = Run({"convert", "-j", bad, small});
    EXPECT_EQ(outcome.status, 2) << bad;
    EXPECT_EQ(outcome.err, messages::kCliUsage);
  }
  EXPECT_EQ(Run({"convert", "-j", "2"}).status, 2);
}

TEST_F(Cli, ConvertWithJobsKeepsTheOrderOfFilesThatShareAnOutput) {
  // Both name out_2048.bmp: the later argument's image is the one left, also
  // when it is the larger file, which is taken up first.
  const std::string first = dir_.File("out.bmp");
  const std::string second = dir_.File("out_2048.BMP");
  for (const bool laterIsLarger : {false, true}) {
    SCOPED_TRACE(laterIsLarger ? "later file larger" : "earlier file larger");
    WriteFile(first, UniformBmp(laterIsLarger ? 2100 : 3000, laterIsLarger ? 4 : 40, 1, 2, 3));
    WriteFile(second, UniformBmp(laterIsLarger ? 3000 : 2100, laterIsLarger ? 40 : 4, 7, 8, 9));
    const Outcome outcome = Run({"convert", "-j", "2", first, second});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    const std::vector<std::uint8_t> written = ReadFile(dir_.File("out_2048.bmp"));
    ASSERT_GT(written.size(), 57u);
    EXPECT_EQ((std::vector<std::uint8_t>(written.begin() + 54, written.begin() + 57)),
              (std::vector<std::uint8_t>{7, 8, 9}));
  }
}

TEST_F(Cli, RasterWritesTheWorkingRasterAsPng) {
  const std::string input = dir_.File("small.bmp");
  const std::string output = dir_.File("out.png");
  WriteFile(input, UniformBmp(3000, 2));
  const Outcome outcome = Run({"raster", input, output});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "3000 x 2\n");
  EXPECT_EQ(outcome.err, "");
  const std::vector<std::uint8_t> png = ReadFile(output);
  const std::vector<std::uint8_t> signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  ASSERT_GE(png.size(), signature.size());
  EXPECT_TRUE(std::equal(signature.begin(), signature.end(), png.begin()));

  const Outcome missing = Run({"raster", dir_.File("missing.png"), output});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(
      missing.err,
      messages::CannotOpenFile(dir_.File("missing.png"), OsErrorText(testing::kNoSuchFile)) + "\n");
}

// The output is replaced by renaming, which the folder alone allows; an
// output its owner made read-only must still be refused, as a plain write
// would be, and left as it was; so must one in a folder the user may not
// write.
TEST_F(Cli, ConvertWritesOnlyWhereAPlainWriteWouldAndKeepsTheOutputsMode) {
  const std::string large = dir_.File("large.bmp");
  const std::string output = dir_.File("large_2048.bmp");
  WriteFile(large, UniformBmp(2049, 3));
  struct Case {
    mode_t output;
    mode_t folder;
    bool written;
  };
  for (const Case c : {Case{0444, 0755, false}, Case{0640, 0755, true}, Case{0644, 0555, false}}) {
    SCOPED_TRACE(::testing::Message() << std::oct << c.output << " in " << c.folder);
    WriteFile(output, {'o', 'l', 'd'});
    ASSERT_EQ(::chmod(output.c_str(), c.output), 0);
    HandToOrdinaryUser(dir_.Path());
    ASSERT_EQ(::chmod(dir_.Path().c_str(), c.folder), 0);
    const std::optional<Outcome> run = RunAsOrdinaryUser(io_, {"convert", large});
    ASSERT_EQ(::chmod(dir_.Path().c_str(), 0755), 0);
    // Under root the check must run: skipping would hide the refusal.
    if (!run && ::geteuid() == 0) FAIL() << "cannot run as an ordinary user";
    if (!run) GTEST_SKIP() << "cannot run as an ordinary user";
    EXPECT_EQ(run->status, c.written ? 0 : 1);
    EXPECT_EQ(run->err,
              c.written
                  ? ""
                  : ErrorBoxText(messages::CannotCreateFile(output, OsErrorText(EACCES))) + "\n");
    EXPECT_EQ(ReadFile(output).size(), c.written ? 54u + 4u * 2048u * 2u : 3u);
    struct stat info {};
    ASSERT_EQ(::stat(output.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, c.output);
    EXPECT_EQ(testing::FilesIn(dir_.Path()).size(),
              2u);  // the input and the output, no temporary file
    ASSERT_EQ(::chmod(output.c_str(), 0644), 0);
  }
}

}  // namespace
}  // namespace tolvane
