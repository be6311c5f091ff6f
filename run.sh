#!/usr/bin/env bash
# Installs what is missing, builds build/ (Release) and starts the program.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$(nproc)"

if [[ -x build/bin/Tolvane ]]; then
  if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "No display: Tolvane needs a desktop session. build/bin/tolvane-cli works without one." >&2
    exit 1
  fi
  exec build/bin/Tolvane "$@"
fi
cat <<'TEXT'
The window is not built yet. Convert from a terminal:
  build/bin/tolvane-cli convert FILE...
  build/bin/tolvane-cli raster FILE OUT.png
  build/bin/tolvane-cli preview FILE OUT.png [--dpi N]
TEXT
