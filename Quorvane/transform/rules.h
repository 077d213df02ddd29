// The text commands as pure operations on bytes. Platform-free: the clipboard
// frames (frames.cpp) and the kestrin-text filter both run these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrin {

// How a command changes the text, and so which frame runs it.
enum class RuleKind {
  SameLength,  // every byte mapped in place
  Shrinking,   // bytes removed or runs collapsed, written over the input
  Growing,     // some bytes become CR LF; nothing written when there is none
  Add,         // CR, LF or CR LF doubled; nothing written when there is none
  Stamp,       // the text becomes a date and time stamp
  Prepend,     // a date stamp goes in front of the text
  Recipe,      // a sequence of the above
};

// What the clipboard text must hold for a command's menu item to be enabled.
enum class Needs : unsigned char {
  Nothing,  // no rule: the item keeps the state of the menu resource
  Text, Cr, Lf, Ff,
  CrOrLf, CrAndLf,
  Spaces, SpacesOrTabs, NonAscii,
  Parentheses, Brackets, AngleBrackets, Braces,  // both of the pair
  Slash, Backslash, AnySlash,
};

// One row per text command: the one place that says what the command is
// called, which frame runs it (its kind) and when its menu item is enabled.
// Adding a text command is a row here, its rule, and its menu line.
struct TextCommand {
  unsigned id;
  RuleKind kind;
  const char* name;       // short kebab-case name, for kestrin-text
  const char* menu_text;  // as the menu shows it
  Needs needs;
};

// Every text command, in menu order.
const TextCommand* text_commands(std::size_t& count);
const TextCommand* find_text_command(unsigned id);
const TextCommand* find_text_command(std::string_view name);
// As a command line names it: its identifier in digits, or its name.
const TextCommand* find_text_command_by_word(std::string_view word);

// Maps every byte of data[0, n) in place by a same-length command's rule.
// Returns false for an identifier that is not such a command.
bool same_length_replace(unsigned id, char* data, std::size_t n);

// The same-length frame's new block for a source block: a copy of the whole
// block (slack after the NUL included) with the rule applied to the text and the
// last byte set to NUL. A block without any NUL gets one byte more, so that the
// terminator does not take the text's last character.
std::size_t same_length_block_size(const char* block, std::size_t size);
void same_length_fill(unsigned id, const char* source, std::size_t source_size, char* target,
                      std::size_t target_size);

// Runs a removal or joining rule over data[0, n) in place (output never ahead of
// input); returns the new length. Returns n unchanged for an unknown identifier.
std::size_t remove_text(unsigned id, char* data, std::size_t n);

// Number of bytes an expansion (40004, 40035) or an Add command (40057 to 40059)
// adds to the text; 0 means the clipboard is not written at all.
std::size_t growth_of(unsigned id, std::string_view text);
// The text with the expansion or addition applied (text.size() + growth bytes).
std::string grow_text(unsigned id, std::string_view text);
// The same, written to `out` (room for text.size() + growth_of bytes); returns
// the bytes written. A text may go through in pieces not cut after a CR.
std::size_t grow_into(unsigned id, std::string_view text, char* out);

// Whether a long text may be rewritten in pieces for this command: true when the
// text may be cut after byte `c` and the rule applied to each piece in turn,
// the last piece holding the end of the text, with the same result as on the
// whole text. Always false for commands that need the whole text.
bool splits_after(unsigned id, char c);

// A moment of local time, as the stamps use it.
struct LocalTime {
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  unsigned day_of_week = 0;  // 0 = Sunday
};

// "YYYYMMDDhhmmss".
std::string compact_stamp(const LocalTime& t);
// "YYYY-MM-DD hh:mm:ss", CR LF, the weekday, CR LF, CR LF.
std::string date_stamp(const LocalTime& t);

// The steps of a cleanup recipe (command identifiers), or nullptr.
const unsigned* recipe_steps(unsigned id, std::size_t& count);

// Applies a text command to `text` as the program would (a recipe runs its
// steps in turn; the stamps use `now`). Returns false for an unknown id.
bool apply_text_command(unsigned id, std::string& text, const LocalTime& now);

}  // namespace kestrin
