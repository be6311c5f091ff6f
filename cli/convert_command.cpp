#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <mutex>
#include <numeric>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"
#include "convert/convert.h"
#include "convert/read_input.h"
#include "support/block_cache.h"

namespace tolvane::cli {

namespace {

// Each file as a drop of that one file on the window; a failure is reported
// and the next file follows.
int ConvertOneAtATime(const Arguments& files) {
  StdoutLog log;
  NoPreview preview;
  int status = kExitSuccess;
  for (const std::string& file : files) {
    try {
      ConvertImageFile(file, log, preview);
    } catch (const std::exception& failure) {
      ReportFailure(failure);
      status = kExitFailure;
    }
  }
  return status;
}

// One file's lines and failure, kept until the files before it are printed.
class BufferedLog : public Log {
 public:
  void Clear() override {}
  void Append(std::string_view line) override { out.append(line).push_back('\n'); }
  std::string out;
};

struct FileOutcome {
  std::string out;
  std::string err;
  bool failed = false;
};

FileOutcome ConvertBuffered(const std::string& file) {
  BufferedLog log;
  NoPreview preview;
  FileOutcome outcome;
  try {
    ConvertImageFile(file, log, preview);
  } catch (const std::exception& failure) {
    outcome.err = FailureText(failure);
    outcome.failed = true;
  }
  outcome.out = std::move(log.out);
  return outcome;
}

std::string Normalized(const std::string& path) {
  std::error_code error;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
  return error ? path : canonical.string();
}

// The files whose conversion must wait for an earlier one: when one writes
// what the other reads or writes, they run in the order of the arguments.
std::vector<std::vector<std::size_t>> EarlierConflicts(const Arguments& files) {
  struct Paths {
    std::string input;
    std::optional<std::string> output;
  };
  std::vector<Paths> paths;
  for (const std::string& file : files) {
    Paths p{Normalized(file), std::nullopt};
    if (InputFormatFor(file) != nullptr) p.output = Normalized(OutputPathFor(file));
    paths.push_back(std::move(p));
  }
  std::vector<std::vector<std::size_t>> conflicts(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      const Paths& a = paths[i];
      const Paths& b = paths[j];
      const bool clash = (a.output && (*a.output == b.input || a.output == b.output)) ||
                         (b.output && *b.output == a.input);
      if (clash) conflicts[i].push_back(j);
    }
  }
  return conflicts;
}

// The order in which the files are taken up: the largest first, so that no
// long conversion is left to run alone at the end while the other cores are
// idle. Ties keep the order of the arguments.
std::vector<std::size_t> LargestFirst(const Arguments& files) {
  std::vector<std::uintmax_t> sizes;
  for (const std::string& file : files) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    sizes.push_back(error ? 0 : size);
  }
  std::vector<std::size_t> order(files.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return sizes[a] > sizes[b]; });
  return order;
}

// Converts up to `jobs` files at once, the largest first; each file's lines
// and failure are printed together, in the order of the arguments, as soon
// as the files before it are out. A file waits for the earlier files it
// conflicts with.
int ConvertInParallel(const Arguments& files, unsigned jobs) {
  const std::vector<std::vector<std::size_t>> conflicts = EarlierConflicts(files);
  std::vector<std::size_t> waiting = LargestFirst(files);  // guarded by mutex
  std::vector<FileOutcome> outcomes(files.size());
  std::vector<bool> done(files.size(), false);
  std::mutex mutex;
  std::condition_variable finished;

  const auto ready = [&](std::size_t i) {
    return std::all_of(conflicts[i].begin(), conflicts[i].end(),
                       [&](std::size_t j) { return done[j]; });
  };
  // The next file whose conflicts are all done; none when every file is taken.
  const auto take = [&]() -> std::optional<std::size_t> {
    std::unique_lock lock(mutex);
    for (;;) {
      if (waiting.empty()) return std::nullopt;
      const auto found = std::find_if(waiting.begin(), waiting.end(), ready);
      if (found != waiting.end()) {
        const std::size_t i = *found;
        waiting.erase(found);
        return i;
      }
      finished.wait(lock);
    }
  };
  const auto work = [&] {
    while (const std::optional<std::size_t> i = take()) {
      FileOutcome outcome = ConvertBuffered(files[*i]);
      {
        const std::lock_guard lock(mutex);
        outcomes[*i] = std::move(outcome);
        done[*i] = true;
      }
      finished.notify_all();
    }
  };

  int status = kExitSuccess;
  {
    std::vector<std::jthread> workers;
    const std::size_t count = std::min<std::size_t>(jobs, files.size());
    try {
      for (std::size_t k = 0; k < count; ++k) workers.emplace_back(work);
    } catch (const std::system_error&) {
      if (workers.empty()) return ConvertOneAtATime(files);  // no thread to be had
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
      FileOutcome outcome;
      {
        std::unique_lock lock(mutex);
        finished.wait(lock, [&] { return done[i]; });
        outcome = std::move(outcomes[i]);
      }
      WriteStdout(outcome.out);
      WriteStderr(outcome.err);
      if (outcome.failed) status = kExitFailure;
    }
  }
  return status;
}

// "-j N" or "-jN" before the files; the default is one job per core.
std::optional<unsigned> TakeJobs(Arguments& args) {
  unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
  if (args.empty() || args.front().rfind("-j", 0) != 0) return jobs;
  std::string value = args.front().substr(2);
  std::size_t used = 1;
  if (value.empty()) {
    if (args.size() < 2) return std::nullopt;
    value = args[1];
    used = 2;
  }
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), jobs);
  if (error != std::errc() || end != value.data() + value.size() || jobs == 0) return std::nullopt;
  args.erase(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(used));
  return jobs;
}

}  // namespace

int RunConvert(const Arguments& arguments) {
  Arguments files = arguments;
  const std::optional<unsigned> jobs = TakeJobs(files);
  if (!jobs || files.empty()) return UsageError();
  if (files.size() == 1) return ConvertOneAtATime(files);
  // Each conversion takes up the large blocks the ones before it freed, so
  // that a batch pays for fresh memory once; they are given back at the end.
  const KeepFreedBlocks keep;
  if (*jobs == 1) return ConvertOneAtATime(files);
  return ConvertInParallel(files, *jobs);
}

}  // namespace tolvane::cli
