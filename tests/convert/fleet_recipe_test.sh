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

status=0
PATH="$BIN:$PATH" "$SOURCE/scripts/convert-fleet.sh" : "$WORK/out" \
  "$WORK/mailbox1.pst" "$WORK/mailbox2.pst" "$WORK/broken.pst" "$WORK/mailbox3.pst" > "$WORK/fleet.txt" || status=$?
cat "$WORK/fleet.txt"
[ "$status" -eq 1 ] || { echo "expected status 1, got $status"; exit 1; }
[ "$(awk -F '\t' 'NR > 1' "$WORK/out/fleet-joblog.tsv" | wc -l)" -eq 4 ] || { echo "expected four jobs"; exit 1; }
for seed in 1 2 3; do
  grep -q "^Mails saved: 12$" "$WORK/out/mailbox$seed.log" || { cat "$WORK/out/mailbox$seed.log"; exit 1; }
  "$BIN/tolvane-cli" verify "$WORK/out/mailbox$seed"/* > "$WORK/verify.txt" || { cat "$WORK/verify.txt"; exit 1; }
done
[ -s "$WORK/out/broken.log" ] || { echo "the broken file's log says nothing"; exit 1; }
echo "fleet recipe: ok"
