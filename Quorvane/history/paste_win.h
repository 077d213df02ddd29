// Pasting into the window in front: Ctrl+V sent as keys, as the user would type it.
#pragma once

#include <windows.h>

namespace kestrin {

enum class PasteResult {
  Sent,
  KeysHeld,  // Alt or Win still held after the wait: Ctrl+V would become another chord
  Elevated,  // the window runs elevated: the system keeps our keys from it
};

// Waits (a second at most) for the user to let go of the modifiers of the
// chord that asked for the paste, then sends Ctrl+V with scan codes to the
// window in front. Never sends a key-up of Alt or Win: alone, one opens the
// target's menu bar, the other the Start menu.
PasteResult paste_into_foreground(HWND target);

// What the history window says of a paste that did not happen.
const wchar_t* paste_failure_text(PasteResult result);

}  // namespace kestrin
