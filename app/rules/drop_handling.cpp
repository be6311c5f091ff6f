#include "app/rules/drop_handling.h"

#include "support/paths.h"

namespace tolvane::window {

void DropHandling::Add(std::string path) {
  drops_.Add(std::move(path));
  ConvertNext();
}

void DropHandling::ConvertNext() {
  const std::optional<std::string> path = drops_.StartNext();
  if (!path) return;
  window_.SetConverting(true);
  try {
    conversion_.Start(*path,
                      [this, path = *path](std::exception_ptr failure) { Finish(path, failure); });
  } catch (...) {
    Finish(*path, std::current_exception());
  }
}

// The box, if any, comes up after everything the conversion wrote into the
// log and the preview, and the next drop is handled once it is closed.
void DropHandling::Finish(const std::string& path, const std::exception_ptr& failure) {
  window_.SetConverting(false);
  if (failure) {
    window_.ReportFailure(failure);
  } else {
    window_.ShowFileName(NameOf(path));
  }
  drops_.Finish();
  ConvertNext();
}

}  // namespace tolvane::window
