// kestrin-text: applies one of Kestrin's text commands to standard input and
// writes the result to standard output, with the same rules as the program.
//
//   kestrin-text <command>     the command by identifier (40011) or name (upper-case)
//   kestrin-text --list        one command a line: identifier, name, menu text
//
// The input is taken as bytes; no byte is special (the program's clipboard text
// ends at its first NUL, which a file need not).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "transform/rules.h"
#include "utf.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace {

using kestrin::TextCommand;

constexpr int kExitUsage = 2;

void usage(FILE* out) {
  std::fputs(
      "usage: kestrin-text <command>   rewrite standard input to standard output\n"
      "       kestrin-text --list      list the commands (identifier, name, menu text)\n"
      "A command is its identifier (40011) or its name (upper-case).\n"
      "Non-ASCII characters are never letters or white space to the rules: UTF-8\n"
      "input keeps them as they are. A UTF-8 byte order mark is set aside and put\n"
      "back; UTF-16 input with a byte order mark is written back as UTF-16 with it.\n",
      out);
}

struct Input {
  std::unique_ptr<char[]> bytes;
  std::size_t size = 0;
  bool ok = true;
};

// The rest of standard input, in one buffer; a seekable file is read from
// where it stands (a shell may have read a line of it already) at the size left.
Input read_all(FILE* in, std::string_view head) {
  Input input;
  std::size_t capacity = (1 << 16) + head.size();
  const long here = std::ftell(in);
  if (here >= 0 && std::fseek(in, 0, SEEK_END) == 0) {
    const long end = std::ftell(in);
    if (end > here) capacity = static_cast<std::size_t>(end - here) + head.size() + 1;
    std::fseek(in, here, SEEK_SET);
  }
  input.bytes.reset(new (std::nothrow) char[capacity]);
  if (!input.bytes) {
    input.ok = false;
    return input;
  }
  if (!head.empty()) std::memcpy(input.bytes.get(), head.data(), head.size());  // read before the rest
  input.size = head.size();
  for (;;) {
    if (input.size == capacity) {
      std::unique_ptr<char[]> larger(new (std::nothrow) char[capacity * 2]);
      if (!larger) {
        input.ok = false;
        return input;
      }
      std::memcpy(larger.get(), input.bytes.get(), input.size);
      input.bytes = std::move(larger);
      capacity *= 2;
    }
    const std::size_t got = std::fread(input.bytes.get() + input.size, 1, capacity - input.size, in);
    input.size += got;
    if (got == 0) break;
  }
  input.ok = !std::ferror(in);
  return input;
}

kestrin::LocalTime now() {
  const std::time_t t = std::time(nullptr);
  const std::tm* local = std::localtime(&t);
  if (!local) return {};
  return {static_cast<unsigned>(local->tm_year + 1900), static_cast<unsigned>(local->tm_mon + 1),
          static_cast<unsigned>(local->tm_mday),        static_cast<unsigned>(local->tm_hour),
          static_cast<unsigned>(local->tm_min),         static_cast<unsigned>(local->tm_sec),
          static_cast<unsigned>(local->tm_wday)};
}

bool write_all(const char* data, std::size_t size) {
  return std::fwrite(data, 1, size, stdout) == size && std::fflush(stdout) == 0;
}

// Commands that may rewrite the text in pieces go through one buffer of a
// megabyte or so, cut where the rule allows, instead of holding all the input.
// Returns 0, or the exit code of a failure.
int stream(const TextCommand& command, std::string_view head) {
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[1 << 20]);
  std::size_t capacity = 1 << 20, filled = 0;
  if (buffer) {
    if (!head.empty()) std::memcpy(buffer.get(), head.data(), head.size());  // read before the stream began
    filled = head.size();
  }
  bool at_end = false;
  while (buffer) {
    while (filled < capacity && !at_end) {
      const std::size_t got = std::fread(buffer.get() + filled, 1, capacity - filled, stdin);
      if (got == 0) at_end = true;
      filled += got;
    }
    if (std::ferror(stdin)) {
      std::fputs("kestrin-text: could not read standard input\n", stderr);
      return 1;
    }
    std::size_t cut = filled;
    if (!at_end) {
      while (cut > 0 && !kestrin::splits_after(command.id, buffer[cut - 1])) --cut;
      if (cut == 0) {  // no place to cut yet: take more at once
        std::unique_ptr<char[]> larger(new (std::nothrow) char[capacity * 2]);
        if (!larger) break;
        std::memcpy(larger.get(), buffer.get(), filled);
        buffer = std::move(larger);
        capacity *= 2;
        continue;
      }
    }
    std::size_t length = cut;
    if (command.kind == kestrin::RuleKind::SameLength) {
      kestrin::same_length_replace(command.id, buffer.get(), cut);
    } else {
      length = kestrin::remove_text(command.id, buffer.get(), cut);
    }
    if (std::fwrite(buffer.get(), 1, length, stdout) != length) {
      std::fputs("kestrin-text: could not write standard output\n", stderr);
      return 1;
    }
    std::memmove(buffer.get(), buffer.get() + cut, filled - cut);
    filled -= cut;
    if (at_end && filled == 0) return std::fflush(stdout) == 0 ? 0 : 1;
  }
  std::fputs("kestrin-text: out of memory\n", stderr);
  return 1;
}

// UTF-16 input (its mark already read, `head` the bytes after it): the text
// through the command as UTF-8, written back in the same byte order with its mark.
int rewrite_utf16(const TextCommand& command, std::string_view head, bool big_endian) {
  Input input = read_all(stdin, head);
  if (!input.ok) {
    std::fputs("kestrin-text: could not read standard input\n", stderr);
    return 1;
  }
  std::string text = kestrin::utf16_to_utf8(
      kestrin::bytes_to_utf16({input.bytes.get(), input.size}, big_endian));
  input.bytes.reset();
  kestrin::apply_text_command(command.id, text, now());
  const std::string out = std::string(big_endian ? "\xFE\xFF" : "\xFF\xFE") +
                          kestrin::utf16_to_bytes(kestrin::utf8_to_utf16(text), big_endian);
  if (!write_all(out.data(), out.size())) {
    std::fputs("kestrin-text: could not write standard output\n", stderr);
    return 1;
  }
  return 0;
}

// Whether any cut is possible at all for this command.
bool streams(const TextCommand& command) {
  for (int c = 0; c < 256; ++c) {
    if (kestrin::splits_after(command.id, static_cast<char>(c))) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  if (argc != 2) {
    usage(stderr);
    return kExitUsage;
  }
  const std::string_view argument = argv[1];
  if (argument == "--help" || argument == "-h") {
    usage(stdout);
    return 0;
  }
  if (argument == "--list") {
    std::size_t count = 0;
    const TextCommand* commands = kestrin::text_commands(count);
    for (std::size_t i = 0; i < count; ++i) {
      std::printf("%u\t%s\t%s\n", commands[i].id, commands[i].name, commands[i].menu_text);
    }
    return 0;
  }
  const TextCommand* command = kestrin::find_text_command_by_word(argument);
  if (!command) {
    std::fprintf(stderr, "kestrin-text: unknown command '%s' (kestrin-text --list shows them)\n",
                 argv[1]);
    return kExitUsage;
  }

  // The first bytes tell the encoding: a UTF-8 mark is written back at once and
  // the text after it rewritten; UTF-16 is rewritten as UTF-8 and turned back.
  char first[3] = {};
  const std::size_t peeked = std::fread(first, 1, sizeof first, stdin);
  std::string_view head(first, peeked);
  const kestrin::Bom bom = kestrin::detect_bom(head);
  if (bom == kestrin::Bom::Utf8) {
    if (!write_all(head.data(), 3)) {
      std::fputs("kestrin-text: could not write standard output\n", stderr);
      return 1;
    }
    head = {};
  }
  if (bom == kestrin::Bom::Utf16Le || bom == kestrin::Bom::Utf16Be) {
    return rewrite_utf16(*command, head.substr(2), bom == kestrin::Bom::Utf16Be);
  }

  if (streams(*command)) return stream(*command, head);

  Input input = read_all(stdin, head);
  if (!input.ok) {
    std::fputs("kestrin-text: could not read standard input\n", stderr);
    return 1;
  }
  char* data = input.bytes.get();
  bool written = false;
  switch (command->kind) {
    case kestrin::RuleKind::SameLength:
      kestrin::same_length_replace(command->id, data, input.size);
      written = write_all(data, input.size);
      break;
    case kestrin::RuleKind::Shrinking:
      written = write_all(data, kestrin::remove_text(command->id, data, input.size));
      break;
    default: {
      std::string text(data, input.size);
      input.bytes.reset();
      kestrin::apply_text_command(command->id, text, now());
      written = write_all(text.data(), text.size());
    }
  }
  if (!written) {
    std::fputs("kestrin-text: could not write standard output\n", stderr);
    return 1;
  }
  return 0;
}
