#!/bin/sh
# Converts many PST files at once with GNU parallel, one job per file, on this
# machine or spread over several: each file goes into DEST/NAME (NAME: the
# file's name without .pst), its summary into DEST/NAME.log; the job log
# (DEST/fleet-joblog.tsv) keeps every job's exit status, and this script ends
# with the highest of them.
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
mkdir -p "$DEST"
cd "$DEST"
# Each job runs in its own directory named after the file, so that the one
# directory travels back from a remote host as it is.
# shellcheck disable=SC2016
parallel --sshlogin "$HOSTS" --joblog fleet-joblog.tsv --halt never \
  --transferfile {} --return {/.} --return {/.}.log --cleanup \
  'mkdir -p {/.} && tolvane-cli convert '"${TOLVANE_CONVERT_OPTIONS:-}"' {} {/.} > {/.}.log 2>&1' ::: "$@" || true
# The joblog's seventh column is each job's exit status.
awk -F '\t' 'NR > 1 { print $7 "\t" $NF } NR > 1 && $7 > worst { worst = $7 } END { exit worst + 0 }' fleet-joblog.tsv
