#include "cli/commands.h"
#include "cli/console.h"

namespace tolvane::cli {

// Not available yet: the preview's drawing lands separately.
int RunPreview(const Arguments& /*args*/) { return UsageError(); }

}  // namespace tolvane::cli
