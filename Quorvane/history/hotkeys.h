// The [Hotkeys] section: "Ctrl+Shift+V=History" lines, each a key chord and
// what it does. Platform-free; modifier bits and key codes are Windows' own.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

inline constexpr unsigned kModAlt = 1, kModControl = 2, kModShift = 4, kModWin = 8;

// PastePlainText: the clipboard's text alone, pasted into the window in front.
enum class HotkeyAction { Command, History, PasteHistory, PastePlainText };

struct Hotkey {
  unsigned modifiers = 0;
  unsigned key = 0;  // virtual-key code
  HotkeyAction action = HotkeyAction::Command;
  unsigned value = 0;  // the command identifier, or n of PasteHistoryn
  std::string chord;   // as written, for messages
  std::string line;    // the whole line
  bool operator==(const Hotkey&) const = default;
};

// One line; nothing (and why, in `error`) when it cannot be used.
std::optional<Hotkey> parse_hotkey(std::string_view line, std::string* error = nullptr);

// Every usable line of the section (lines as the profile functions hand them
// out); what a missing section means: Ctrl+Shift+V opens the history. A
// command number the program does not have (`known_command` says), and a
// chord an earlier line holds already, are refused like any bad line.
std::vector<Hotkey> parse_hotkeys(const std::vector<std::string>& lines, bool section_present,
                                  std::vector<std::string>* errors = nullptr,
                                  const std::function<bool(unsigned)>& known_command = nullptr);

// What a box says of the refused lines: the first few, and how many more.
std::string refused_lines_text(const std::vector<std::string>& errors, std::size_t named = 5);

// "Ctrl+Shift+V" from the bits and the key.
std::string chord_text(unsigned modifiers, unsigned key);

}  // namespace kestrin
