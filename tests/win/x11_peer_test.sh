#!/usr/bin/env bash
# The program as a clipboard utility of an X11 desktop: texts copied by xclip,
# a real X11 peer, are joined in append mode, and the joined text is what X11
# programs then paste. Also keeps a screenshot of the window for the record.
#   x11_peer_test.sh <build-dir> <Kestrin.exe>
set -uo pipefail
here=$(cd "$(dirname "$0")/../../scripts" && pwd)
source "$here/wine-env.sh"
build=$(cd "$1" && pwd)
kestrin=$2

failures=0
passes=0
check() {  # check <description> <expected> <command...>: polls the command's output
  local what=$1 expected=$2
  shift 2
  local actual=""
  # Polled for 20 s at most; a paste gives up after 5 s (an X11 request to a
  # busy owner can stay unanswered, and xclip would wait for it without end).
  local deadline=$((SECONDS + 20))
  while :; do
    actual=$("$@" 2>/dev/null)
    [ "$actual" = "$expected" ] && { echo "ok: $what"; passes=$((passes + 1)); return 0; }
    [ "$SECONDS" -ge "$deadline" ] && break
    sleep 0.1
  done
  echo "FAILED: $what: expected $(printf %q "$expected"), got $(printf %q "$actual")"
  echo "  windows: $(xdotool search --name . getwindowname %@ 2>/dev/null | grep -a '^Text\|^Clipboard' | head -3 | tr '\n' '|')"
  failures=$((failures + 1))
  return 1
}

prefix=""
kestrin_pid=""
xclip_pids=()
cleanup() {
  for pid in "${xclip_pids[@]}"; do kill "$pid" 2>/dev/null; done
  if [ -n "$prefix" ]; then
    WINEPREFIX=$prefix wineserver -k 2>/dev/null
    WINEPREFIX=$prefix wineserver -w 2>/dev/null
    rm -rf "$prefix"
  fi
  kestrin_stop_display
}
trap cleanup EXIT

unset DISPLAY
kestrin_start_display || exit 1
prefix=$(kestrin_new_prefix "$build") || exit 1
export WINEPREFIX=$prefix

printf '[Options]\r\nAppend=1\r\nAppendWith=40159\r\n' > "$prefix/drive_c/windows/Quorvane.INI"
wine "$kestrin" >/dev/null 2>&1 &
kestrin_pid=$!
check "the main window appears" "1" \
  bash -c 'xdotool search --name "Clipboard is empty or contains unfamiliar format." | wc -l'

copy() {  # an X11 program takes the CLIPBOARD selection
  printf '%s' "$1" | xclip -quiet -selection clipboard >/dev/null 2>&1 &
  xclip_pids+=($!)
}
paste() { timeout 5 xclip -o -selection clipboard; }

# Wine's X11 clipboard manager starts with the first program of a fresh
# prefix; a copy made before it listens never reaches Windows. The first copy
# is made again until the program has seen it (it is the same copy: nothing
# was joined while it went unseen).
for _ in 1 2 3 4 5; do
  copy "first from X11"
  for _ in $(seq 30); do
    xdotool search --name "^Text: 1 lines, .* 14 bytes," >/dev/null 2>&1 && break 2
    sleep 0.1
  done
done
check "the first copy is only remembered" "first from X11" paste
check "the title counts it" "1" bash -c 'xdotool search --name "^Text: 1 lines, .* 14 bytes," | wc -l'
copy "second from X11"
# Wine hands X11 programs the text with LF line ends; inside it is CR LF (31 bytes).
check "the second copy is joined with a new line" $'first from X11\nsecond from X11' paste
check "the title counts the joined text, CR LF included" "1" \
  bash -c 'xdotool search --name "^Text: 2 lines, .* 31 bytes," | wc -l'

shot="$build/kestrin-x11-peer.png"
import -window root "$shot" 2>/dev/null && echo "screenshot: $shot"

if ! kill -0 "$kestrin_pid" 2>/dev/null; then
  echo "FAILED: the program ended"
  failures=$((failures + 1))
else
  passes=$((passes + 1))
fi

# Closed as a user would: taskkill asks the window to close; the settings are kept.
wine taskkill /im Kestrin.exe >/dev/null 2>&1
check "the program ends when asked to close" "gone" \
  bash -c "kill -0 $kestrin_pid 2>/dev/null && echo running || echo gone"
check "the settings were written at the close" "40159" \
  bash -c "tr -d '\r' < '$prefix/drive_c/windows/Quorvane.INI' | sed -n 's/^AppendWith=//p'"

# The automatic cleanup, with "Source code" as the recipe, on a copy from X11.
printf '[Options]\r\nAutoCleanup=1\r\nAutoCleanupCommand=40064\r\n' \
  > "$prefix/drive_c/windows/Quorvane.INI"
wine "$kestrin" >/dev/null 2>&1 &
kestrin_pid=$!
check "the program starts again" "1" bash -c 'xdotool search --name "^Text: " | wc -l'
copy $'code();   \nmore;\t'
check "the copy is cleaned of trailing white space" $'code();\nmore;\t' paste
# A UTF-8 copy goes through the same cleanup with every character kept, and
# X11 reads it back intact (it was once written back as CF_TEXT, with '?').
copy $'grüße 日本語   \nжизнь 😀\t '
check "a UTF-8 copy is cleaned and keeps its characters" $'grüße 日本語\nжизнь 😀\t ' paste
check "the title counts its characters" "1" bash -c 'xdotool search --name "^Text: 2 lines, .* 20 chars," | wc -l'
# Three copies at a person's pace onto a text that was there before: each is
# joined once, in order (they were once joined onto the joined text again).
wine taskkill /im Kestrin.exe >/dev/null 2>&1
check "the program ends again" "gone" \
  bash -c "kill -0 $kestrin_pid 2>/dev/null && echo running || echo gone"
copy "SSSS"
check "X11 holds the first text" "SSSS" paste
printf '[Options]\r\nAppend=1\r\nAppendWith=40159\r\n' > "$prefix/drive_c/windows/Quorvane.INI"
wine "$kestrin" >/dev/null 2>&1 &
kestrin_pid=$!
check "the program starts in append mode" "1" bash -c 'xdotool search --name "^Text: 1 lines, .* 4 bytes," | wc -l'
expected="SSSS"
for i in 1 2 3; do
  copy "x11 copy $i"
  expected+=$'\n'"x11 copy $i"
  check "copy $i is joined once" "$expected" paste
  sleep 1.5  # a late second import of the same copy would show by now
  check "copy $i stays joined once" "$expected" paste
done

# The history of an X11 desktop: copies from X11 recorded in order (read by a
# reader of the file's own), the global hotkey from the X11 keyboard, a search
# typed into the window and Enter putting the entry back for X11 programs.
wine taskkill /im Kestrin.exe >/dev/null 2>&1
check "the program ends before the history run" "gone" \
  bash -c "kill -0 $kestrin_pid 2>/dev/null && echo running || echo gone"
printf '[Options]\r\nHistory=1\r\n' > "$prefix/drive_c/windows/Quorvane.INI"
wine "$kestrin" >/dev/null 2>&1 &
kestrin_pid=$!
check "the program starts with its history on" "1" bash -c 'xdotool search --name "^Text: " | wc -l'
# Under load Wine's X11 clipboard manager can miss a selection change (the
# Windows clipboard's sequence number never moves, so no program sees it): a
# copy the program's title has not followed within 3 s is made again. The
# same text again is the same entry, moved up.
title() { xdotool search --name "^Text: " getwindowname %@ 2>/dev/null | head -1; }
for text in "x11 history one" "x11 история two" $'x11 three\nlines'; do
  before=$(title)
  for _ in 1 2 3; do
    copy "$text"
    for _ in $(seq 30); do
      [ "$(title)" != "$before" ] && break 2
      sleep 0.1
    done
  done
  check "X11 holds: $text" "$text" paste
done
history_file() { ls "$prefix"/drive_c/users/*/AppData/Roaming/Kestrin/History.dat 2>/dev/null | head -1; }
# The file is sealed for this Wine user: its key, unwrapped as that user, lets
# the second reader of the layout read it.
read_history() {
  local file key
  file=$(history_file) && [ -n "$file" ] || return 1
  key=$(wine "$build/tests/win/history_key.exe" "$(winepath -w "$file" 2>/dev/null)" 2>/dev/null | tr -d '\r')
  python3 "$reader" "$file" --key "$key" "$@"
}
reader="$(cd "$(dirname "$0")" && pwd)/history_reader.py"
export -f read_history history_file
export build prefix reader
check "the history holds the X11 copies, newest first" \
  $'x11 three|lines\nx11 история two\nx11 history one' \
  bash -c "read_history | grep '^x11'"
xdotool key --clearmodifiers ctrl+shift+v
check "Ctrl+Shift+V from X11 opens the history" "1" bash -c 'xdotool search --name "^Kestrin History$" | wc -l'
# Typed once the window is the one in front (the keys go to the focus).
check "the history window has the keyboard" "Kestrin History" xdotool getwindowfocus -f getwindowname
xdotool type --delay 80 "ИСТ"
sleep 1
import -window root "$build/kestrin-history.png" 2>/dev/null
xdotool key Return
check "Enter puts the entry found back for X11" "x11 история two" paste
xdotool key Escape

# Formatted text from X11: Wine maps text/html to "HTML Format". The entry
# keeps that form, and put back it is handed to X11 as text/html again.
html='<b>x11 bold</b> and plain'
paste_html() { timeout 5 xclip -o -selection clipboard -t text/html 2>/dev/null; }
for _ in 1 2 3; do
  printf '%s' "$html" | xclip -quiet -selection clipboard -t text/html >/dev/null 2>&1 &
  xclip_pids+=($!)
  for _ in $(seq 30); do
    read_history --formats 2>/dev/null | head -1 | grep -q 'HTML Format' && break 2
    sleep 0.1
  done
done
check "the X11 copy of HTML is kept with its HTML form" "1" \
  bash -c "read_history --formats | head -1 | grep -c 'HTML Format'"
copy "x11 after the html"
check "X11 holds the next copy" "x11 after the html" paste
xdotool key --clearmodifiers ctrl+shift+v
check "the history window is in front again" "Kestrin History" xdotool getwindowfocus -f getwindowname
xdotool key Down Return
check "the HTML entry goes back to X11 as text/html" "$html" paste_html
xdotool key Escape

# The command line from the Linux side, through a pipe: an X11 copy is the
# first entry kestrin list --json shows, and the HTML one is kept with its form.
kestrin_com="$(dirname "$kestrin")/kestrin.com"
first_entry() {
  wine "$kestrin_com" list --json 2>/dev/null | python3 -c '
import json, sys
entries = json.load(sys.stdin)["entries"]
print(entries[0]["preview"], entries[0]["position"], any("HTML Format" in e["formats"] for e in entries))'
}
copy "x11 для kestrin list"
check "kestrin list --json shows the X11 copy first, the HTML entry with its form" \
  "x11 для kestrin list 1 True" first_entry

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
