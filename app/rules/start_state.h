#pragma once

#include <optional>

namespace tolvane::window {

// How the main window first appears.
enum class StartState { Normal, MinimisedInactive, Maximised };

// The launching program's show command, when it gave one: minimised without
// activation (7) and maximised (3) are honoured; anything else, or none,
// opens the window normally.
StartState StartStateFor(std::optional<int> showCommand);

}  // namespace tolvane::window
