#include "app/rules/background_conversion.h"

#include <utility>

#include "convert/convert.h"

namespace tolvane::window {

namespace {

class RelayedLog : public Log {
 public:
  RelayedLog(const PostToWindow& post, Log& target) : post_(post), target_(target) {}
  void Clear() override {
    post_([&target = target_] { target.Clear(); });
  }
  void Append(std::string_view line) override {
    post_([&target = target_, line = std::string(line)] { target.Append(line); });
  }

 private:
  const PostToWindow& post_;
  Log& target_;
};

// A raster's copy shares its pixels, which the conversion no longer changes
// once it has shown them; a PNG image's copy shares its decoded planes.
class RelayedPreview : public Preview {
 public:
  RelayedPreview(const PostToWindow& post, Preview& target) : post_(post), target_(target) {}
  void Show(const Raster& raster) override {
    post_([&target = target_, raster] { target.Show(raster); });
  }
  void Show(const PngImage& image) override {
    post_([&target = target_, image] { target.Show(image); });
  }

 private:
  const PostToWindow& post_;
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
      RelayedLog log(post_, log_);
      RelayedPreview preview(post_, preview_);
      ConvertImageFile(path, log, preview);
    } catch (...) {
      // Carried over to be raised again where the window reports it.
      failure = std::current_exception();
    }
    post_([done, failure] { done(failure); });
  });
}

}  // namespace tolvane::window
