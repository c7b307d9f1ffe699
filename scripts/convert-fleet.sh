#!/bin/sh
# Converts many PST files at once with GNU parallel, one job per file, on this
# machine or spread over several: each file goes into DEST/NAME (NAME: the
# file's name without .pst; NAME-2, NAME-3, ... when files in different
# directories share a name), its summary into DEST/NAME.log; the job log
# (DEST/fleet-joblog.tsv) keeps every job's exit status, and this script ends
# with the highest of them. Any path and any file name work, relative or not,
# with spaces or a leading "-".
#
# Usage: scripts/convert-fleet.sh HOSTS DEST FILE.pst...
#   HOSTS   parallel's --sshlogin list: ":" is this machine alone,
#           "8/:,4/alice@host1,host2" this machine with 8 jobs, host1 with 4,
#           host2 with one per core. Remote hosts need tolvane-cli on their
#           PATH; the files are copied there and the results copied back.
# Any further options for tolvane-cli convert go in TOLVANE_CONVERT_OPTIONS
# (for example "--format maildir").
set -eu
if [ $# -lt 3 ]; then
  sed -n '2,/^set -eu/p' "$0" | sed '$d' >&2
  exit 2
fi
HOSTS=$1
DEST=$2
shift 2
case "$DEST" in -*) DEST=./$DEST ;; esac
mkdir -p -- "$DEST"

# Every input as an absolute path (the jobs run inside DEST), and a name of
# its own for each: two inputs never share an output folder or a log.
WORK=$(mktemp -d)
trap 'rm -rf -- "$WORK"' EXIT
: > "$WORK/inputs"
: > "$WORK/names"
for input in "$@"; do
  case "$input" in
    /*) absolute=$input ;;
    *) absolute=$PWD/$input ;;
  esac
  base=$(basename -- "$input")
  base=${base%.pst}
  base=${base%.PST}
  [ -n "$base" ] || base=mailbox
  name=$base
  n=1
  while grep -Fxq -e "$name" "$WORK/names" || [ "$name" = fleet-joblog.tsv ]; do
    n=$((n + 1))
    name=$base-$n
  done
  printf '%s\n' "$name" >> "$WORK/names"
  printf '%s\n' "$absolute" >> "$WORK/inputs"
done

cd -- "$DEST"
# Each job runs in its own directory named after the file, so that the one
# directory travels back from a remote host as it is. "./" keeps a name that
# starts with "-" from reading as an option; parallel quotes {1} and {2}.
# shellcheck disable=SC2016
parallel --sshlogin "$HOSTS" --joblog fleet-joblog.tsv --halt never --link \
  --transferfile {1} --return ./{2} --return ./{2}.log --cleanup \
  'mkdir -p ./{2} && tolvane-cli convert '"${TOLVANE_CONVERT_OPTIONS:-}"' -- {1} ./{2} > ./{2}.log 2>&1' \
  :::: "$WORK/inputs" :::: "$WORK/names" || true
# The joblog's seventh column is each job's exit status.
awk -F '\t' 'NR > 1 { print $7 "\t" $NF } NR > 1 && $7 > worst { worst = $7 } END { exit worst + 0 }' fleet-joblog.tsv
