#!/bin/sh
# Sets up the machine, builds Tolvane and runs the main job on the bundled demo
# mailbox: scan it and convert every mail into .eml files under demo-output/.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/install-deps.sh"
"$ROOT/scripts/build.sh" "$ROOT/build"
DEMO="$ROOT/build/demo/demo.pst"
"$ROOT/build/bin/tolvane-cli" scan "$DEMO"
if "$ROOT/build/bin/tolvane-cli" --help 2>&1 | grep -q convert; then
  mkdir -p "$ROOT/demo-output"
  "$ROOT/build/bin/tolvane-cli" convert "$DEMO" "$ROOT/demo-output"
fi
