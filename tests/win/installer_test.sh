#!/usr/bin/env bash
# The 64-bit installer in a fresh Wine prefix: a silent install, the installed
# program started and closed, a silent uninstall (settings too) that leaves
# nothing behind.
#   installer_test.sh <build-dir>
set -uo pipefail
here=$(cd "$(dirname "$0")/../../scripts" && pwd)
root=$(cd "$here/.." && pwd)
source "$here/wine-env.sh"
build=$(cd "$1" && pwd)

failures=0
check() {  # check <description> <command...>: polls the command for 30 s
  local what=$1
  shift
  local deadline=$((SECONDS + 30))
  until "$@" >/dev/null 2>&1; do
    if [ "$SECONDS" -ge "$deadline" ]; then
      echo "FAILED: $what"
      failures=$((failures + 1))
      return 1
    fi
    sleep 0.2
  done
  echo "ok: $what"
}

prefix=""
work=$(mktemp -d "$build/installer.XXXXXX")
cleanup() {
  if [ -n "$prefix" ]; then
    WINEPREFIX=$prefix wineserver -k 2>/dev/null
    rm -rf "$prefix"
  fi
  rm -rf "$work"
  kestrin_stop_display
}
trap cleanup EXIT
unset DISPLAY
kestrin_start_display || exit 1
prefix=$(kestrin_new_prefix "$build") || exit 1
export WINEPREFIX=$prefix

mkdir "$work/stage"
cp "$build/Kestrin.exe" "$build/kestrin.com" "$build/kestrin-text.exe" "$build/kestrin-pdb.exe" "$root/README.md" \
  "$work/stage/"
makensis -V1 -DARCH=x64 -DSOURCE="$work/stage" -DOUTFILE="$work/kestrin-setup-x64.exe" \
  "$root/installer/kestrin.nsi" || exit 1

installed="$prefix/drive_c/Program Files/Kestrin"
env_key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
path_value() { wine reg query "$env_key" /v Path 2>/dev/null | tr -d '\r' | grep -i ' Path '; }
path_before=$(path_value)
kestrin_on_path_once() { [ "$(path_value | grep -o -i 'Program Files\\Kestrin' | wc -l)" -eq 1 ]; }
path_as_before() { [ "$(path_value)" = "$path_before" ]; }
# Typed in another folder, kestrin is found on PATH, and as the console
# program: PATHEXT finds kestrin.com before Kestrin.exe.
kestrin_answers_anywhere() { wine cmd /c 'cd /d C:\windows && kestrin help' 2>/dev/null | grep -q 'kestrin VERB'; }
wine "$work/kestrin-setup-x64.exe" /S /ADDTOPATH >/dev/null 2>&1
check "the program is installed" test -f "$installed/Kestrin.exe"
check "with its command line, tools and README" \
  test -f "$installed/kestrin.com" -a -f "$installed/kestrin-pdb.exe" -a -f "$installed/README.md"
check "/ADDTOPATH puts its folder on PATH, once" kestrin_on_path_once
check "kestrin answers from any folder" kestrin_answers_anywhere
check "a Start-menu entry is made" bash -c "find '$prefix/drive_c' -path '*Start Menu*' -name 'Kestrin.lnk' | grep -q ."
check "the uninstaller is registered" \
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrin' /v UninstallString

wine "C:\\Program Files\\Kestrin\\Kestrin.exe" >/dev/null 2>&1 &
check "the installed program starts" \
  bash -c 'xdotool search --name "^(Text: |Clipboard is empty)" | grep -q .'
wine taskkill /im Kestrin.exe >/dev/null 2>&1
check "it writes its settings at the close" test -f "$prefix/drive_c/windows/Quorvane.INI"
running() { xdotool search --name "^(Text: |Clipboard is empty)" | grep -q .; }
# Ended before the next start: a second copy would be refused while it runs.
check "and has ended" bash -c "! xdotool search --name '^(Text: |Clipboard is empty)' | grep -q ."

# Installing again and uninstalling while the program runs, with Confirm Exit
# on: each run closes it (no question asked), replaces or removes its files,
# and the settings it writes at its close are removed with the rest.
printf '[Options]\r\nConfirmQuit=1\r\nHistory=1\r\n' > "$prefix/drive_c/windows/Quorvane.INI"
wine "C:\\Program Files\\Kestrin\\Kestrin.exe" >/dev/null 2>&1 &
check "the program runs before the reinstall" running
# Copies from X11 until one is recorded: a copy made while the program is
# still joining the clipboard's viewers is not seen.
copy_and_look() {
  printf 'a copy for the history %s' "$RANDOM" | xclip -selection clipboard -i
  sleep 0.5
  ls "$prefix"/drive_c/users/*/AppData/Roaming/Kestrin/History.dat >/dev/null 2>&1
}
check "it keeps a history when asked to" copy_and_look
wine "$work/kestrin-setup-x64.exe" /S >/dev/null 2>&1
check "a silent reinstall closes the running program" bash -c "! xdotool search --name '^(Text: |Clipboard is empty)' | grep -q ."
check "and leaves the program installed" test -f "$installed/Kestrin.exe"
wine "C:\\Program Files\\Kestrin\\Kestrin.exe" >/dev/null 2>&1 &
check "the program runs before the uninstall" running
wine "C:\\Program Files\\Kestrin\\uninstall.exe" /S /REMOVESETTINGS >/dev/null 2>&1
check "the program folder is gone" bash -c "! test -e '$installed'"
check "the Start-menu entry is gone" \
  bash -c "! find '$prefix/drive_c' -path '*Start Menu*' -name 'Kestrin*' | grep -q ."
check "PATH is as it was before" path_as_before
check "the uninstall key is gone" \
  bash -c "! wine reg query 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrin'"
check "the settings are gone" bash -c "! test -e '$prefix/drive_c/windows/Quorvane.INI'"
check "the history is gone" bash -c "! ls '$prefix'/drive_c/users/*/AppData/Roaming/Kestrin/History.dat"
echo "$failures failed"
[ "$failures" -eq 0 ]
