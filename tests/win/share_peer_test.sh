#!/usr/bin/env bash
# Two machines sharing their history through one folder: two programs, each in
# a Wine prefix of its own (its own user keys) and on a display of its own (so
# no copy travels through a shared X11 clipboard), run at the same time; then a
# third machine that gives a wrong passphrase. With `syncthing`, each machine
# has a folder of its own and two Syncthing instances (Debian's, on 127.0.0.1
# only) keep them the same: the design on a sync engine this program did not
# write.
#   share_peer_test.sh <build-dir> <kestrin_win_blackbox.exe> [syncthing]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
tests=$2
engine=${3:-}
work=$(mktemp -d "$build/share.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  if [ -n "${KESTRIN_SHARE_KEEP:-}" ]; then echo "kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
windows() { echo "Z:${1//\//\\}"; }
mkdir -p "$work/shared" "$work/signals"
folder_a="$work/shared" folder_b="$work/shared"
export KESTRIN_SHARE_SIGNALS=$(windows "$work/signals")
unset DISPLAY  # each machine starts a display of its own
if [ "$engine" = syncthing ]; then
  folder_b="$work/shared2"
  mkdir -p "$folder_b"
  python3 "$here/syncthing_pair.py" "$work" "$folder_a" "$folder_b" || exit 1
  for home in home1 home2; do
    syncthing serve --home="$work/$home" --no-browser --no-restart --no-upgrade > "$work/$home.log" 2>&1 &
    pids+=($!)
  done
  # B joins the share A made once the engine has brought it over, and the
  # engine takes its time: each step waits longer.
  export KESTRIN_SHARE_AWAIT=1 KESTRIN_SHARE_PATIENCE_MS=120000
fi

KESTRIN_SHARE_FOLDER=$(windows "$folder_a") \
  "$here/../../scripts/wine-test" "$build" "$tests" --gtest_filter='SharePeer.MachineA' > "$work/a.log" 2>&1 &
a=$!
KESTRIN_SHARE_FOLDER=$(windows "$folder_b") \
  "$here/../../scripts/wine-test" "$build" "$tests" --gtest_filter='SharePeer.MachineB' > "$work/b.log" 2>&1 &
b=$!
status=0
wait "$a" || status=1
wait "$b" || status=1
sed 's/^/A: /' "$work/a.log"
sed 's/^/B: /' "$work/b.log"
if [ "$engine" != syncthing ]; then
  KESTRIN_SHARE_FOLDER=$(windows "$folder_a") "$here/../../scripts/wine-test" "$build" "$tests" \
    --gtest_filter='SharePeer.MachineWithAWrongPassphrase' || status=1
fi
# Nothing copied travels in plain bytes, and no file is named after a machine or a user.
if grep -rqa -e 'from A' -e 'private on A' "$folder_a" "$folder_b"; then
  echo "FAILED: a copied text is in the folder's bytes"; status=1
fi
ls "$folder_a" "$folder_b"
exit "$status"
