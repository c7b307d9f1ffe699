#!/bin/sh
# Sets up the machine, builds Tolvane and runs the main job on the bundled demo
# mailbox (written at build time by the project's PST writer): scan it, then
# convert every mail into .eml files (and contacts into .vcf) under demo-output/.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/install-deps.sh"
"$ROOT/scripts/build.sh" "$ROOT/build"
DEMO="$ROOT/build/demo/demo.pst"
"$ROOT/build/bin/tolvane-cli" scan "$DEMO"
mkdir -p "$ROOT/demo-output"
"$ROOT/build/bin/tolvane-cli" convert "$DEMO" "$ROOT/demo-output"
echo "The converted mailbox is in $ROOT/demo-output/"
