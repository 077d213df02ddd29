// The clipboard history through the real program: what it records and what it
// leaves out, the window driven by keys typed into it, pastes into another
// window, pins, Clear History, a kill in the middle of a burst of copies, and
// the global hotkeys.
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <map>
#include <thread>

#include "history/history_file.h"
#include "program_test.h"
#include "test_windows.h"
#include "history/crypto_win.h"
#include "history/history_sync.h"
#include "sealed_reader.h"
#include "wide_win.h"
#include "res/resource.h"

namespace kestrin::test {
namespace {

std::string history_path() {
  char folder[MAX_PATH] = {};
  SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
  return std::string(folder) + "\\Kestrin\\History.dat";
}

class History : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    remove_file(history_path());
    // The program's folder, for the tests that write a history file first.
    CreateDirectoryA(history_path().substr(0, history_path().rfind('\\')).c_str(), nullptr);
  }
  static constexpr const char* kOn = "[Options]\r\nHistory=1\r\n";

  // The history window, opened by its command.
  HWND open_window(const Kestrin& run) {
    run.post(WM_COMMAND, IDM_HISTORY);
    HWND window = run.wait_for_window("Kestrin History");
    EXPECT_TRUE(window);
    return window;
  }
};

// The first column of the list, read from the program's own memory.
using Items = std::vector<std::string>;

// A text the Options dialog shows (the dialog is opened and cancelled again).
std::string options_text(const Kestrin& run, int id) {
  run.post(WM_COMMAND, IDM_OPTIONS);
  HWND options = run.wait_for_window("Kestrin Options");
  if (!options) return "(no Options dialog)";
  char text[512] = {};
  GetDlgItemTextA(options, id, text, sizeof text);
  press_button(options, IDCANCEL);
  return text;
}

::testing::AssertionResult items_become(HWND window, const Items& expected) {
  return becomes([&] { return list_items(window); }, expected);
}

// Keys as the keyboard sends them, to the window in front.
void press(WORD key, bool shift = false, bool control = false) {
  std::vector<INPUT> keys;
  auto add = [&](WORD code, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = code;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    keys.push_back(input);
  };
  if (control) add(VK_CONTROL, false);
  if (shift) add(VK_SHIFT, false);
  add(key, false);
  add(key, true);
  if (shift) add(VK_SHIFT, true);
  if (control) add(VK_CONTROL, true);
  SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
}

void type(const std::wstring& text) {
  for (wchar_t c : text) {
    INPUT keys[2] = {};
    for (INPUT& key : keys) {
      key.type = INPUT_KEYBOARD;
      key.ki.wScan = c;
      key.ki.dwFlags = KEYEVENTF_UNICODE;
    }
    keys[1].ki.dwFlags |= KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
    Sleep(30);
  }
}

// Another program (an indexer, a backup, an antivirus) holding the history
// file open without delete sharing: the compaction cannot replace it.
class FileHolder {
 public:
  explicit FileHolder(const std::string& path, DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE)
      : handle_(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~FileHolder() { release(); }
  bool held() const { return handle_ != INVALID_HANDLE_VALUE; }
  void release() {
    if (held()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

// The entries a history file holds, by its records alone, newest first.
std::vector<std::string> file_entries(bool pinned_only = false) {
  kestrin::History replayed;
  replayed.replay(test::read_history_file(read_file(history_path()).value_or("")).records);
  std::vector<std::string> texts;
  for (const HistoryEntry* e : replayed.shown()) {
    if (!pinned_only || e->pinned) texts.emplace_back(*e->data);
  }
  return texts;
}

bool in_front(HWND window) {
  return wait_until([&] { return GetForegroundWindow() == window; }, 5000);
}

TEST_F(History, RecordsCopiesInOrderButNeverPrivateOnes) {
  auto run = start(kOn);
  ASSERT_TRUE(run);
  copy("one");
  copy("two");
  // A password manager's copy: seen, never recorded.
  ASSERT_TRUE(set_clipboard_formats({{CF_TEXT, std::string("hunter2\0", 8)},
                                     {registered_format("ExcludeClipboardContentFromMonitorProcessing"), "x"}}));
  ASSERT_TRUE(becomes(clipboard_text, std::optional<std::string>("hunter2")));
  copy("three");
  copy("one");  // moves up, not a second entry
  HWND window = open_window(*run);
  EXPECT_TRUE(items_become(window, Items{"one", "three", "two"}));
  EXPECT_EQ(run->close(), 0u);

  // The file holds them (and never the private copy), and a new start shows them.
  // It is sealed: none of the texts is in its bytes.
  const std::string file = read_file(history_path()).value_or("");
  for (const char* text : {"hunter2", "three", "two"}) EXPECT_EQ(file.find(text), std::string::npos) << text;
  const HistoryLoad load = test::read_history_file(file);
  EXPECT_EQ(load.version, kSealedVersion);
  EXPECT_EQ(load.damaged, 0u);
  EXPECT_FALSE(load.records.empty());
  run = start();
  window = open_window(*run);
  EXPECT_TRUE(items_become(window, Items{"one", "three", "two"}));
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(History, SearchFiltersAsKeysAreTyped) {
  auto run = start(kOn);
  ASSERT_TRUE(run);
  for (const char* text : {"Alpha one", "beta two", "ALPHA three\r\nsecond line", "gamma alphabet"}) copy(text);
  ASSERT_TRUE(set_clipboard_data(CF_UNICODETEXT, std::string("\x16\x04\x38\x04\x37\x04\x3D\x04\x4C\x04\0\0", 12)));  // Жизнь
  HWND window = open_window(*run);
  ASSERT_TRUE(in_front(window));
  EXPECT_TRUE(items_become(window, Items{"Жизнь", "gamma alphabet", "ALPHA three", "beta two", "Alpha one"}));
  type(L"alp");
  EXPECT_TRUE(items_become(window, Items{"gamma alphabet", "ALPHA three", "Alpha one"}));
  type(L"ha ");
  EXPECT_TRUE(items_become(window, Items{"ALPHA three", "Alpha one"}));
  type(L"T");
  EXPECT_TRUE(items_become(window, Items{"ALPHA three"}));
  for (int i = 0; i < 7; ++i) press(VK_BACK);
  EXPECT_TRUE(items_become(window, Items{"Жизнь", "gamma alphabet", "ALPHA three", "beta two", "Alpha one"}));
  type(L"жиЗ");  // folded across cases in Cyrillic too
  EXPECT_TRUE(items_become(window, Items{"Жизнь"}));
  press(VK_ESCAPE);
  EXPECT_TRUE(becomes([&] { return IsWindow(window) != FALSE; }, false));
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(History, EnterCopiesAndShiftEnterPastesIntoTheWindowInFront) {
  auto run = start(kOn);
  ASSERT_TRUE(run);
  copy("first entry");
  copy("second entry");
  PasteTarget target;
  SetForegroundWindow(target.window());
  ASSERT_TRUE(in_front(target.window()));
  HWND window = open_window(*run);
  ASSERT_TRUE(in_front(window));
  ASSERT_TRUE(items_become(window, Items{"second entry", "first entry"}));
  press(VK_DOWN);
  press(VK_RETURN, true);
  EXPECT_TRUE(becomes([&] { return target.text(); }, std::string("first entry")));
  // The window stays for the next paste, in the order it had.
  EXPECT_TRUE(IsWindow(window));
  EXPECT_TRUE(items_become(window, Items{"second entry", "first entry"}));
  // Asked for again, it comes to the front; Enter alone only copies.
  run->post(WM_COMMAND, IDM_HISTORY);
  ASSERT_TRUE(in_front(window));
  press(VK_UP);
  press(VK_RETURN);
  EXPECT_TRUE(becomes(clipboard_text, std::optional<std::string>("second entry")));
  press(VK_DOWN);
  press(VK_RETURN, true);
  EXPECT_TRUE(becomes([&] { return target.text(); }, std::string("first entryfirst entry")));
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(History, PinnedEntriesOutliveTheLimitAndClearHistory) {
  auto run = start("[Options]\r\nHistory=1\r\nHistoryLimit=2\r\n");
  ASSERT_TRUE(run);
  copy("keep me");
  HWND window = open_window(*run);
  ASSERT_TRUE(in_front(window));
  ASSERT_TRUE(items_become(window, Items{"keep me"}));
  // Pinned once the file says so (a key typed while the window system is
  // busy can be lost: typed again then, never twice in a row unseen).
  const std::vector<std::string> pinned{"keep me"};
  press('P', false, true);
  if (!becomes([] { return file_entries(true); }, pinned, 5000)) press('P', false, true);
  ASSERT_TRUE(becomes([] { return file_entries(true); }, pinned));
  for (const char* text : {"a", "b", "c"}) copy(text);
  EXPECT_TRUE(items_become(window, Items{"keep me", "c", "b"}));
  press(VK_DOWN);
  press(VK_DELETE);  // the search box is empty: Delete removes the entry
  EXPECT_TRUE(items_become(window, Items{"keep me", "b"}));

  run->post(WM_COMMAND, IDM_CLEAR_HISTORY);
  HWND question = run->wait_for_window("Kestrin");
  ASSERT_TRUE(question);
  press_button(question, IDYES);
  EXPECT_TRUE(items_become(window, Items{"keep me"}));
  EXPECT_EQ(run->close(), 0u);
  run = start();
  window = open_window(*run);
  EXPECT_TRUE(items_become(window, Items{"keep me", "c"}));  // c: the clipboard at the start

  // Switched off, the history asks whether to delete its file.
  run->post(WM_COMMAND, IDM_KEEP_HISTORY);
  question = run->wait_for_window("Kestrin");
  ASSERT_TRUE(question);
  press_button(question, IDYES);
  EXPECT_TRUE(becomes([] { return read_file(history_path()).has_value(); }, false));
  EXPECT_EQ(run->close(), 0u);
  EXPECT_EQ(setting("History"), "0");
}

TEST_F(History, KilledInABurstOfCopiesKeepsEveryWholeEntry) {
  auto run = start(kOn);
  ASSERT_TRUE(run);
  copy("before the burst");
  std::atomic<bool> stop{false};
  std::thread burst([&] {
    for (int i = 0; !stop; ++i) {
      set_clipboard_text("burst " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 7) * 3000, '.'));
      Sleep(5);
    }
  });
  Sleep(800);
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, run->pid());
  ASSERT_TRUE(process);
  TerminateProcess(process, 1);  // as taskkill /F does
  WaitForSingleObject(process, 5000);
  CloseHandle(process);
  stop = true;
  burst.join();

  // What the file held whole when the program died.
  const HistoryLoad load = test::read_history_file(read_file(history_path()).value_or(""));
  kestrin::History expected;
  for (const HistoryRecord& record : load.records) expected.apply(record);
  ASSERT_GE(expected.entries().size(), 2u);  // the burst was being recorded

  ASSERT_TRUE(set_clipboard_text("after"));
  auto again = Kestrin::start({.expect_window = false});
  // A torn last record is said once; every whole entry is there.
  if (HWND box = again->wait_for_dialog_containing("could not be read", 3000)) press_button(box, IDOK);
  ASSERT_TRUE(again->find_window());
  current_ = again.get();
  HWND window = open_window(*again);
  // Shown once the worker has read the file: every entry whole at the kill,
  // and the copy on the clipboard at the start.
  Items items;
  wait_until([&] { return (items = list_items(window)).size() > expected.entries().size(); });
  for (const HistoryEntry* e : expected.shown()) {
    const std::string line(first_line(*e->data, false, 200));
    EXPECT_NE(std::find(items.begin(), items.end(), line), items.end()) << line;
  }
  EXPECT_EQ(items.front(), "after");
  EXPECT_EQ(again->close(), 0u);
}

TEST_F(History, HotkeysWorkAndATakenChordIsReportedOnce) {
  // Another program holds Ctrl+Alt+U.
  ASSERT_TRUE(RegisterHotKey(nullptr, 1, MOD_CONTROL | MOD_ALT, 'U'));
  write_file(windows_ini_path(),
             "[Options]\r\nHistory=1\r\n[Hotkeys]\r\nCtrl+Shift+H=History\r\nCtrl+Alt+U=40011\r\n"
             "Ctrl+Alt+2=PasteHistory2\r\n");
  auto run = Kestrin::start({.expect_window = false});
  HWND box = run->wait_for_window("Kestrin Hotkeys");
  ASSERT_TRUE(box);
  std::string said;
  for (const std::string& text : child_texts(box)) said += text;
  EXPECT_NE(said.find("Ctrl+Alt+U (the line \"Ctrl+Alt+U=40011\" in [Hotkeys])"), std::string::npos) << said;
  EXPECT_EQ(said.find("Ctrl+Shift+H"), std::string::npos) << said;
  press_button(box, IDOK);
  ASSERT_TRUE(run->find_window());
  current_ = run.get();
  copy("older");
  copy("newer");
  EXPECT_FALSE(run->wait_for_window("Kestrin Hotkeys", 500));  // said once
  // Both recorded (a copy is, once its formats are read) before the chord asks for entry 2.
  ASSERT_TRUE(becomes([] { return file_entries(); }, std::vector<std::string>{"newer", "older"}));

  // The chords from the keyboard.
  press('2', false, true);  // not the chord: Ctrl+2 alone does nothing here
  INPUT alt{};
  alt.type = INPUT_KEYBOARD;
  alt.ki.wVk = VK_MENU;
  SendInput(1, &alt, sizeof alt);
  press('2', false, true);  // Ctrl+Alt+2: entry 2 onto the clipboard, pasted
  alt.ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(1, &alt, sizeof alt);
  EXPECT_TRUE(becomes(clipboard_text, std::optional<std::string>("older")));
  press('H', true, true);
  EXPECT_TRUE(run->wait_for_window("Kestrin History"));

  // The Options dialog lists the hotkeys in force.
  EXPECT_EQ(options_text(*run, IDC_OPT_HOTKEYS), "Ctrl+Shift+H=History\r\nCtrl+Alt+2=PasteHistory2");
  EXPECT_EQ(run->close(), 0u);
  UnregisterHotKey(nullptr, 1);
}

TEST_F(History, WhatIsClearedStaysClearedWhenTheCompactionFails) {
  auto run = start(kOn);
  ASSERT_TRUE(run);
  copy("pinned one");
  HWND window = open_window(*run);
  ASSERT_TRUE(in_front(window));
  ASSERT_TRUE(items_become(window, Items{"pinned one"}));
  press('P', false, true);
  copy("cleared a");
  copy("cleared b");
  ASSERT_TRUE(items_become(window, Items{"pinned one", "cleared b", "cleared a"}));
  FileHolder holder(history_path());
  ASSERT_TRUE(holder.held());
  run->post(WM_COMMAND, IDM_CLEAR_HISTORY);
  HWND question = run->wait_for_window("Kestrin");
  ASSERT_TRUE(question);
  press_button(question, IDYES);
  EXPECT_TRUE(items_become(window, Items{"pinned one"}));
  // The file was not replaced (the holder keeps it), yet its records say what
  // was cleared.
  EXPECT_TRUE(becomes([] { return file_entries(); }, std::vector<std::string>{"pinned one"}));
  bool added = false;
  for (const HistoryRecord& r : test::read_history_file(read_file(history_path()).value_or("")).records) {
    added = added || (r.op == RecordOp::Add && *r.entry.data == "cleared a");
  }
  EXPECT_TRUE(added);
  ASSERT_TRUE(empty_clipboard());
  EXPECT_EQ(run->close(), 0u);
  holder.release();
  run = start();
  window = open_window(*run);
  EXPECT_TRUE(items_become(window, Items{"pinned one"}));
  EXPECT_FALSE(wait_until([&] { return list_items(window).size() > 1; }, 1500));
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(History, CopiesAfterATornEndSurviveAFailedCompaction) {
  kestrin::History made;
  std::vector<HistoryRecord> log = made.add(EntryKind::AnsiText, share_bytes("whole one"), 9, 1);
  for (auto& r : made.add(EntryKind::AnsiText, share_bytes("whole two"), 9, 2)) log.push_back(std::move(r));
  // A crash in the middle of a record: its head promises more than follows.
  const std::string file = test::sealed_history_file(
      log, made.add(EntryKind::AnsiText, share_bytes(std::string(500, 't')), 500, 3), 60);
  write_file(history_path(), file);
  FileHolder holder(history_path());
  ASSERT_TRUE(holder.held());
  ASSERT_TRUE(empty_clipboard());
  write_file(windows_ini_path(), kOn);
  auto run = Kestrin::start({.expect_window = false});
  HWND box = run->wait_for_dialog_containing("could not be read");
  ASSERT_TRUE(box);
  std::string said;
  for (const std::string& text : child_texts(box)) said += text;
  EXPECT_NE(said.find("2 whole records"), std::string::npos) << said;
  press_button(box, IDOK);
  ASSERT_TRUE(run->find_window());
  current_ = run.get();
  for (const char* text : {"after x", "after y", "after z"}) copy(text);
  EXPECT_TRUE(becomes([] { return file_entries(); },
                      std::vector<std::string>{"after z", "after y", "after x", "whole two", "whole one"}));
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(History, AFileHeldAtStartIsReadLaterAndNeverOverwritten) {
  kestrin::History made;
  std::vector<HistoryRecord> log;
  for (const char* text : {"old 1", "old 2", "old 3", "old 4"}) {
    for (auto& r : made.add(EntryKind::AnsiText, share_bytes(text), 5, 1)) log.push_back(std::move(r));
  }
  for (uint64_t id : {1u, 3u}) {
    for (auto& r : made.set_pinned(id, true)) log.push_back(std::move(r));
  }
  write_file(history_path(), encode_history(log));
  ASSERT_TRUE(empty_clipboard());
  write_file(windows_ini_path(), kOn);
  auto holder = std::make_unique<FileHolder>(history_path(), 0);  // no sharing at all
  ASSERT_TRUE(holder->held());
  auto run = Kestrin::start({.expect_window = false});
  HWND box = run->wait_for_dialog_containing("in use by another program");
  ASSERT_TRUE(box);
  press_button(box, IDOK);
  ASSERT_TRUE(run->find_window());
  current_ = run.get();
  copy("during the lock");
  // Cleared before the file could be read: what it holds is cleared once it
  // is, the pinned entries kept; a copy after the clear is kept.
  run->post(WM_COMMAND, IDM_CLEAR_HISTORY);
  HWND question = run->wait_for_window("Kestrin");
  ASSERT_TRUE(question);
  press_button(question, IDYES);
  // A copy made while the question is still up is made before the clear.
  ASSERT_TRUE(wait_until([&] { return !IsWindow(question); }));
  copy("after the clear");
  holder.reset();
  HWND window = open_window(*run);
  EXPECT_TRUE(items_become(window, Items{"old 3", "old 1", "after the clear"}));
  EXPECT_EQ(run->close(), 0u);
  // Nothing overwritten: the new copy took an id of its own.
  EXPECT_EQ(file_entries(), (std::vector<std::string>{"old 3", "old 1", "after the clear"}));
  EXPECT_EQ(file_entries(true), (std::vector<std::string>{"old 3", "old 1"}));
}

TEST_F(History, AFolderInTheFilesPlaceIsSaidAndTheHistoryLivesInMemory) {
  const std::string folder = history_path().substr(0, history_path().rfind('\\'));
  ASSERT_TRUE(CreateDirectoryA(history_path().c_str(), nullptr));
  write_file(windows_ini_path(), kOn);
  auto run = Kestrin::start({.expect_window = false});
  HWND box = run->wait_for_dialog_containing("kept in memory only");
  ASSERT_TRUE(box);
  press_button(box, IDOK);
  ASSERT_TRUE(run->find_window());
  current_ = run.get();
  copy("in memory");
  HWND window = open_window(*run);
  EXPECT_TRUE(items_become(window, Items{"in memory"}));
  EXPECT_EQ(run->close(), 0u);
  RemoveDirectoryA(history_path().c_str());

  // The program's folder cannot be made (a file holds its name): the first
  // write fails, and that is said once, with the same words.
  ASSERT_TRUE(RemoveDirectoryA(folder.c_str()));
  write_file(folder, "not a folder");
  ASSERT_TRUE(empty_clipboard());
  run = start(kOn);
  ASSERT_TRUE(run);
  ASSERT_TRUE(set_clipboard_text("first copy"));
  box = run->wait_for_dialog_containing("kept in memory only");
  ASSERT_TRUE(box);
  press_button(box, IDOK);
  copy("second copy");
  EXPECT_FALSE(run->wait_for_dialog_containing("kept in memory only", 1000));
  window = open_window(*run);
  EXPECT_TRUE(items_become(window, Items{"second copy", "first copy"}));
  EXPECT_EQ(run->close(), 0u);
  remove_file(folder);
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
}

// [Hotkeys] is read whole however long (a line past 64 KiB is no longer cut to
// another action); a chord written twice, F12, a command no menu has and a
// thousand bad lines are named briefly, the first few and a count.
TEST_F(History, HotkeyLinesAreReadWholeAndTheBadOnesNamedBriefly) {
  std::string ini = "[Options]\r\nHistory=1\r\n[Hotkeys]\r\n";
  for (int i = 0; i < 1000; ++i) ini += "bad line " + std::to_string(i) + "\r\n";
  ini += "Ctrl+Alt+8=History\r\nctrl+alt+8=PasteHistory1\r\nCtrl+F12=History\r\nCtrl+Alt+7=12345\r\n";
  while (ini.size() < 70 * 1024) ini += "; padding past what one read of the section holds\r\n";
  ini += "Ctrl+Alt+9=PasteHistory22\r\n";
  write_file(windows_ini_path(), ini);
  auto run = Kestrin::start({.expect_window = false});
  HWND box = run->wait_for_window("Kestrin Hotkeys");
  ASSERT_TRUE(box);
  std::string said;
  for (const std::string& text : child_texts(box)) said += text;
  EXPECT_NE(said.find("bad line 0"), std::string::npos) << said;
  EXPECT_EQ(said.find("bad line 5:"), std::string::npos) << said;
  EXPECT_NE(said.find("and 998 more lines."), std::string::npos) << said;
  RECT area{};
  GetWindowRect(box, &area);
  EXPECT_LT(area.bottom - area.top, GetSystemMetrics(SM_CYSCREEN));
  press_button(box, IDOK);
  ASSERT_TRUE(run->find_window());
  current_ = run.get();
  run->post(WM_COMMAND, IDM_OPTIONS);
  HWND options = run->wait_for_window("Kestrin Options");
  ASSERT_TRUE(options);
  char listed[512] = {};
  GetDlgItemTextA(options, IDC_OPT_HOTKEYS, listed, sizeof listed);
  EXPECT_STREQ(listed, "Ctrl+Alt+8=History\r\nCtrl+Alt+9=PasteHistory22");
  press_button(options, IDCANCEL);
  EXPECT_EQ(run->close(), 0u);
}

// A paste by hotkey while the user still holds Alt: the program waits for it
// and never lets go of Alt itself (alone, its key-up opens the target's menu
// bar); the entry is on the clipboard all the same.
TEST_F(History, APasteByHotkeyNeverLiftsTheUsersAlt) {
  write_file(windows_ini_path(), "[Options]\r\nHistory=1\r\n[Hotkeys]\r\nCtrl+Alt+2=PasteHistory2\r\n");
  auto run = Kestrin::start();
  ASSERT_TRUE(run);
  current_ = run.get();
  copy("older");
  copy("newer");
  auto key = [](WORD code, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = code;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof input);
  };
  key(VK_CONTROL, false);
  key(VK_MENU, false);
  key('2', false);
  key('2', true);
  key(VK_CONTROL, true);
  EXPECT_TRUE(becomes(clipboard_text, std::optional<std::string>("older")));
  // Held through the program's wait and after it.
  for (int i = 0; i < 15; ++i) {
    EXPECT_LT(GetAsyncKeyState(VK_MENU), 0) << i * 100 << " ms";
    Sleep(100);
  }
  key(VK_MENU, true);
  EXPECT_EQ(run->close(), 0u);
}


// Every format on the clipboard now, in its order, with its block's bytes
// (handles, which have none, as empty).
std::vector<std::pair<UINT, std::string>> clipboard_now() {
  std::vector<std::pair<UINT, std::string>> formats;
  for (int attempt = 0; attempt < 50 && !OpenClipboard(nullptr); ++attempt) Sleep(20);
  for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format)) {
    std::string bytes;
    const bool handle = format == CF_BITMAP || format == CF_METAFILEPICT || format == CF_PALETTE ||
                        format == CF_ENHMETAFILE;
    if (HANDLE data = handle ? nullptr : GetClipboardData(format)) {
      if (const void* locked = GlobalLock(data)) {
        bytes.assign(static_cast<const char*>(locked), GlobalSize(data));
        GlobalUnlock(data);
      }
    }
    formats.emplace_back(format, std::move(bytes));
  }
  CloseClipboard();
  return formats;
}

// Only the formats of `wanted`, in the clipboard's order.
std::vector<std::pair<UINT, std::string>> only(const std::vector<std::pair<UINT, std::string>>& all,
                                               const std::vector<UINT>& wanted) {
  std::vector<std::pair<UINT, std::string>> kept;
  for (const auto& f : all) {
    if (std::find(wanted.begin(), wanted.end(), f.first) != wanted.end()) kept.push_back(f);
  }
  return kept;
}

std::string utf16z(const wchar_t* text) {
  return std::string(reinterpret_cast<const char*>(text), (wcslen(text) + 1) * 2);
}

// A DROPFILES block of wide names.
std::string drop_files(const std::vector<std::string>& names) {
  DROPFILES header{};
  header.pFiles = sizeof header;
  header.fWide = TRUE;
  std::string block(reinterpret_cast<const char*>(&header), sizeof header);
  for (const std::string& name : names) {
    const std::wstring wide(name.begin(), name.end());
    block += utf16z(wide.c_str());
  }
  block.append(2, '\0');
  return block;
}

std::vector<std::string> drop_names(const std::string& block) {
  std::vector<std::string> names;
  if (block.size() < sizeof(DROPFILES)) return names;
  const auto* header = reinterpret_cast<const DROPFILES*>(block.data());
  for (std::size_t at = header->pFiles; at + 2 <= block.size();) {
    std::wstring name;
    for (; at + 2 <= block.size(); at += 2) {
      wchar_t c;
      std::memcpy(&c, block.data() + at, 2);
      if (!c) break;
      name.push_back(c);
    }
    at += 2;
    if (name.empty()) break;
    names.emplace_back(name.begin(), name.end());
  }
  return names;
}

TEST_F(History, EveryFormatOfACopyComesBackInItsOrderByteForByte) {
  auto run = start(kOn);
  ASSERT_TRUE(run);
  const UINT html = registered_format("HTML Format"), rtf = registered_format("Rich Text Format");
  const std::string html_bytes =
      "Version:0.9\r\nStartHTML:00000097\r\nEndHTML:00000170\r\nStartFragment:00000131\r\n"
      "EndFragment:00000134\r\n<html><body><!--StartFragment--><b>Bold</b> text<!--EndFragment--></body></html>";
  const std::string rtf_bytes = std::string("{\\rtf1\\ansi {\\b Bold} text}", 26) + '\0';
  const std::vector<std::pair<UINT, std::string>> copied = {
      {html, html_bytes}, {CF_UNICODETEXT, utf16z(L"Bold text")}, {rtf, rtf_bytes}};
  HWND window = open_window(*run);
  ASSERT_TRUE(set_clipboard_formats(copied));
  // Recorded (its formats read) before anything else is copied.
  ASSERT_TRUE(items_become(window, Items{"Bold text"}));
  // The order the clipboard gives them in (Wine's may not be the order they were set in).
  const auto original = only(clipboard_now(), {html, CF_UNICODETEXT, rtf});
  ASSERT_EQ(original.size(), 3u);
  copy("other");
  run->post(WM_COMMAND, IDM_HISTORY);
  ASSERT_TRUE(in_front(window));
  ASSERT_TRUE(items_become(window, Items{"other", "Bold text"}));
  press(VK_DOWN);
  press(VK_RETURN);
  EXPECT_TRUE(becomes([&] { return only(clipboard_now(), {html, CF_UNICODETEXT, rtf}); }, original));
  // Its text alone: no formatting goes with it, and that copy is an entry of its own.
  press(VK_DOWN);
  press(VK_RETURN, false, true);
  EXPECT_TRUE(becomes([&] { return only(clipboard_now(), {html, CF_UNICODETEXT, rtf}); },
                      std::vector<std::pair<UINT, std::string>>{{CF_UNICODETEXT, utf16z(L"Bold text")}}));
  EXPECT_TRUE(items_become(window, Items{"Bold text", "other", "Bold text"}));
  EXPECT_EQ(run->close(), 0u);

  // Kept in the file: after a restart the formatted entry still comes back whole.
  run = start();
  window = open_window(*run);
  ASSERT_TRUE(in_front(window));
  ASSERT_TRUE(items_become(window, Items{"Bold text", "other", "Bold text"}));
  press(VK_DOWN);
  press(VK_DOWN);
  press(VK_RETURN);
  EXPECT_TRUE(becomes([&] { return only(clipboard_now(), {html, CF_UNICODETEXT, rtf}); }, original));
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(History, AListOfFilesComesBackWithoutTheFilesThatAreGone) {
  const std::string folder = temp_dir() + "kestrin files";
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::vector<std::string> names = {folder + "\\first.txt", folder + "\\second.txt", folder + "\\third.txt"};
  for (const std::string& name : names) write_file(name, "x");
  auto run = start(kOn);
  ASSERT_TRUE(run);
  const UINT effect = registered_format("Preferred DropEffect");
  HWND window = open_window(*run);
  const std::string shown = "3 files: first.txt, second.txt, third.txt (" + folder + ")";
  ASSERT_TRUE(set_clipboard_formats({{CF_HDROP, drop_files(names)}, {effect, std::string("\x01\0\0\0", 4)}}));
  ASSERT_TRUE(items_become(window, Items{shown}));
  copy("other");
  run->post(WM_COMMAND, IDM_HISTORY);
  ASSERT_TRUE(in_front(window));
  ASSERT_TRUE(items_become(window, Items{"other", shown}));
  type(L"SECOND.t");  // the names are searched
  EXPECT_TRUE(items_become(window, Items{shown}));
  press(VK_RETURN);
  auto files_now = [] {
    const auto found = only(clipboard_now(), {CF_HDROP});
    return found.empty() ? std::vector<std::string>() : drop_names(found[0].second);
  };
  EXPECT_TRUE(becomes(files_now, names));
  remove_file(names[1]);
  copy("again");
  press(VK_RETURN);
  EXPECT_TRUE(becomes(files_now, std::vector<std::string>{names[0], names[2]}));
  EXPECT_EQ(only(clipboard_now(), {effect}).size(), 1u);
  EXPECT_EQ(run->close(), 0u);
  for (const std::string& name : names) remove_file(name);
  RemoveDirectoryA(folder.c_str());
}

// Copies made by a window of the test's own, with that window as their owner.
class OwnedCopier {
 public:
  explicit OwnedCopier(const wchar_t* caption) {
    window_ = CreateWindowExW(0, L"STATIC", caption, WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  }
  ~OwnedCopier() { DestroyWindow(window_); }
  bool copy(const std::wstring& text) const {
    bool open = false;
    for (int attempt = 0; attempt < 50 && !(open = OpenClipboard(window_)); ++attempt) Sleep(20);
    if (!open) return false;
    EmptyClipboard();
    const std::string bytes = utf16z(text.c_str());
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    const bool set = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
    CloseClipboard();
    return set;
  }

 private:
  HWND window_ = nullptr;
};

TEST_F(History, CopiesThatTheIgnoreRulesNameAreNeverKept) {
  write_file(windows_ini_path(),
             "[Options]\r\nHistory=1\r\n[HistoryIgnore]\r\nProgram=KESTRIN_WIN_BLACKBOX.exe\r\nWindow=*Vault*\r\n"
             "Text=??????\r\nNonsense\r\n");
  auto run = Kestrin::start({.expect_window = false});
  HWND box = run->wait_for_dialog_containing("Nonsense: no '='");
  ASSERT_TRUE(box);  // the bad line is named
  press_button(box, IDOK);
  ASSERT_TRUE(run->find_window());
  current_ = run.get();
  {
    // A copy by this program, its window the owner: judged by the program's name.
    OwnedCopier program(L"Notes");
    ASSERT_TRUE(program.copy(L"by this very program"));
    ASSERT_TRUE(handled("by this very program"));
    ASSERT_TRUE(run->sync());  // judged while its owner is there
  }
  copy("123456");  // a one-time code, by a copy without an owner: judged by its text
  copy("1234567");
  copy("upper me");
  // Kestrin's own rewrite is a copy by another program: kept.
  ASSERT_TRUE(run->command(IDM_UPPER_CASE));
  ASSERT_TRUE(becomes(clipboard_text, std::optional<std::string>("UPPER ME")));
  HWND window = open_window(*run);
  EXPECT_TRUE(items_become(window, Items{"UPPER ME", "upper me", "1234567"}));
  // The Options dialog counts the rules in force.
  EXPECT_EQ(options_text(*run, IDC_OPT_IGNORE_RULES), "3 rules");
  EXPECT_EQ(run->close(), 0u);
}

// A program that offers a format it renders only when asked, and then never
// hands it over.
class LateRenderer {
 public:
  explicit LateRenderer(DWORD render_ms)
      : render_ms_(render_ms), late_(registered_format("Kestrin Test Late Format")), thread_([this] {
          WNDCLASSW type{};
          type.lpfnWndProc = proc;
          type.hInstance = GetModuleHandleW(nullptr);
          type.lpszClassName = L"KestrinTestLateRenderer";
          RegisterClassW(&type);
          HWND window = CreateWindowExW(0, type.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        type.hInstance, nullptr);
          SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
          return window;
        }) {}
  // The text now, the late format when asked.
  bool copy(const std::wstring& text) {
    bool done = false;
    SendMessageW(thread_.window(), WM_APP, reinterpret_cast<WPARAM>(&text), reinterpret_cast<LPARAM>(&done));
    return done;
  }
  UINT late_format() const { return late_; }

 private:
  static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<LateRenderer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_APP) {
      const auto& text = *reinterpret_cast<const std::wstring*>(wparam);
      if (OpenClipboard(window)) {
        EmptyClipboard();
        const std::string bytes = utf16z(text.c_str());
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
        GlobalUnlock(block);
        SetClipboardData(CF_UNICODETEXT, block);
        SetClipboardData(self->late_, nullptr);  // rendered when asked
        *reinterpret_cast<bool*>(lparam) = CloseClipboard() != FALSE;
      }
      return 0;
    }
    if (message == WM_RENDERFORMAT) {
      Sleep(self->render_ms_);  // and then nothing
      return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }
  DWORD render_ms_;
  UINT late_;
  WindowThread thread_;  // last: it goes first, before what its window uses
};

TEST_F(History, AFormatThatNeverArrivesLeavesTheWindowAnswering) {
  auto run = start(kOn);
  ASSERT_TRUE(run);
  LateRenderer renderer(6000);
  ASSERT_TRUE(renderer.copy(L"rendered late"));
  ASSERT_TRUE(handled("rendered late"));
  // While the reader waits on the program, the window answers, and the entry
  // is made without the late format.
  for (int i = 0; i < 10; ++i) {
    EXPECT_TRUE(run->send(WM_NULL, 0, 0, 2000).has_value()) << i;
    Sleep(100);
  }
  HWND window = open_window(*run);
  EXPECT_TRUE(items_become(window, Items{"rendered late"}));
  EXPECT_EQ(run->close(), 0u);
  const HistoryLoad load = test::read_history_file(read_file(history_path()).value_or(""));
  ASSERT_EQ(load.records.size(), 1u);
  bool said_late = false;
  for (const KeptFormat& f : load.records[0].entry.formats) {
    said_late = said_late || (f.name == "Kestrin Test Late Format" && f.role == FormatRole::Late);
  }
  EXPECT_TRUE(said_late);
}

TEST_F(History, AFileOfTheFormerFormatLoadsWithEveryEntry) {
  kestrin::History model;
  std::vector<HistoryRecord> log;
  auto add = [&](EntryKind kind, std::string bytes, uint64_t size) {
    for (HistoryRecord& r : model.add(kind, share_bytes(std::move(bytes)), size, 1700000000)) log.push_back(r);
  };
  add(EntryKind::AnsiText, "ansi entry", 10);
  add(EntryKind::UnicodeText, "\xD0\x96\xD0\xB8\xD0\xB7\xD0\xBD\xD1\x8C entry", 11);
  add(EntryKind::Bitmap, make_dib(4, 3, 0xFF00FF00), 0);
  log.push_back(model.set_pinned(1, true).at(0));
  write_file(history_path(), encode_history(log, {}, 2));
  auto run = start(kOn);
  ASSERT_TRUE(run);
  HWND window = open_window(*run);
  EXPECT_TRUE(items_become(window, Items{"ansi entry", "Bitmap 4x3", "Жизнь entry"}));
  EXPECT_EQ(run->close(), 0u);
  // Written anew in the format of today, sealed, with every entry.
  const std::string file = read_file(history_path()).value_or("");
  EXPECT_EQ(file.find("ansi entry"), std::string::npos);
  const HistoryLoad load = test::read_history_file(file);
  EXPECT_EQ(load.version, kSealedVersion);
  kestrin::History back;
  back.replay(load.records);
  EXPECT_EQ(back.entries().size(), 3u);
}

// A history sealed for another user (or on another machine: a key this user's
// system does not unwrap) is said, kept byte for byte under another name, and
// a new history starts.
TEST_F(History, AHistoryOfAnotherUserIsKeptAsideAndANewOneStarts) {
  kestrin::History made;
  std::string file = test::sealed_history_file(made.add(EntryKind::AnsiText, share_bytes("theirs"), 6, 1));
  const auto header = read_sealed_header(file);
  ASSERT_TRUE(header);
  file[header->second - 20] ^= 0x5A;  // in the wrapped key
  write_file(history_path(), file);
  write_file(windows_ini_path(), kOn);
  auto run = Kestrin::start({.expect_window = false});
  HWND box = run->wait_for_dialog_containing("This history was encrypted for another user");
  ASSERT_TRUE(box);
  press_button(box, IDOK);
  ASSERT_TRUE(run->find_window());
  current_ = run.get();
  copy("mine");
  HWND window = open_window(*run);
  EXPECT_TRUE(items_become(window, Items{"mine"}));
  EXPECT_EQ(run->close(), 0u);
  EXPECT_EQ(file_entries(), (std::vector<std::string>{"mine"}));
  const std::string folder = history_path().substr(0, history_path().rfind('\\'));
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA((folder + "\\History (another user, *).dat").c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  FindClose(search);
  EXPECT_EQ(read_file(folder + "\\" + found.cFileName), std::optional<std::string>(file));
}


// PastePlainText: what the clipboard holds becomes its text alone, pasted into
// the window in front; with the history off too.
TEST_F(History, PastePlainTextPastesTheTextAloneIntoTheWindowInFront) {
  write_file(windows_ini_path(), "[Hotkeys]\r\nCtrl+Shift+F11=PastePlainText\r\n");
  auto run = Kestrin::start();
  ASSERT_TRUE(run);
  current_ = run.get();
  const UINT html = registered_format("HTML Format");
  ASSERT_TRUE(set_clipboard_formats({{CF_UNICODETEXT, utf16z(L"Жирный текст")}, {html, "<b>Жирный</b> текст"}}));
  PasteTarget target;
  SetForegroundWindow(target.window());
  ASSERT_TRUE(in_front(target.window()));
  press(VK_F11, true, true);
  auto pasted = [&] {
    wchar_t text[256] = {};
    GetWindowTextW(target.window(), text, 256);
    return std::wstring(text);
  };
  EXPECT_TRUE(becomes(pasted, std::wstring(L"Жирный текст")));
  EXPECT_EQ(only(clipboard_now(), {html, CF_UNICODETEXT}),
            (std::vector<std::pair<UINT, std::string>>{{CF_UNICODETEXT, utf16z(L"Жирный текст")}}));
  EXPECT_EQ(run->close(), 0u);
}


// Thirty formats of a megabyte each, as a spreadsheet's range offers them:
// kept whole, the window answering throughout.
TEST_F(History, ACopyOfThirtyLargeFormatsIsKeptWhole) {
  auto run = start("[Options]\r\nHistory=1\r\nHistoryMaxItemMiB=64\r\n");
  ASSERT_TRUE(run);
  std::vector<std::pair<UINT, std::string>> thirty = {{CF_UNICODETEXT, utf16z(L"cells")}};
  for (int i = 0; i < 30; ++i) {
    thirty.emplace_back(registered_format(("Kestrin Test Cells " + std::to_string(i)).c_str()),
                        std::string(std::size_t{1} << 20, static_cast<char>('a' + i % 26)));
  }
  HWND window = open_window(*run);
  ASSERT_TRUE(set_clipboard_formats(thirty));
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(run->send(WM_NULL, 0, 0, 2000).has_value()) << i;
  ASSERT_TRUE(items_become(window, Items{"cells"}));
  copy("next");
  run->post(WM_COMMAND, IDM_HISTORY);
  ASSERT_TRUE(in_front(window));
  ASSERT_TRUE(items_become(window, Items{"next", "cells"}));
  press(VK_DOWN);
  press(VK_RETURN);
  std::vector<UINT> numbers;
  for (const auto& f : thirty) numbers.push_back(f.first);
  EXPECT_TRUE(becomes([&] { return only(clipboard_now(), numbers); }, thirty));
  EXPECT_EQ(run->close(), 0u);
}

}  // namespace
}  // namespace kestrin::test

// -- Machines sharing one folder (share_peer_test.sh runs each in a Wine prefix
// of its own, at the same time, with the folder and a place for signals) -------

namespace kestrin::test {
namespace {

const char* share_env(const char* name) { return std::getenv(name); }

std::string signal_path(const char* name) { return std::string(share_env("KESTRIN_SHARE_SIGNALS")) + "\\" + name; }
void give_signal(const char* name) { write_file(signal_path(name), "1"); }
bool signal_given(const char* name, DWORD timeout_ms = 90000) {
  return wait_until([&] { return read_file(signal_path(name)).has_value(); }, timeout_ms);
}

// The program joins the folder through "Share History..." with a passphrase;
// the text of the box it answers with (none: it joined).
std::string join_share(const Kestrin& run, const char* passphrase, std::string folder = {},
                       bool to_clipboard = false) {
  if (folder.empty()) folder = share_env("KESTRIN_SHARE_FOLDER");
  run.post(WM_COMMAND, IDM_SHARE_HISTORY);
  HWND dialog = run.wait_for_window("Share History");
  if (!dialog) return "(no dialog)";
  SetDlgItemTextW(dialog, IDC_SHARE_FOLDER, widen(folder).c_str());
  SetDlgItemTextW(dialog, IDC_SHARE_PASSPHRASE, widen(passphrase).c_str());
  CheckDlgButton(dialog, IDC_SHARE_TO_CLIPBOARD, to_clipboard ? BST_CHECKED : BST_UNCHECKED);
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  std::string said;
  wait_until([&] {
    if (!IsWindow(dialog)) return true;
    // The box it answers with is owned by the dialog.
    std::pair<HWND, HWND> search{dialog, nullptr};
    EnumThreadWindows(
        GetWindowThreadProcessId(dialog, nullptr),
        [](HWND w, LPARAM out) {
          auto* s = reinterpret_cast<std::pair<HWND, HWND>*>(out);
          if (IsWindowVisible(w) && GetWindow(w, GW_OWNER) == s->first) s->second = w;
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    HWND box = search.second;
    if (!box) return false;
    for (const std::string& text : child_texts(box)) said += text;
    press_button(box, IDOK);
    return true;
  }, 30000);
  if (IsWindow(dialog)) press_button(dialog, IDCANCEL);
  return said;
}

// How long a change may take to travel (a sync engine takes its time).
DWORD share_patience() {
  const char* set = share_env("KESTRIN_SHARE_PATIENCE_MS");
  return set ? static_cast<DWORD>(std::strtoul(set, nullptr, 10)) : 30000;
}

std::unique_ptr<Kestrin> start_sharing_machine() {
  write_file(windows_ini_path(), "[Options]\r\nHistory=1\r\n");
  return Kestrin::start();
}

HWND history_window_of(const Kestrin& run) {
  run.post(WM_COMMAND, IDM_HISTORY);
  return run.wait_for_window("Kestrin History");
}

// What is in the folder, name and bytes.
std::map<std::string, std::string> folder_contents() {
  std::map<std::string, std::string> contents;
  const std::string folder = share_env("KESTRIN_SHARE_FOLDER");
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return contents;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      contents[found.cFileName] = read_file(folder + "\\" + found.cFileName).value_or("");
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return contents;
}

// Machine A copies; what B removes and pins there comes back to A, and a copy
// made after that reaches B.
TEST(SharePeer, MachineA) {
  if (!share_env("KESTRIN_SHARE_FOLDER")) GTEST_SKIP() << "needs share_peer_test.sh";
  auto run = start_sharing_machine();
  ASSERT_TRUE(run);
  EXPECT_EQ(join_share(*run, "correct horse battery"), "");
  HWND window = history_window_of(*run);
  ASSERT_TRUE(window);
  ASSERT_TRUE(set_clipboard_text("from A one"));
  ASSERT_TRUE(items_become(window, Items{"from A one"}));
  ASSERT_TRUE(set_clipboard_text("from A two"));
  ASSERT_TRUE(items_become(window, Items{"from A two", "from A one"}));
  // A password manager's copy: neither kept nor sent.
  ASSERT_TRUE(set_clipboard_formats({{CF_TEXT, std::string("private on A\0", 13)},
                                     {registered_format("ExcludeClipboardContentFromMonitorProcessing"), "x"}}));
  ASSERT_TRUE(becomes(clipboard_text, std::optional<std::string>("private on A")));
  ASSERT_TRUE(set_clipboard_text("from A three"));
  ASSERT_TRUE(items_become(window, Items{"from A three", "from A two", "from A one"}));
  give_signal("a-copied");
  ASSERT_TRUE(signal_given("b-changed", 2 * share_patience()));
  EXPECT_TRUE(becomes([&] { return list_items(window); }, Items{"from A two", "from A three"}, share_patience()));
  ASSERT_TRUE(set_clipboard_text("from A after"));
  EXPECT_TRUE(items_become(window, Items{"from A two", "from A after", "from A three"}));
  ASSERT_TRUE(signal_given("b-done", 2 * share_patience()));
  EXPECT_EQ(run->close(), 0u);
}

TEST(SharePeer, MachineB) {
  if (!share_env("KESTRIN_SHARE_FOLDER")) GTEST_SKIP() << "needs share_peer_test.sh";
  // With a sync engine between the folders, the share A made is awaited.
  if (share_env("KESTRIN_SHARE_AWAIT")) {
    ASSERT_TRUE(wait_until([] { return read_file(std::string(share_env("KESTRIN_SHARE_FOLDER")) + "\\share.kestrin").has_value(); },
                           share_patience()));
  }
  auto run = start_sharing_machine();
  ASSERT_TRUE(run);
  // B asks for the copies that arrive on its clipboard too.
  EXPECT_EQ(join_share(*run, "correct horse battery", {}, true), "");
  ASSERT_TRUE(signal_given("a-copied", 2 * share_patience()));
  HWND window = history_window_of(*run);
  ASSERT_TRUE(window);
  const ULONGLONG asked = GetTickCount64();
  ASSERT_TRUE(becomes([&] { return list_items(window); }, Items{"from A three", "from A two", "from A one"},
                      share_patience()));
  std::printf("B held A's copies %llu ms after A made them\n", GetTickCount64() - asked);
  // The folder carries none of it in plain bytes, and nothing of the private copy.
  for (const auto& [name, bytes] : folder_contents()) {
    for (const char* text : {"from A", "private on A"}) EXPECT_EQ(bytes.find(text), std::string::npos) << name;
    EXPECT_EQ(name.find("Kestrin"), std::string::npos) << name;
  }
  // Removes "from A one" (the last), pins "from A two" (the middle).
  ASSERT_TRUE(in_front(window));
  press(VK_DOWN);
  press(VK_DOWN);
  press(VK_DOWN);
  press(VK_DELETE);
  ASSERT_TRUE(items_become(window, Items{"from A three", "from A two"}));
  press(VK_UP);
  press(VK_UP);
  press(VK_DOWN);
  press('P', false, true);
  ASSERT_TRUE(items_become(window, Items{"from A two", "from A three"}));
  give_signal("b-changed");
  EXPECT_TRUE(becomes([&] { return list_items(window); }, Items{"from A two", "from A after", "from A three"},
                      share_patience()));
  EXPECT_TRUE(becomes(clipboard_text, std::optional<std::string>("from A after")));
  give_signal("b-done");
  EXPECT_EQ(run->close(), 0u);
}

// A third machine with a wrong passphrase: said at once, nothing written.
TEST(SharePeer, MachineWithAWrongPassphrase) {
  if (!share_env("KESTRIN_SHARE_FOLDER")) GTEST_SKIP() << "needs share_peer_test.sh";
  const auto before = folder_contents();
  ASSERT_TRUE(before.count("share.kestrin"));
  auto run = start_sharing_machine();
  ASSERT_TRUE(run);
  EXPECT_NE(join_share(*run, "wrong horse").find("The passphrase does not open the history shared in"),
            std::string::npos);
  EXPECT_EQ(run->close(), 0u);
  EXPECT_EQ(folder_contents(), before);
}

// Another machine's log beside damaged and hostile files in the folder: the
// copy in the log arrives, the file that is not a log is named once, and the
// program goes on.
TEST_F(History, AHostileFileInTheSharedFolderIsNamedOnceAndHarmsNothing) {
  const std::string folder = "C:\\shared history";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  auto run = start(kOn);
  ASSERT_TRUE(run);
  ASSERT_EQ(join_share(*run, "a passphrase", folder), "");

  // The other machine's log, sealed as the program seals it, under the key
  // the passphrase gives with the folder's salt.
  const std::optional<ShareFile> share = read_share_file(read_file(folder + "\\share.kestrin").value_or(""));
  ASSERT_TRUE(share);
  const std::optional<SecretKey> key = passphrase_key(
      "a passphrase", std::string_view(reinterpret_cast<const char*>(share->salt.data()), share->salt.size()),
      share->rounds);
  ASSERT_TRUE(key);
  SealedHeader header;
  header.file_id.fill(0x42);
  const std::optional<SecretKey> log_key =
      derived_key(*key, "Kestrin log " + std::string(header.file_id.begin(), header.file_id.end()));
  ASSERT_TRUE(log_key);
  const CngAead aead(*log_key);
  std::string log = sealed_file_header(header, kLogMagic);
  log += seal_payload(aead, header, log.size(), name_payload("Другой ПК"));
  HistoryRecord add;
  add.entry.id = 7;
  add.entry.data = share_bytes("from the other PC");
  add.entry.size = 17;
  add.entry.time = 1700000000;
  log += seal_payload(aead, header, log.size(), change_payload({header.file_id, add}));
  // Not a log at all; a log whose first record claims far more than follows.
  std::string junk(300, '\0');
  for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>(i * 37 + 11);
  std::string hostile = sealed_file_header(header, kLogMagic) + "\xFE\xFFKr\xF0\xFF\xFF\xFF\x01\0\0\0" + junk;
  write_file(folder + "\\junk.klog", junk);
  write_file(folder + "\\hostile.klog", hostile);
  write_file(folder + "\\" + log_id_hex(header.file_id) + ".klog", log);

  HWND box = run->wait_for_dialog_containing("junk.klog", 20000);
  ASSERT_TRUE(box);
  press_button(box, IDOK);
  HWND window = open_window(*run);
  EXPECT_TRUE(items_become(window, Items{"from the other PC"}));
  // Looked at again every few seconds, it is not named again.
  EXPECT_EQ(run->wait_for_dialog_containing("junk.klog", 7000), nullptr);
  EXPECT_EQ(run->close(), 0u);
}

}  // namespace
}  // namespace kestrin::test
