#include "app/rules/start_state.h"

namespace tolvane::window {

namespace {
// The Windows show commands the window honours.
constexpr int kShowMinimisedNoActivate = 7;
constexpr int kShowMaximised = 3;
}  // namespace

StartState StartStateFor(std::optional<int> showCommand) {
  if (showCommand == kShowMinimisedNoActivate) return StartState::MinimisedInactive;
  if (showCommand == kShowMaximised) return StartState::Maximised;
  return StartState::Normal;
}

}  // namespace tolvane::window
