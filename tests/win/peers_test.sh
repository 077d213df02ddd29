#!/usr/bin/env bash
# The extras against real peers: runs the black-box tests named Peers.* with a
# serial line on COM5 (a pseudo-terminal that answers as a modem) and a stock
# history server on 127.0.0.1, both from peers.py.
#   peers_test.sh <build-dir> <kestrin_win_blackbox.exe>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
tests=$2
work=$(mktemp -d "$build/peers.XXXXXX")
helper=""
cleanup() {
  [ -n "$helper" ] && kill "$helper" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

python3 "$here/peers.py" "$work/ready" "$work/serial.log" "$work/requests.log" &
helper=$!
for _ in $(seq 1 100); do [ -f "$work/ready" ] && break; sleep 0.1; done
read -r pty port < "$work/ready" || { echo "peers.py did not start" >&2; exit 1; }

# The prefix maps COM5 to the pseudo-terminal before the test starts.
export KESTRIN_PREFIX_SETUP="ln -sf '$pty' \"\$WINEPREFIX/dosdevices/com5\""
export KESTRIN_PEER_PORT=$port
export KESTRIN_PEER_SERIAL_LOG="Z:${work//\//\\}\\serial.log"
export KESTRIN_PEER_REQUEST_LOG="Z:${work//\//\\}\\requests.log"
"$here/../../scripts/wine-test" "$build" "$tests" --gtest_filter='Peers.*'
