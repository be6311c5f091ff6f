#pragma once

// The commands of tolvane-cli, one file each. Each takes the arguments after
// its name and returns the exit status.

#include <string>
#include <vector>

namespace tolvane::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // a file failed
inline constexpr int kExitUsage = 2;

using Arguments = std::vector<std::string>;

int RunConvert(const Arguments& files);  // convert FILE...
int RunRaster(const Arguments& args);    // raster FILE OUT.png
int RunPreview(const Arguments& args);   // preview FILE OUT.png [--dpi N]

}  // namespace tolvane::cli
