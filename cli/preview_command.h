#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tolvane::cli {

// tolvane-cli preview FILE OUT.png [--dpi N]: converts FILE as a drop would
// (log lines on out), then writes the preview box as the window paints it
// at N dots per inch (default 96) to OUT.png. args are those after
// "preview". Returns the exit status: 0, 1 when FILE failed or OUT.png could
// not be written (the error box's text on err), 2 for a usage error.
int RunPreviewCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The largest --dpi accepted: ten times the design resolution.
inline constexpr int kMaxPreviewDpi = 960;

}  // namespace tolvane::cli
