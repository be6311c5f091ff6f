#pragma once

#include <gtest/gtest.h>

#include <string>

#include "convert/convert.h"
#include "support/error.h"

namespace tolvane::testing {

// Runs a conversion expected to fail and returns its message; a conversion
// that succeeds is a test failure.
template <typename Recorder>
std::string FailureOf(const std::string& path, Recorder& recorder) {
  try {
    ConvertImageFile(path, recorder, recorder);
  } catch (const Error& error) {
    return error.what();
  }
  ADD_FAILURE() << "no failure for " << path;
  return {};
}

}  // namespace tolvane::testing
