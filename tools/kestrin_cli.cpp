// kestrin.com: the command line of the Kestrin running for this user.
//   kestrin VERB [ARGUMENTS]      (kestrin help lists the verbs)
// clipboard, copy and formats work on the clipboard itself; every other verb
// is a request over the pipe of this user's logon session, answered by the
// running program. Exit codes: 0 done, 1 the action failed, 2 bad arguments,
// 3 no Kestrin running for this user.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "history/formats.h"
#include "raii_win.h"
#include "remote/pipe_win.h"
#include "remote/protocol.h"
#include "remote/verbs.h"
#include "wide_win.h"

namespace {

using namespace kestrin::remote;

// To a console as Unicode; to a pipe or a file as the bytes themselves
// (UTF-8 without a byte order mark, or a format's bytes).
void emit(DWORD which, std::string_view bytes) {
  const HANDLE out = GetStdHandle(which);
  if (bytes.empty() || !out || out == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  if (GetConsoleMode(out, &mode) && is_utf8(bytes)) {
    const std::wstring text = kestrin::widen(bytes);
    for (std::size_t at = 0; at < text.size();) {
      DWORD written = 0;
      const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(text.size() - at, 8192));
      if (!WriteConsoleW(out, text.data() + at, piece, &written, nullptr) || written == 0) return;
      at += written;
    }
    return;
  }
  for (std::size_t at = 0; at < bytes.size();) {
    DWORD written = 0;
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1u << 20));
    if (!WriteFile(out, bytes.data() + at, piece, &written, nullptr) || written == 0) return;
    at += written;
  }
}

int say(int code, const std::string& out, const std::string& err = {}) {
  emit(STD_OUTPUT_HANDLE, out);
  emit(STD_ERROR_HANDLE, err);
  return code;
}

// Standard input as UTF-8: typed at a console (up to Ctrl+Z), or the bytes of
// a pipe or file (UTF-8, its byte order mark skipped; UTF-16 with its mark is
// taken too). None when it is too long or not text.
std::optional<std::string> read_input(std::string& why) {
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  constexpr std::size_t kMax = kMaxRequestBody - 4096;
  if (in && in != INVALID_HANDLE_VALUE && GetConsoleMode(in, &mode)) {
    std::wstring text;
    wchar_t buffer[4096];
    DWORD got = 0;
    while (ReadConsoleW(in, buffer, 4096, &got, nullptr) && got > 0) {
      std::wstring_view piece(buffer, got);
      const std::size_t end = piece.find(L'\x1A');
      text.append(piece.substr(0, end));
      if (end != std::wstring_view::npos) break;
    }
    return kestrin::narrow(text);
  }
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(in, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    bytes.append(buffer, got);
    if (bytes.size() > kMax) {
      why = "Standard input is longer than a request may be (64 MiB).";
      return std::nullopt;
    }
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    std::memcpy(text.data(), bytes.data() + 2, text.size() * 2);
    bytes = kestrin::narrow(text);
  }
  if (!is_utf8(bytes)) {
    why = "Standard input is not UTF-8 text.";
    return std::nullopt;
  }
  return bytes;
}

// The clipboard, opened for this program for as long as this lives.
class OpenClipboardScope {
 public:
  OpenClipboardScope() {
    for (int attempt = 0; attempt < 100 && !(open_ = OpenClipboard(nullptr) != FALSE); ++attempt) Sleep(10);
  }
  ~OpenClipboardScope() {
    if (open_) CloseClipboard();
  }
  bool open() const { return open_; }

 private:
  bool open_ = false;
};

int copy_text(const std::string& text) {
  const std::wstring value = kestrin::widen(text);
  const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (value.size() + 1) * sizeof(wchar_t));
  if (!block) return say(kExitFailed, {}, "Not enough memory for the text.\n");
  std::memcpy(GlobalLock(block), value.c_str(), (value.size() + 1) * sizeof(wchar_t));
  GlobalUnlock(block);
  OpenClipboardScope clipboard;
  if (!clipboard.open() || !EmptyClipboard() || !SetClipboardData(CF_UNICODETEXT, block)) {
    GlobalFree(block);
    return say(kExitFailed, {}, "The clipboard could not be written: another program holds it.\n");
  }
  return kExitDone;
}

int print_clipboard() {
  OpenClipboardScope clipboard;
  if (!clipboard.open()) return say(kExitFailed, {}, "The clipboard could not be opened: another program holds it.\n");
  if (HANDLE block = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* text = static_cast<const wchar_t*>(GlobalLock(block))) {
      const std::size_t size = GlobalSize(block) / sizeof(wchar_t);
      const std::string out = kestrin::narrow(std::wstring_view(text, wcsnlen(text, size)));
      GlobalUnlock(block);
      return say(kExitDone, out);
    }
  }
  return say(kExitFailed, {}, "The clipboard holds no text.\n");
}

int print_formats(bool json) {
  OpenClipboardScope clipboard;
  if (!clipboard.open()) return say(kExitFailed, {}, "The clipboard could not be opened: another program holds it.\n");
  nlohmann::json list = nlohmann::json::array();
  std::string text;
  for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format)) {
    wchar_t name[256] = {};
    const int length = GetClipboardFormatNameW(format, name, 256);
    const std::string label = kestrin::format_label(format, length > 0 ? kestrin::narrow(std::wstring_view(name, length)) : "");
    // Handles (a bitmap, a palette, a metafile) have no size of their own.
    std::optional<uint64_t> size;
    if (format != CF_BITMAP && format != CF_PALETTE && format != CF_ENHMETAFILE && format != CF_METAFILEPICT &&
        format != CF_OWNERDISPLAY) {
      if (HANDLE block = GetClipboardData(format)) size = GlobalSize(block);
    }
    list.push_back({{"number", format}, {"name", label}, {"size", size ? nlohmann::json(*size) : nlohmann::json()}});
    text += label + "\t" + (size ? std::to_string(*size) + " bytes" : std::string("-")) + "\n";
  }
  if (json) return say(kExitDone, nlohmann::json{{"formats", list}}.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
  return say(kExitDone, text);
}

// The program at the other end runs as this user: a pipe of that name made
// first by someone else is not talked to.
bool server_is_ours(HANDLE pipe) {
  ULONG pid = 0;
  if (!GetNamedPipeServerProcessId(pipe, &pid)) return true;  // not told: the pipe's own rights decide
  kestrin::UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return true;
  const std::wstring server = user_sid(process.get());
  return server.empty() || server == user_sid();
}

int ask_program(const Invocation& invocation) {
  const std::wstring name = pipe_name();
  if (name.empty()) return say(kExitFailed, {}, "This user's logon session could not be read.\n");
  const ULONGLONG give_up = GetTickCount64() + 30000;
  kestrin::UniqueHandle pipe;
  for (;;) {
    // Identification only: the program cannot act as this user.
    pipe.reset(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
    if (pipe) break;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return say(kExitNotRunning, {}, "No Kestrin is running for this user.\n");
    if (error != ERROR_PIPE_BUSY || GetTickCount64() >= give_up) {
      return say(kExitFailed, {}, "Kestrin did not take the request (error " + std::to_string(error) + ").\n");
    }
    WaitNamedPipeW(name.c_str(), 1000);
  }
  if (!server_is_ours(pipe.get())) return say(kExitFailed, {}, "The program at the other end is not this user's Kestrin.\n");
  const std::optional<std::string> frame = encode_request({invocation_words(invocation)});
  if (!frame) return say(kExitBadArguments, {}, "The request is too long.\n");
  PipeIo io(pipe.get(), nullptr);
  if (!io.write(frame->data(), frame->size(), GetTickCount64() + 30000)) {
    return say(kExitFailed, {}, "The request could not be sent to Kestrin.\n");
  }
  // A text command on a long text may take a while: as long as it takes.
  const std::optional<std::string> body = io.read_body(kAnswerMagic, kMaxAnswerBody, ~ULONGLONG{0});
  const std::optional<Answer> answer = body ? decode_answer(*body) : std::nullopt;
  if (!answer) return say(kExitFailed, {}, "Kestrin's answer could not be read.\n");
  return say(answer->code, answer->out, answer->err);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) words.push_back(kestrin::narrow(argv[i]));
  if (words.empty()) return say(kExitBadArguments, {}, general_help());
  const Parsed parsed = parse_invocation(words);
  if (!parsed.invocation) return say(kExitBadArguments, {}, parsed.error + "\n");
  Invocation invocation = *parsed.invocation;
  if (invocation.help) return say(kExitDone, verb_help(invocation.verb));
  switch (invocation.verb) {
    case Verb::Help: {
      if (!invocation.text) return say(kExitDone, general_help());
      for (const VerbInfo& verb : verb_table()) {
        if (*invocation.text == verb.name) return say(kExitDone, verb_help(verb.verb));
      }
      return say(kExitBadArguments, {}, "unknown verb '" + *invocation.text + "' (kestrin help lists them)\n");
    }
    case Verb::Clipboard: return print_clipboard();
    case Verb::Formats: return print_formats(invocation.json);
    default: break;
  }
  if (invocation.from_input) {
    std::string why;
    std::optional<std::string> text = read_input(why);
    if (!text) return say(kExitFailed, {}, why + "\n");
    invocation.text = std::move(*text);
    invocation.from_input = false;
  }
  if (invocation.verb == Verb::Copy) return copy_text(*invocation.text);
  return ask_program(invocation);
}
