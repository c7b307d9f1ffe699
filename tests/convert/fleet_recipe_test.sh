#!/bin/sh
# The fleet recipe run on this machine alone (--sshlogin :): three small
# mailboxes and one that is no mailbox. Every good one is converted into its
# own folder and verifies; the job log keeps each status and the recipe ends
# with the highest (1: a file that cannot be opened).
# Usage: fleet_recipe_test.sh SOURCE_DIR BIN_DIR
set -eu
SOURCE=$1
BIN=$2
if ! command -v parallel >/dev/null 2>&1; then
  echo "GNU parallel is not installed; skipping"
  exit 77
fi
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
for seed in 1 2 3; do
  "$BIN/mkpst" --messages 12 --folders 2 --contacts 2 --seed $seed "$WORK/mailbox$seed.pst" >/dev/null
done
echo "not a mailbox" > "$WORK/broken.pst"
# Names that once broke the recipe: relative paths, one name in two
# directories, a name that reads as an option.
mkdir "$WORK/a" "$WORK/b"
"$BIN/mkpst" --messages 3 --seed 4 "$WORK/a/x.pst" >/dev/null
"$BIN/mkpst" --messages 5 --seed 5 "$WORK/b/x.pst" >/dev/null
"$BIN/mkpst" --messages 7 --seed 6 "$WORK/-rf.pst" >/dev/null

status=0
(cd "$WORK" && PATH="$BIN:$PATH" "$SOURCE/scripts/convert-fleet.sh" : out \
  "$WORK/mailbox1.pst" mailbox2.pst broken.pst "$WORK/mailbox3.pst" a/x.pst ./b/x.pst -rf.pst) > "$WORK/fleet.txt" || status=$?
cat "$WORK/fleet.txt"
[ "$status" -eq 1 ] || { echo "expected status 1, got $status"; exit 1; }
[ "$(awk -F '\t' 'NR > 1' "$WORK/out/fleet-joblog.tsv" | wc -l)" -eq 7 ] || { echo "expected seven jobs"; exit 1; }
check() { # NAME MAILS
  grep -Eq "^$2 mails? saved$" "$WORK/out/$1.log" || { echo "$1:"; cat "$WORK/out/$1.log"; exit 1; }
  set -- "$WORK/out/$1"/*
  [ $# -eq 1 ] || { echo "expected one output folder in $1"; exit 1; }
  "$BIN/tolvane-cli" verify "$1" > "$WORK/verify.txt" || { cat "$WORK/verify.txt"; exit 1; }
}
for seed in 1 2 3; do
  check "mailbox$seed" 12
done
check x 3
check x-2 5
check -rf 7
[ -s "$WORK/out/broken.log" ] || { echo "the broken file's log says nothing"; exit 1; }
echo "fleet recipe: ok"
