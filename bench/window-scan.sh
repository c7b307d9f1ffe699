#!/bin/sh
# Window scan against command-line scan on one mailbox.
# Usage: bench/window-scan.sh [BUILD_DIR] [PST_FILE] [RUNS]
# Without PST_FILE a 20 000-message mailbox is written with mkpst into
# bench/work/. Runs the window (`tolvane --benchmark-scan`, under xvfb-run
# when no display is set) and `tolvane-cli scan` RUNS times each (default 3)
# and prints the best times and their ratio.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-"$ROOT/build"}
PST=${2:-}
RUNS=${3:-3}
if [ -z "$PST" ]; then
  mkdir -p "$ROOT/bench/work"
  PST="$ROOT/bench/work/window-scan-20000.pst"
  [ -f "$PST" ] || "$BUILD/bin/mkpst" --messages 20000 --folders 20 --seed 7 "$PST"
fi
# The web engine's sandbox cannot run as root; only this benchmark's process goes without it.
if [ "$(id -u)" = "0" ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
export LANG=C.UTF-8 LC_ALL=C.UTF-8 TZ=UTC

best() { sort -n | head -1; }

cli_times=""
for _ in $(seq "$RUNS"); do
  start=$(date +%s.%N)
  "$BUILD/bin/tolvane-cli" scan "$PST" >/dev/null
  end=$(date +%s.%N)
  cli_times="$cli_times $(echo "$end - $start" | bc)"
done

window_run() {
  if [ -n "${DISPLAY:-}" ]; then
    "$BUILD/bin/tolvane" --benchmark-scan "$PST"
  else
    xvfb-run -a -s "-screen 0 1600x1000x24 -noreset" "$BUILD/bin/tolvane" --benchmark-scan "$PST"
  fi
}
window_times=""
for _ in $(seq "$RUNS"); do
  t=$(window_run 2>/dev/null | awk '/^window-scan-seconds/ {print $2}')
  window_times="$window_times $t"
done

cli_best=$(printf '%s\n' $cli_times | best)
window_best=$(printf '%s\n' $window_times | best)
echo "mailbox        $PST"
echo "cli-scan       $cli_best s (runs:$cli_times)"
echo "window-scan    $window_best s (runs:$window_times)"
echo "ratio          $(echo "scale=3; $window_best / $cli_best" | bc)"
