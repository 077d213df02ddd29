// The one command-line form the program understands: "copyto=" and a file name,
// optionally in double quotes. Examined before anything else at start-up.
#pragma once

#include <string>
#include <string_view>

namespace kestrin {

struct CommandLine {
  enum class Kind {
    None,    // empty: a normal start
    CopyTo,  // copy file_name's contents to the clipboard and end
    Refused  // anything else: "Command line not understood"
  };
  Kind kind = Kind::None;
  std::string file_name;
};

// `raw` is everything after the program name, as the launcher passed it.
CommandLine parse_command_line(std::string_view raw);

}  // namespace kestrin
