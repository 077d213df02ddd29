#include "remote/verbs.h"

#include <algorithm>
#include <cstdint>

namespace kestrin::remote {

namespace {

// A position or a count: a whole number from 1, as the window counts.
std::optional<std::size_t> number(const std::string& word) {
  if (word.empty() || word.size() > 9 || word.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  const std::size_t value = std::stoul(word);
  if (value == 0) return std::nullopt;
  return value;
}

std::string joined(const std::vector<std::string>& words, std::size_t from, std::size_t to) {
  std::string text;
  for (std::size_t i = from; i < to; ++i) {
    if (i > from) text += ' ';
    text += words[i];
  }
  return text;
}

Parsed failure(std::string message) { return {std::nullopt, std::move(message)}; }

}  // namespace

const std::vector<VerbInfo>& verb_table() {
  static const std::vector<VerbInfo> table = {
      {Verb::List, "list", "list [N] [--json]",
       "the first N entries (all without N), in the history window's order", false, true},
      {Verb::Read, "read", "read N [--format NAME] [--json]",
       "entry N's text; with --format, that format's bytes", false, true},
      {Verb::Search, "search", "search TEXT [--json]", "the entries the history window shows for TEXT", false,
       true},
      {Verb::Select, "select", "select N", "puts entry N back on the clipboard", false, false},
      {Verb::Paste, "paste", "paste N", "puts entry N back and pastes it into the window in front", false, false},
      {Verb::Remove, "remove", "remove N", "removes entry N from the history", false, false},
      {Verb::Pin, "pin", "pin N", "pins entry N", false, false},
      {Verb::Unpin, "unpin", "unpin N", "unpins entry N", false, false},
      {Verb::Clear, "clear", "clear", "removes every entry that is not pinned", false, false},
      {Verb::Add, "add", "add [TEXT...|-]", "adds TEXT (or standard input) to the history", false, false},
      {Verb::Copy, "copy", "copy [TEXT...|-]", "puts TEXT (or standard input) on the clipboard", true, false},
      {Verb::Clipboard, "clipboard", "clipboard", "prints the clipboard's text", true, false},
      {Verb::Formats, "formats", "formats [--json]", "lists the clipboard's formats with their sizes", true,
       true},
      {Verb::Run, "run", "run COMMAND [N]",
       "runs a text command (identifier, name or menu text) on the clipboard, or on entry N", false, false},
      {Verb::Show, "show", "show", "shows the main window", false, false},
      {Verb::History, "history", "history", "opens the history window", false, false},
      {Verb::Exit, "exit", "exit", "ends the program, as the menu's Exit does", false, false},
      {Verb::Help, "help", "help [VERB]", "this list, or a verb's help", true, false},
  };
  return table;
}

const VerbInfo& verb_info(Verb verb) {
  const auto& table = verb_table();
  return *std::find_if(table.begin(), table.end(), [&](const VerbInfo& v) { return v.verb == verb; });
}

Parsed parse_invocation(const std::vector<std::string>& words) {
  if (words.empty()) return failure("no verb given (kestrin help lists them)");
  const auto& table = verb_table();
  const auto info = std::find_if(table.begin(), table.end(), [&](const VerbInfo& v) { return words[0] == v.name; });
  if (info == table.end()) return failure("unknown verb '" + words[0] + "' (kestrin help lists them)");
  Invocation inv;
  inv.verb = info->verb;
  const std::string name = info->name;
  std::vector<std::string> args;
  bool options = true;
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (!options || w == "-" || !w.starts_with("--")) {
      args.push_back(w);
    } else if (w == "--") {
      options = false;
    } else if (w == "--help") {
      inv.help = true;
    } else if (w == "--json" && info->json) {
      inv.json = true;
    } else if (w == "--format" && inv.verb == Verb::Read) {
      if (i + 1 >= words.size() || words[i + 1].empty()) return failure("read: --format needs a format's name");
      inv.format = words[++i];
    } else {
      return failure(name + ": unknown option '" + w + "' (kestrin " + name + " --help)");
    }
  }
  if (inv.help) return {inv, {}};
  const auto position = [&](std::size_t at) -> bool {
    if (at >= args.size()) return false;
    inv.position = number(args[at]);
    return inv.position.has_value();
  };
  const std::string usage = std::string("usage: kestrin ") + info->usage;
  switch (inv.verb) {
    case Verb::List:
      if (args.size() > 1) return failure(usage);
      if (args.size() == 1 && !(inv.count = number(args[0]))) return failure("list: N is a number from 1");
      break;
    case Verb::Read:
    case Verb::Select:
    case Verb::Paste:
    case Verb::Remove:
    case Verb::Pin:
    case Verb::Unpin:
      if (args.size() != 1) return failure(usage);
      if (!position(0)) return failure(name + ": N is a position from 1, as the history window counts");
      break;
    case Verb::Search:
      if (args.empty()) return failure(usage);
      inv.text = joined(args, 0, args.size());
      break;
    case Verb::Add:
    case Verb::Copy:
      // "-" after "--" is the text itself.
      if (args.empty() || (args.size() == 1 && args[0] == "-" && options)) {
        inv.from_input = true;
      } else {
        inv.text = joined(args, 0, args.size());
      }
      break;
    case Verb::Run: {
      if (args.empty()) return failure(usage);
      std::size_t end = args.size();
      // A last word that is a number is the entry, when a command comes before it.
      if (args.size() >= 2 && number(args.back())) {
        inv.position = number(args.back());
        --end;
      }
      inv.text = joined(args, 0, end);
      break;
    }
    case Verb::Help:
      if (args.size() > 1) return failure(usage);
      if (args.size() == 1) inv.text = args[0];
      break;
    case Verb::Clear:
    case Verb::Clipboard:
    case Verb::Formats:
    case Verb::Show:
    case Verb::History:
    case Verb::Exit:
      if (!args.empty()) return failure(usage);
      break;
  }
  return {inv, {}};
}

std::vector<std::string> invocation_words(const Invocation& inv) {
  std::vector<std::string> words{verb_info(inv.verb).name};
  if (inv.help) words.push_back("--help");
  if (inv.json) words.push_back("--json");
  if (inv.format) {
    words.push_back("--format");
    words.push_back(*inv.format);
  }
  words.push_back("--");
  if (inv.text) words.push_back(*inv.text);
  if (inv.count) words.push_back(std::to_string(*inv.count));
  if (inv.position) words.push_back(std::to_string(*inv.position));
  return words;
}

bool is_utf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    uint32_t code = 0, least = 0;
    if ((c & 0xE0) == 0xC0) length = 2, code = c & 0x1F, least = 0x80;
    else if ((c & 0xF0) == 0xE0) length = 3, code = c & 0x0F, least = 0x800;
    else if ((c & 0xF8) == 0xF0) length = 4, code = c & 0x07, least = 0x10000;
    else return false;
    if (bytes.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::string general_help() {
  std::string text =
      "kestrin VERB [ARGUMENTS] - talks to the Kestrin running for this user.\n"
      "Positions N count from 1, as the history window shows the entries.\n\n";
  std::size_t width = 0;
  for (const VerbInfo& v : verb_table()) width = std::max(width, std::string(v.usage).size());
  for (const VerbInfo& v : verb_table()) {
    std::string usage = v.usage;
    usage.resize(width + 2, ' ');
    text += "  " + usage + v.summary + "\n";
  }
  text +=
      "\nkestrin VERB --help explains one verb. Exit codes: 0 done, 1 the action failed,\n"
      "2 bad arguments, 3 no Kestrin running for this user.\n"
      "clipboard, copy and formats work without the running program.\n";
  return text;
}

std::string verb_help(Verb verb) {
  const VerbInfo& v = verb_info(verb);
  std::string text = std::string("usage: kestrin ") + v.usage + "\n  " + v.summary + ".\n";
  if (v.json) text += "  --json prints one JSON document.\n";
  if (verb == Verb::Add || verb == Verb::Copy) text += "  With - (or no text) the text is read from standard input, UTF-8.\n";
  if (verb == Verb::Run) text += "  kestrin-text --list prints the commands.\n";
  if (!v.local) text += "  Needs Kestrin running for this user.\n";
  return text;
}

}  // namespace kestrin::remote
