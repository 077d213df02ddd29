// The verbs of kestrin.com: one table says each verb's name, what it takes,
// whether it needs the running program, and its help; the parser turns the
// words of a command line into an invocation or a message for exit code 2.
// Platform-free.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin::remote {

enum class Verb {
  List, Read, Search, Select, Paste, Remove, Pin, Unpin, Clear,
  Add, Copy, Clipboard, Formats, Run, Show, History, Exit, Help,
};

// Exit codes of kestrin.com.
inline constexpr int kExitDone = 0, kExitFailed = 1, kExitBadArguments = 2, kExitNotRunning = 3;

struct VerbInfo {
  Verb verb;
  const char* name;
  const char* usage;    // "read N [--format NAME]"
  const char* summary;  // one line
  bool local;           // works without the running program
  bool json;            // takes --json
};

const std::vector<VerbInfo>& verb_table();
const VerbInfo& verb_info(Verb verb);

struct Invocation {
  Verb verb = Verb::Help;
  bool help = false;                 // VERB --help: the verb's help, nothing else
  bool json = false;
  std::optional<std::size_t> position;  // an entry, counted from 1 in the window's order
  std::optional<std::size_t> count;     // list N
  std::optional<std::string> format;    // read N --format NAME
  std::optional<std::string> text;      // search, add, copy, run's command; help's verb
  bool from_input = false;           // add -, copy -: the text is standard input
};

struct Parsed {
  std::optional<Invocation> invocation;
  std::string error;  // when there is none: what was wrong, for standard error
};

// The words after the program's name. Options may come anywhere after the
// verb; "--" ends them.
Parsed parse_invocation(const std::vector<std::string>& words);

// The words an invocation is sent as: what the program parses again.
std::vector<std::string> invocation_words(const Invocation& invocation);

// Whether the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool is_utf8(std::string_view bytes);

// "help" alone, and VERB --help.
std::string general_help();
std::string verb_help(Verb verb);

}  // namespace kestrin::remote
