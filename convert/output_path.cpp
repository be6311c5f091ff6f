#include "convert/output_path.h"

#include "convert/read_input.h"

namespace tolvane {

std::string OutputPathFor(std::string_view inputPath, Separators separators) {
  const std::string name = NameOf(inputPath, separators);
  const std::string_view folder = inputPath.substr(0, inputPath.size() - name.size());
  const std::size_t lastDot = name.find_last_of('.');
  const std::string_view stem =
      std::string_view(name).substr(0, lastDot == std::string::npos ? name.size() : lastDot);

  std::string output(folder);
  output += stem;
  if (inputPath.find(OutputSuffix) == std::string_view::npos) output += OutputSuffix;
  // A path no reader takes is never converted; it gets the PNG name.
  const InputFormat* format = InputFormatFor(inputPath, separators);
  output += format != nullptr ? format->outputExtension : std::string_view(".png");
  return output;
}

}  // namespace tolvane
