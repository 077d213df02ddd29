#!/usr/bin/env bash
# Two machines sharing their history through one folder: two programs, each in
# a Wine prefix of its own (its own user keys) and on a display of its own (so
# no copy travels through a shared X11 clipboard), run at the same time; then a
# third machine that gives a wrong passphrase.
#   share_peer_test.sh <build-dir> <kestrin_win_blackbox.exe>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
tests=$2
work=$(mktemp -d "$build/share.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  if [ -n "${KESTRIN_SHARE_KEEP:-}" ]; then echo "kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
mkdir -p "$work/shared" "$work/signals"
export KESTRIN_SHARE_FOLDER="Z:${work//\//\\}\\shared"
export KESTRIN_SHARE_SIGNALS="Z:${work//\//\\}\\signals"
unset DISPLAY  # each machine starts a display of its own

"$here/../../scripts/wine-test" "$build" "$tests" --gtest_filter='SharePeer.MachineA' > "$work/a.log" 2>&1 &
pids+=($!)
"$here/../../scripts/wine-test" "$build" "$tests" --gtest_filter='SharePeer.MachineB' > "$work/b.log" 2>&1 &
pids+=($!)
status=0
wait "${pids[0]}" || status=1
wait "${pids[1]}" || status=1
pids=()
sed 's/^/A: /' "$work/a.log"
sed 's/^/B: /' "$work/b.log"
"$here/../../scripts/wine-test" "$build" "$tests" --gtest_filter='SharePeer.MachineWithAWrongPassphrase' || status=1
# Nothing copied travels in plain bytes, and no file is named after a machine or a user.
if grep -rqa -e 'from A' -e 'private on A' "$work/shared"; then
  echo "FAILED: a copied text is in the folder's bytes"; status=1
fi
ls "$work/shared"
exit "$status"
