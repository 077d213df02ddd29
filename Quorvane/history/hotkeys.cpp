#include "history/hotkeys.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace kestrin {

namespace {

struct KeyName {
  const char* name;
  unsigned key;
};

constexpr KeyName kKeys[] = {
    {"Space", 0x20},  {"Tab", 0x09},      {"Enter", 0x0D},   {"Insert", 0x2D}, {"Delete", 0x2E},
    {"Home", 0x24},   {"End", 0x23},      {"PageUp", 0x21},  {"PageDown", 0x22},
    {"Left", 0x25},   {"Up", 0x26},       {"Right", 0x27},   {"Down", 0x28},   {"Pause", 0x13},
};

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool same(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::optional<unsigned> number(std::string_view s) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (error != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
  return value;
}

std::optional<unsigned> key_code(std::string_view name) {
  if (name.size() == 1) {
    const auto c = static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(name[0])));
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return c;
    return std::nullopt;
  }
  if ((name[0] == 'F' || name[0] == 'f')) {
    if (const auto n = number(name.substr(1)); n && *n >= 1 && *n <= 24) return 0x6F + *n;
  }
  for (const KeyName& k : kKeys) {
    if (same(name, k.name)) return k.key;
  }
  return std::nullopt;
}

}  // namespace

std::optional<Hotkey> parse_hotkey(std::string_view line, std::string* error) {
  auto fail = [&](const char* why) -> std::optional<Hotkey> {
    if (error) *error = why;
    return std::nullopt;
  };
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return fail("no '=' between the chord and its action");
  Hotkey hotkey;
  hotkey.line = std::string(trim(line));
  const std::string_view chord = trim(line.substr(0, equals));
  const std::string_view action = trim(line.substr(equals + 1));
  hotkey.chord = std::string(chord);
  std::string_view rest = chord;
  bool have_key = false;
  while (!rest.empty()) {
    const std::size_t plus = rest.find('+', 1);  // "Ctrl++" is not a key here
    const std::string_view part = trim(rest.substr(0, plus));
    rest = plus == std::string_view::npos ? std::string_view{} : rest.substr(plus + 1);
    if (have_key) return fail("the key must come last in the chord");
    if (same(part, "Ctrl") || same(part, "Control")) {
      hotkey.modifiers |= kModControl;
    } else if (same(part, "Alt")) {
      hotkey.modifiers |= kModAlt;
    } else if (same(part, "Shift")) {
      hotkey.modifiers |= kModShift;
    } else if (same(part, "Win")) {
      hotkey.modifiers |= kModWin;
    } else if (const auto key = key_code(part)) {
      hotkey.key = *key;
      have_key = true;
    } else {
      return fail("unknown key in the chord");
    }
  }
  if (!have_key) return fail("the chord has no key");
  if (hotkey.key == 0x7B) return fail("F12 is kept by the system for debuggers");
  if (hotkey.modifiers == 0) return fail("a chord needs Ctrl, Alt, Shift or Win");
  if (same(action, "History")) {
    hotkey.action = HotkeyAction::History;
  } else if (same(action, "PastePlainText")) {
    hotkey.action = HotkeyAction::PastePlainText;
  } else if (action.size() > 12 && same(action.substr(0, 12), "PasteHistory")) {
    const auto n = number(action.substr(12));
    if (!n || *n == 0) return fail("PasteHistory takes the entry's place, from 1");
    hotkey.action = HotkeyAction::PasteHistory;
    hotkey.value = *n;
  } else if (const auto id = number(action); id && *id > 0 && *id <= 0xFFFF) {
    hotkey.action = HotkeyAction::Command;
    hotkey.value = *id;
  } else {
    return fail("the action is not a command number, History, PasteHistoryn or PastePlainText");
  }
  return hotkey;
}

std::vector<Hotkey> parse_hotkeys(const std::vector<std::string>& lines, bool section_present,
                                  std::vector<std::string>* errors,
                                  const std::function<bool(unsigned)>& known_command) {
  std::vector<Hotkey> hotkeys;
  if (!section_present) {
    hotkeys.push_back(*parse_hotkey("Ctrl+Shift+V=History"));
    return hotkeys;
  }
  for (const std::string& line : lines) {
    if (trim(line).empty() || trim(line).front() == ';') continue;
    std::string why;
    auto hotkey = parse_hotkey(line, &why);
    if (hotkey && hotkey->action == HotkeyAction::Command && known_command && !known_command(hotkey->value)) {
      why = "no menu has the command " + std::to_string(hotkey->value);
      hotkey.reset();
    }
    if (hotkey) {
      for (const Hotkey& earlier : hotkeys) {
        if (earlier.modifiers == hotkey->modifiers && earlier.key == hotkey->key) {
          why = "the line \"" + earlier.line + "\" holds that chord already";
          hotkey.reset();
          break;
        }
      }
    }
    if (hotkey) {
      hotkeys.push_back(std::move(*hotkey));
    } else if (errors) {
      errors->push_back(line + ": " + why);
    }
  }
  return hotkeys;
}

std::string refused_lines_text(const std::vector<std::string>& errors, std::size_t named) {
  std::string text;
  for (std::size_t i = 0; i < errors.size() && i < named; ++i) {
    // A line of any length would make the box wider than the screen.
    constexpr std::size_t kShownLine = 120;
    text += "\n" + (errors[i].size() > kShownLine ? errors[i].substr(0, kShownLine) + "..." : errors[i]);
  }
  if (errors.size() > named) {
    const std::size_t more = errors.size() - named;
    text += "\n... and " + std::to_string(more) + (more == 1 ? " more line." : " more lines.");
  }
  return text;
}

std::string chord_text(unsigned modifiers, unsigned key) {
  std::string text;
  if (modifiers & kModControl) text += "Ctrl+";
  if (modifiers & kModAlt) text += "Alt+";
  if (modifiers & kModShift) text += "Shift+";
  if (modifiers & kModWin) text += "Win+";
  if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) return text + static_cast<char>(key);
  if (key >= 0x70 && key <= 0x87) return text + "F" + std::to_string(key - 0x6F);
  for (const KeyName& k : kKeys) {
    if (k.key == key) return text + k.name;
  }
  return text + "?";
}

}  // namespace kestrin
