// kestrin.com against the running program, as a script runs it: through cmd,
// in the program's folder, its output read back (the JSON parsed); the pipe's
// rights read back; clients that stall or talk nonsense.
#include <windows.h>

#include <aclapi.h>
#include <shlobj.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "program_test.h"
#include "test_windows.h"
#include "raii_win.h"
#include "remote/pipe_win.h"
#include "remote/protocol.h"
#include "res/resource.h"

namespace kestrin::test {
namespace {

struct Ran {
  DWORD code = 999;
  std::string out, err;
};

// cmd /c kestrin ARGUMENTS in the program's folder; `input` goes to its
// standard input through a real pipe (cmd's own: type FILE | kestrin ...).
Ran kestrin(const std::string& arguments, const std::optional<std::string>& input = std::nullopt) {
  const std::string dir = temp_dir();
  const std::string out_path = dir + "\\out.bin", err_path = dir + "\\err.bin", in_path = dir + "\\in.bin";
  std::string command = "cmd /c ";
  if (input) {
    write_file(in_path, *input);
    command += "type \"" + in_path + "\" | ";
  }
  command += "kestrin " + arguments + " >\"" + out_path + "\" 2>\"" + err_path + "\"";
  const std::string exe = kestrin_exe();
  const std::string folder = exe.substr(0, exe.rfind('\\'));
  std::wstring wide(command.size() + 1, L'\0');
  wide.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, command.c_str(), -1, wide.data(),
                                                           static_cast<int>(wide.size()))) - 1);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  Ran ran;
  const std::wstring cwd(folder.begin(), folder.end());
  // Once seen under load: Wine refused to start cmd for a moment. Tried again once.
  auto started = [&] {
    return CreateProcessW(nullptr, wide.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, cwd.c_str(),
                          &startup, &info) != FALSE;
  };
  if (started() || (Sleep(200), started())) {
    WaitForSingleObject(info.hProcess, 60000);
    GetExitCodeProcess(info.hProcess, &ran.code);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
  } else {
    ran.err = "(cmd did not start: error " + std::to_string(GetLastError()) + ")";
  }
  ran.out = read_file(out_path).value_or("");
  if (ran.err.empty()) ran.err = read_file(err_path).value_or("");
  return ran;
}

nlohmann::json entries(const std::string& arguments = "list --json") {
  const Ran ran = kestrin(arguments);
  EXPECT_EQ(ran.code, 0u) << ran.err;
  const auto document = nlohmann::json::parse(ran.out, nullptr, false);
  return document.is_discarded() ? nlohmann::json::array() : document["entries"];
}

// Bytes of a text as CF_UNICODETEXT holds it: UTF-16 and its NUL.
std::size_t utf16_bytes(const std::string& text) {
  return static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0)) * 2;
}

// All of `size` bytes from a byte pipe, however they arrive.
bool read_all(HANDLE pipe, char* data, DWORD size) {
  for (DWORD got = 0; size > 0; data += got, size -= got) {
    if (!ReadFile(pipe, data, size, &got, nullptr) || got == 0) return false;
  }
  return true;
}

std::vector<std::string> previews(const nlohmann::json& list) {
  std::vector<std::string> texts;
  for (const auto& e : list) texts.push_back(e["preview"]);
  return texts;
}

class CommandLine : public ProgramTest {
 protected:
  // Each test starts with no history, and with nothing on the clipboard that
  // would be recorded at the start.
  void SetUp() override {
    ProgramTest::SetUp();
    char folder[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
    remove_file(std::string(folder) + "\\Kestrin\\History.dat");
    ASSERT_TRUE(empty_clipboard());
  }
  static constexpr const char* kHistoryOn = "[Options]\r\nHistory=1\r\n";
};

TEST_F(CommandLine, VerbsDriveTheHistoryAsTheWindowDoes) {
  auto run = start(kHistoryOn);
  ASSERT_TRUE(run);
  copy("alpha");
  copy("beta");
  const std::string unicode = "Ёжик 🦔 テスト";
  Ran added = kestrin("add \"" + unicode + "\"");
  ASSERT_EQ(added.code, 0u) << added.err;
  ASSERT_TRUE(becomes([] { return previews(entries()); }, std::vector<std::string>{unicode, "beta", "alpha"}));
  // Positions count from 1, in the window's order, and the window shows the added entry.
  const nlohmann::json listed = entries();
  EXPECT_EQ(listed[0]["position"], 1);
  EXPECT_EQ(listed[2]["position"], 3);
  EXPECT_EQ(entries("list 1 --json").size(), 1u);
  EXPECT_EQ(kestrin("history").code, 0u);
  HWND window = run->wait_for_window("Kestrin History");
  ASSERT_TRUE(window);
  EXPECT_TRUE(becomes([&] { return list_items(window); }, std::vector<std::string>{unicode, "beta", "alpha"}));

  // read gives the text exactly; search finds by any case, with the entry's position.
  EXPECT_EQ(kestrin("read 1").out, unicode);
  const nlohmann::json found = entries("search ЁЖИК --json");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0]["position"], 1);
  EXPECT_EQ(kestrin("read 1 --format CF_UNICODETEXT").out.size(), utf16_bytes(unicode));

  // select puts an entry back as Enter does: on the clipboard, the order kept.
  ASSERT_EQ(kestrin("select 3").code, 0u);
  EXPECT_TRUE(becomes(clipboard_text, std::optional<std::string>("alpha")));
  EXPECT_EQ(previews(entries()), (std::vector<std::string>{unicode, "beta", "alpha"}));
  // pin, remove, clear: the pinned entry stays, the others go.
  ASSERT_EQ(kestrin("pin 3").code, 0u);
  EXPECT_TRUE(becomes([] { return previews(entries()); }, std::vector<std::string>{"alpha", unicode, "beta"}));
  EXPECT_EQ(entries()[0]["pinned"], true);
  ASSERT_EQ(kestrin("remove 2").code, 0u);
  EXPECT_TRUE(becomes([] { return previews(entries()); }, std::vector<std::string>{"alpha", "beta"}));
  ASSERT_EQ(kestrin("clear").code, 0u);
  EXPECT_TRUE(becomes([] { return previews(entries()); }, std::vector<std::string>{"alpha"}));
  ASSERT_EQ(kestrin("unpin 1").code, 0u);
  EXPECT_EQ(entries()[0]["pinned"], false);
  // A text command on an entry, by the name kestrin-text --list prints: a new
  // entry, the old one as it was.
  const Ran mixed = kestrin("add mixed Case");
  ASSERT_EQ(mixed.code, 0u) << mixed.err;
  const Ran lower = kestrin("run lower-case 1");
  ASSERT_EQ(lower.code, 0u) << lower.err;
  EXPECT_TRUE(becomes([] { return kestrin("read 1").out; }, std::string("mixed case")));
  EXPECT_EQ(kestrin("read 2").out, "mixed Case");

  // What is wrong is said on standard error, with its exit code.
  const Ran missing = kestrin("select 7");
  EXPECT_EQ(missing.code, 1u);
  EXPECT_NE(missing.err.find("There is no entry 7"), std::string::npos) << missing.err;
  EXPECT_EQ(kestrin("select").code, 2u);
  EXPECT_EQ(kestrin("frobnicate").code, 2u);
  EXPECT_EQ(kestrin("run no-such-command").code, 2u);
  EXPECT_NE(kestrin("pin --help").out.find("usage: kestrin pin N"), std::string::npos);

  // exit ends the program as the menu's Exit does, without its question.
  EXPECT_EQ(kestrin("exit").code, 0u);
  EXPECT_EQ(run->close(), 0u);  // ended already: its exit code
  const Ran gone = kestrin("list");
  EXPECT_EQ(gone.code, 3u);
  EXPECT_EQ(gone.err, "No Kestrin is running for this user.\n");
}

// paste puts the entry back and pastes it into the window in front, as the
// hotkey tool that runs it would want; show brings the hidden window back.
TEST_F(CommandLine, PasteReachesTheWindowInFrontAndShowTheProgram) {
  auto run = start(kHistoryOn);
  ASSERT_TRUE(run);
  copy("older entry");
  copy("newest entry");
  // Both recorded (a copy is, once its formats are read) before entry 2 is asked for.
  ASSERT_TRUE(becomes([] { return previews(entries()); }, std::vector<std::string>{"newest entry", "older entry"}));
  PasteTarget target;
  SetForegroundWindow(target.window());
  ASSERT_TRUE(wait_until([&] { return GetForegroundWindow() == target.window(); }, 5000));
  const Ran pasted = kestrin("paste 2");
  ASSERT_EQ(pasted.code, 0u) << pasted.err;
  EXPECT_TRUE(becomes([&] { return target.text(); }, std::string("older entry")));
  EXPECT_EQ(clipboard_text(), std::optional<std::string>("older entry"));

  ShowWindow(run->window(), SW_HIDE);
  ASSERT_EQ(kestrin("show").code, 0u);
  EXPECT_TRUE(becomes([&] { return IsWindowVisible(run->window()) != FALSE; }, true));
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(CommandLine, RunJoinsInAppendModeAsTheMenuDoes) {
  auto run = start("[Options]\r\nAppend=1\r\nAppendWith=40158\r\n", "one");
  ASSERT_TRUE(run);
  ASSERT_TRUE(set_clipboard_text("two"));
  ASSERT_TRUE(becomes(clipboard_text, std::optional<std::string>("one two")));
  // The command's own write is not joined; the next copy joins onto its result.
  const Ran upper = kestrin("run \"Upper Case\"");
  ASSERT_EQ(upper.code, 0u) << upper.err;
  EXPECT_TRUE(becomes(clipboard_text, std::optional<std::string>("ONE TWO")));
  ASSERT_TRUE(set_clipboard_text("three"));
  EXPECT_TRUE(becomes(clipboard_text, std::optional<std::string>("ONE TWO three")));
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(CommandLine, UnicodeGoesThroughPipesAndTheClipboardVerbsNeedNoProgram) {
  // No program runs: copy, clipboard and formats work; the others say so.
  const std::string text = "Привет, мир — 日本語のテキスト 🎉👍\r\nline two";
  const Ran copied = kestrin("copy -", "\xEF\xBB\xBF" + text);  // the byte order mark is skipped
  ASSERT_EQ(copied.code, 0u) << copied.err;
  const Ran printed = kestrin("clipboard");
  EXPECT_EQ(printed.code, 0u);
  EXPECT_EQ(printed.out, text);  // UTF-8, no byte order mark
  const auto formats = nlohmann::json::parse(kestrin("formats --json").out, nullptr, false);
  ASSERT_FALSE(formats.is_discarded());
  ASSERT_FALSE(formats["formats"].empty());
  EXPECT_EQ(formats["formats"][0]["name"], "CF_UNICODETEXT");
  EXPECT_EQ(formats["formats"][0]["size"], utf16_bytes(text));
  EXPECT_EQ(kestrin("copy -", std::string("\xC3\x28 bad")).code, 1u);  // not UTF-8: nothing copied
  EXPECT_EQ(kestrin("clipboard").out, text);
  const Ran none = kestrin("list --json");
  EXPECT_EQ(none.code, 3u);
  EXPECT_TRUE(none.out.empty());
}

// The pipe lets the user alone in; garbage is answered and dropped; clients
// that stall half-way, as many as the pipe takes, stop neither the window nor
// the next client.
TEST_F(CommandLine, OnlyTheUserGetsInAndStalledClientsStopNoOne) {
  auto run = start(kHistoryOn);
  ASSERT_TRUE(run);
  const std::wstring name = remote::pipe_name();
  ASSERT_FALSE(name.empty());
  UniqueHandle pipe;
  ASSERT_TRUE(wait_until([&] {
    pipe.reset(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return static_cast<bool>(pipe);
  }));
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetSecurityInfo(pipe.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                            nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_NE(dacl, nullptr);
  ASSERT_EQ(dacl->AceCount, 1);
  ACCESS_ALLOWED_ACE* ace = nullptr;
  ASSERT_TRUE(GetAce(dacl, 0, reinterpret_cast<void**>(&ace)));
  EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
  wchar_t* sid = nullptr;
  ASSERT_TRUE(ConvertSidToStringSidW(&ace->SidStart, &sid));
  EXPECT_EQ(std::wstring(sid), remote::user_sid());
  LocalFree(sid);
  LocalFree(descriptor);

  // Garbage: answered with exit code 2, then the connection goes.
  DWORD moved = 0;
  ASSERT_TRUE(WriteFile(pipe.get(), "GET / HTTP/1.0\r\n\r\n", 18, &moved, nullptr));
  std::string header(remote::kHeaderSize, '\0');
  ASSERT_TRUE(read_all(pipe.get(), header.data(), static_cast<DWORD>(header.size())));
  const auto length = remote::body_length(header, remote::kAnswerMagic, remote::kMaxAnswerBody);
  ASSERT_TRUE(length);
  std::string body(*length, '\0');
  ASSERT_TRUE(read_all(pipe.get(), body.data(), *length));
  ASSERT_EQ(remote::decode_answer(body).value_or(remote::Answer{}).code, 2);
  pipe.reset();

  // Half a request from every connection the pipe takes (sixteen are served
  // at once), then silence: the next client waits for them to be dropped.
  std::vector<UniqueHandle> stalled;
  for (int i = 0; i < 64; ++i) {
    UniqueHandle client(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!client && GetLastError() == ERROR_PIPE_BUSY && WaitNamedPipeW(name.c_str(), 300)) {
      client.reset(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    }
    if (!client) break;  // all taken
    WriteFile(client.get(), "KRQ1", 4, &moved, nullptr);
    stalled.push_back(std::move(client));
  }
  EXPECT_GE(stalled.size(), 8u);
  EXPECT_LE(stalled.size(), 17u);  // the sixteen served and one waiting to be
  DWORD_PTR result = 0;
  EXPECT_TRUE(SendMessageTimeoutW(run->window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result));
  const Ran listed = kestrin("list");
  EXPECT_EQ(listed.code, 0u) << listed.err;
  stalled.clear();
  EXPECT_EQ(run->close(), 0u);
}

}  // namespace
}  // namespace kestrin::test
