#include "app/background_conversion.h"

#include <utility>

#include "convert/convert.h"

namespace tolvane::app {

namespace {

// Runs work on the context's thread, after everything posted there before.
template <typename Work>
void Post(QObject& context, Work work) {
  QMetaObject::invokeMethod(&context, std::move(work), Qt::QueuedConnection);
}

class RelayedLog : public Log {
 public:
  RelayedLog(QObject& context, Log& target) : context_(context), target_(target) {}
  void Clear() override {
    Post(context_, [&target = target_] { target.Clear(); });
  }
  void Append(std::string_view line) override {
    Post(context_, [&target = target_, line = std::string(line)] { target.Append(line); });
  }

 private:
  QObject& context_;
  Log& target_;
};

// A raster's copy shares its pixels, which the conversion no longer changes
// once it has shown them; a PNG image's copy shares its decoded planes.
class RelayedPreview : public Preview {
 public:
  RelayedPreview(QObject& context, Preview& target) : context_(context), target_(target) {}
  void Show(const Raster& raster) override {
    Post(context_, [&target = target_, raster] { target.Show(raster); });
  }
  void Show(const PngImage& image) override {
    Post(context_, [&target = target_, image] { target.Show(image); });
  }

 private:
  QObject& context_;
  Preview& target_;
};

}  // namespace

BackgroundConversion::~BackgroundConversion() {
  if (worker_.joinable()) worker_.join();
}

void BackgroundConversion::Start(const std::string& path, Done done) {
  if (worker_.joinable()) worker_.join();
  worker_ = std::thread([this, path, done = std::move(done)] {
    std::exception_ptr failure;
    try {
      RelayedLog log(*this, log_);
      RelayedPreview preview(*this, preview_);
      ConvertImageFile(path, log, preview);
    } catch (...) {
      // Carried over to be raised again where the window reports it.
      failure = std::current_exception();
    }
    Post(*this, [done, failure] { done(failure); });
  });
}

}  // namespace tolvane::app
