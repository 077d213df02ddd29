// Files dropped on the real main window in every mode, and shelling the
// clipboard, observed through a file type whose open action this test
// registers to a recorder (cmd's echo into a log).
#include <gtest/gtest.h>

#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include "files/files_win.h"
#include "slots/slots.h"
#include "wide_win.h"
#include "res/resource.h"
#include "window_fixture.h"

namespace kestrin {
namespace {

using Files = WindowFixture;

// A drop handle as the shell makes one: DROPFILES, then the names.
HDROP make_drop(const std::vector<std::string>& paths) {
  std::string names;
  for (const std::string& p : paths) names += p + '\0';
  names += '\0';
  HGLOBAL block = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size());
  auto* header = static_cast<DROPFILES*>(GlobalLock(block));
  header->pFiles = sizeof(DROPFILES);
  std::memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), names.data(), names.size());
  GlobalUnlock(block);
  return static_cast<HDROP>(block);
}

// The same with wide names, as Explorer drops them.
HDROP make_wide_drop(const std::vector<std::wstring>& paths) {
  std::wstring names;
  for (const std::wstring& p : paths) names += p + L'\0';
  names += L'\0';
  const std::size_t bytes = names.size() * sizeof(wchar_t);
  HGLOBAL block = GlobalAlloc(GHND, sizeof(DROPFILES) + bytes);
  auto* header = static_cast<DROPFILES*>(GlobalLock(block));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  std::memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), names.data(), bytes);
  GlobalUnlock(block);
  return static_cast<HDROP>(block);
}


// Answers every box of the program until `stop`, noting each caption and text.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(std::function<void(const std::string&)> on_box = nullptr)
      : thread_([this, on_box] {
          while (!stop_) {
            EnumThreadWindows(main_thread_, collect, reinterpret_cast<LPARAM>(this));
            for (HWND box : found_) {
              const std::string text = box_text(box);
              seen_.push_back(text);
              if (on_box) on_box(text);
              PostMessageA(box, WM_COMMAND, IDOK, 0);
              for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(10);
            }
            found_.clear();
            Sleep(20);
          }
        }) {}
  ~BoxAnswerer() { finish(); }
  // The boxes seen, as "caption|text".
  std::vector<std::string> finish() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return seen_;
  }

 private:
  static BOOL CALLBACK collect(HWND window, LPARAM self) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::string(name) == "#32770" && IsWindowVisible(window)) {
      reinterpret_cast<BoxAnswerer*>(self)->found_.push_back(window);
    }
    return TRUE;
  }
  static std::string box_text(HWND box) {
    char caption[256] = {};
    GetWindowTextA(box, caption, sizeof caption);
    std::string text = caption;
    text += '|';
    HWND child = nullptr;
    while ((child = FindWindowExA(box, child, "Static", nullptr)) != nullptr) {
      char line[1024] = {};
      GetWindowTextA(child, line, sizeof line);
      text += line;
    }
    return text;
  }

  DWORD main_thread_ = GetCurrentThreadId();
  std::atomic<bool> stop_{false};
  std::vector<HWND> found_;
  std::vector<std::string> seen_;
  std::thread thread_;
};

// Presses OK on the box with this caption once it shows (the drop waits in it).
std::thread answer_box(const char* caption, int* seen) {
  return std::thread([caption, seen] {
    for (int i = 0; i < 200; ++i) {
      if (HWND box = FindWindowA(nullptr, caption)) {
        ++*seen;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        Sleep(200);
      } else if (*seen > 0) {
        return;
      }
      Sleep(25);
    }
  });
}

// Opening a file of this extension writes "<file>.opened" beside it.
void register_recorder(const std::string& extension) {
  const std::string type = "KestrinTest" + extension.substr(1);
  RegSetValueA(HKEY_CLASSES_ROOT, extension.c_str(), REG_SZ, type.c_str(), 0);
  const std::string command = "cmd.exe /c echo %1>\"%1.opened\"";
  RegSetValueA(HKEY_CLASSES_ROOT, (type + "\\shell\\open\\command").c_str(), REG_SZ,
               command.c_str(), 0);
}

bool opened(const std::string& file) { return test::read_file(file + ".opened").has_value(); }

TEST_F(Files, DropsInEveryMode) {
  HWND window = create("[Options]\r\nStatusWindow=1\r\n");
  const std::string dir = test::temp_dir();
  const std::string a = dir + "\\a.txt", b = dir + "\\b.txt", c = dir + "\\c.txt";
  test::write_file(a, "first file");
  test::write_file(b, "second file");
  test::write_file(c, "third file");
  auto drop = [&](int mode, const std::vector<std::string>& paths) {
    app_.settings.DroppedFileOperation = mode;
    SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(make_drop(paths)), 0);
    pump();
  };

  ASSERT_TRUE(test::set_clipboard_text("kept"));
  drop(kDropIgnores, {a, b, c});
  EXPECT_EQ(test::clipboard_text(), "kept");
  char progress[512] = {};
  SendMessageA(app_.frame.status_bar, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(progress));
  EXPECT_EQ(std::string(progress), "Processing file 3 of 3; " + a + ".");  // index 0 comes last
  ASSERT_EQ(app_.files.drop.size(), 3u);
  EXPECT_EQ(app_.files.drop[1].path.substr(app_.files.drop[1].base_name), "b.txt");
  EXPECT_NE(app_.files.drop[2].last_write.dwLowDateTime | app_.files.drop[2].last_write.dwHighDateTime, 0u);

  drop(kDropFileNames, {a, b, c});
  EXPECT_EQ(test::clipboard_text(), c + "\r\n" + b + "\r\n" + a + "\r\n");

  drop(kDropReads, {a, b});
  EXPECT_EQ(test::clipboard_text(), "first file");  // the first dropped is read last

  ASSERT_TRUE(test::set_clipboard_text("written"));
  pump();
  test::write_file(b, "a longer earlier content");
  drop(kDropWrites, {b, c});
  EXPECT_EQ(test::read_file(b), "written");  // nothing of the longer file stays
  EXPECT_EQ(test::read_file(c), "written");
  EXPECT_EQ(title(), b);

  // Palm DOC: a text becomes a database and back; a file that is no database
  // gets the conversion box and leaves nothing behind.
  const std::string readme = dir + "\\readme";
  test::write_file(readme, "not a database");
  int boxes = 0;
  std::thread answer = answer_box("Error during conversion; conversion failed!", &boxes);
  drop(kDropPalmDoc, {a, readme});
  answer.join();
  EXPECT_EQ(boxes > 0, true);
  ASSERT_TRUE(test::read_file(dir + "\\a_txt.pdb").has_value());
  test::remove_file(a);
  drop(kDropPalmDoc, {dir + "\\a_txt.pdb"});
  EXPECT_EQ(test::read_file(a), "first file");
}

// Dropped names reach the system only as UTF-16: a full-width backslash
// stays a character of the name (the ANSI function's best fit once made it a
// separator that wrote outside the folder).
TEST_F(Files, DroppedNameNeverWritesOutsideItsFolder) {
  HWND window = create();
  const std::string dir = test::temp_dir();
  CreateDirectoryA((dir + "\\a").c_str(), nullptr);
  CreateDirectoryA((dir + "\\a\\b").c_str(), nullptr);
  const std::wstring hostile = widen(dir) + L"\\a\\b\\..\xFF3C..\xFF3Cvictim.txt";
  ASSERT_TRUE(test::set_clipboard_text("written"));
  pump();
  for (int mode : {kDropWrites, kDropPalmDoc}) {
    app_.settings.DroppedFileOperation = mode;
    BoxAnswerer boxes;
    SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(make_wide_drop({hostile})), 0);
    EXPECT_TRUE(boxes.finish().empty()) << mode;
    EXPECT_FALSE(test::read_file(dir + "\\victim.txt").has_value()) << mode;
    EXPECT_FALSE(test::read_file(dir + "\\victim_txt.pdb").has_value()) << mode;
    EXPECT_FALSE(test::read_file(dir + "\\a\\victim.txt").has_value()) << mode;
  }
  UniqueHandle file(CreateFileW(hostile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  char bytes[16] = {};
  DWORD read = 0;
  ASSERT_TRUE(file);
  ReadFile(file.get(), bytes, sizeof bytes, &read, nullptr);
  EXPECT_EQ(std::string(bytes, read), "written");  // under its own name, in its folder
}

// Writing the clipboard to a dropped file touches it only when there is
// something to write; the failure gets its box.
TEST_F(Files, WriteDropNeverEmptiesAFileForNothing) {
  HWND window = create();
  const std::string file = test::temp_dir() + "\\precious.txt";
  test::write_file(file, "precious content");
  app_.settings.DroppedFileOperation = kDropWrites;
  auto drop = [&] {
    BoxAnswerer boxes;
    SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(make_drop({file})), 0);
    return boxes.finish();
  };
  ASSERT_TRUE(test::empty_clipboard());
  pump();
  std::vector<std::string> seen = drop();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_NE(seen[0].find("neither text nor a bitmap"), std::string::npos) << seen[0];
  EXPECT_EQ(test::read_file(file), "precious content");

  ASSERT_TRUE(test::set_clipboard_text("new"));
  pump();
  std::atomic<bool> holding{false}, release{false};
  std::thread holder([&] {  // another program keeps the clipboard open
    if (OpenClipboard(nullptr)) {
      holding = true;
      while (!release) Sleep(10);
      CloseClipboard();
    }
  });
  ASSERT_TRUE(test::wait_until([&] { return holding.load(); }));
  seen = drop();
  release = true;
  holder.join();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].rfind("GetLastError()|", 0), 0u) << seen[0];
  EXPECT_EQ(test::read_file(file), "precious content");
}

// A drop that comes while a drop waits in its box is refused: the first one
// goes on with its own names.
TEST_F(Files, DropDuringADropsBoxIsRefused) {
  HWND window = create();
  const std::string dir = test::temp_dir();
  const std::string x1 = dir + "\\missing1", x2 = dir + "\\missing2", y = dir + "\\other";
  app_.settings.DroppedFileOperation = kDropPalmDoc;
  bool second_sent = false;
  BoxAnswerer boxes([&](const std::string&) {
    if (!second_sent) {
      second_sent = true;
      PostMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(make_drop({y})), 0);
      Sleep(200);  // the box's loop takes the posted drop meanwhile
    }
  });
  SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(make_drop({x1, x2})), 0);
  pump();
  std::vector<std::string> conversions;
  for (const std::string& box : boxes.finish()) {
    if (box.rfind("Error during conversion; conversion failed!|", 0) == 0) {
      conversions.push_back(box.substr(box.find('|') + 1));
    }
  }
  EXPECT_EQ(conversions, (std::vector<std::string>{x2, x1}));
}

bool set_unicode(const std::u16string& text) {
  std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  bytes.append(2, '\0');
  return test::set_clipboard_data(CF_UNICODETEXT, bytes);
}

std::u16string unicode_clipboard() {
  std::u16string text;
  if (!OpenClipboard(nullptr)) return text;
  if (HANDLE block = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* data = static_cast<const char16_t*>(GlobalLock(block))) {
      text = data;
      GlobalUnlock(block);
    }
  }
  CloseClipboard();
  return text;
}

// A Unicode text is written as UTF-8 with a byte order mark (a batch file
// without one), and a file read back gives its bytes as CF_TEXT and its text as
// CF_UNICODETEXT.
TEST_F(Files, UnicodeTextIsSavedAsUtf8AndReadBack) {
  HWND window = create();
  const std::string dir = test::temp_dir();
  const std::string text = dir + "\\text.txt", batch = dir + "\\run.bat";
  ASSERT_TRUE(set_unicode(u"grüße 日本語 жизнь 😀"));
  pump();
  app_.settings.DroppedFileOperation = kDropWrites;
  SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(make_drop({text, batch})), 0);
  const std::string utf8 = "gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E "
                           "\xD0\xB6\xD0\xB8\xD0\xB7\xD0\xBD\xD1\x8C \xF0\x9F\x98\x80";
  EXPECT_EQ(test::read_file(text), "\xEF\xBB\xBF" + utf8);
  EXPECT_EQ(test::read_file(batch), utf8);

  ASSERT_TRUE(test::set_clipboard_text("something else"));
  pump();
  app_.settings.DroppedFileOperation = kDropReads;
  SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(make_drop({text})), 0);
  pump();
  EXPECT_EQ(test::clipboard_text(), "\xEF\xBB\xBF" + utf8);  // CF_TEXT: the file's bytes
  EXPECT_EQ(unicode_clipboard(), u"grüße 日本語 жизнь 😀");

  // Names outside the code page are listed as Unicode text.
  const std::wstring named = widen(dir) + L"\\\x65E5\x672C.txt";
  app_.settings.DroppedFileOperation = kDropFileNames;
  SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(make_wide_drop({named})), 0);
  pump();
  const std::u16string expected(named.begin(), named.end());
  EXPECT_EQ(unicode_clipboard(), expected + u"\r\n");
}

TEST_F(Files, ConversionAndLaunchOpensOnlyWhatWasMade) {
  HWND window = create();
  const std::string dir = test::temp_dir();
  register_recorder(".pdb");
  test::write_file(dir + "\\book.txt", "A short book.\r\n");
  app_.settings.DroppedFileOperation = kDropPalmDocLaunch;
  SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(make_drop({dir + "\\book.txt"})), 0);
  EXPECT_TRUE(test::wait_until([&] { return opened(dir + "\\book_txt.pdb"); }));
}

TEST_F(Files, ShellOpensQualifyingLinesAndTheAutomaticRunNoPrograms) {
  const std::string dir = test::temp_dir();
  register_recorder(".ktest");
  register_recorder(".kdoc");
  HWND window = create("[Options]\r\nShellSanityCheck=2\r\n");
  const std::string one = dir + "\\one.ktest", two = dir + "\\two.ktest", three = dir + "\\3.ktest";
  const std::string marker = dir + "\\after.kdoc";
  for (const std::string& file : {one, two, three, marker}) test::write_file(file, "x");
  ASSERT_TRUE(test::set_clipboard_text(one + "\r\nno colon here\r\n" + two + "\r\n" + three));
  pump();
  SendMessageA(window, WM_COMMAND, IDM_SHELL_OPEN, 0);
  EXPECT_TRUE(test::wait_until([&] { return opened(one) && opened(two); }));

  // Shell Automatically: a copy is shelled, but not one Windows would run. The
  // copy after it is shelled in its turn, so once it is open the first one
  // would have been started before it.
  _putenv("PATHEXT=.COM;.EXE;.KTEST");
  SendMessageA(window, WM_COMMAND, IDM_SHELL_AUTOMATICALLY, 0);
  // The shell would run the program named quoted, through an escaped file:
  // URL, or without its extension (found through PATHEXT).
  std::string url = "file:///" + dir + "/3%2Ektest";
  for (char& c : url) c = c == '\\' ? '/' : c;
  for (const std::string& copy : {three, "\"" + three + "\"", dir + "\\3", url, dir + "\\3. . "}) {
    ASSERT_TRUE(test::set_clipboard_text(copy));
    pump();
    test::remove_file(marker + ".opened");
    ASSERT_TRUE(test::set_clipboard_text(marker));
    pump();
    EXPECT_TRUE(test::wait_until([&] { return opened(marker); })) << copy;
    EXPECT_FALSE(opened(three)) << copy;  // also the cap's third line above
  }
  ASSERT_TRUE(test::set_clipboard_text(three));
  pump();
  SendMessageA(window, WM_COMMAND, IDM_SHELL_OPEN, 0);  // by hand it is opened
  EXPECT_TRUE(test::wait_until([&] { return opened(three); }));
  _putenv("PATHEXT=.COM;.EXE;.BAT;.CMD");
}

std::optional<std::u16string> unicode_on_clipboard() {
  if (!OpenClipboard(nullptr)) return std::nullopt;
  std::optional<std::u16string> text;
  if (HANDLE block = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* data = static_cast<const char16_t*>(GlobalLock(block))) {
      text.emplace(data);
      GlobalUnlock(block);
    }
  }
  CloseClipboard();
  return text;
}

// A file whose text is Unicode (a byte order mark, or UTF-8 beyond ASCII) is
// worked on as that text, as a Unicode copy from another program is: the title
// counts its characters, Upper Case keeps them (it changes ASCII letters
// only, as on any text), a slot keeps them as Unicode,
// and Save writes them as UTF-8. Open, copyto= and a reading drop all copy a
// file so; here through the drop.
TEST_F(Files, OpenedUnicodeTextIsWorkedOnAsItsText) {
  HWND window = create();
  app_.settings.DroppedFileOperation = kDropReads;
  const std::string dir = test::temp_dir();
  const std::u16string text = u"u8 plain é中 end";
  const std::string utf8 = "u8 plain \xC3\xA9\xE4\xB8\xAD end";
  std::string le("\xFF\xFE", 2), be("\xFE\xFF", 2);
  for (char16_t c : text) {
    le += static_cast<char>(c & 0xFF), le += static_cast<char>(c >> 8);
    be += static_cast<char>(c >> 8), be += static_cast<char>(c & 0xFF);
  }
  const std::pair<const char*, std::string> files[] = {
      {"utf8.txt", utf8}, {"utf8-bom.txt", "\xEF\xBB\xBF" + utf8}, {"utf16le.txt", le}, {"utf16be.txt", be}};
  unsigned slot = 0;
  for (const auto& [name, bytes] : files) {
    const std::string path = dir + "\\" + name;
    test::write_file(path, bytes);
    SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(make_drop({path})), 0);
    pump();
    EXPECT_NE(title().find(", 15 chars,"), std::string::npos) << name << ": " << title();
    SendMessageA(window, WM_COMMAND, IDM_UPPER_CASE, 0);
    pump();
    EXPECT_EQ(unicode_on_clipboard(), std::optional<std::u16string>(u"U8 PLAIN é中 END")) << name;
    SendMessageA(window, WM_COMMAND, IDM_STORE_FIRST + slot, 0);
    EXPECT_EQ(app_.slots.store[slot].format, kSlotUnicode) << name;
    ++slot;
  }
  app_.files.save_as_count = 1;  // Save without its dialog: a new file named by the time
  SendMessageA(window, WM_COMMAND, IDM_SAVE, 0);
  EXPECT_EQ(test::read_file(app_.files.current_file_name), "\xEF\xBB\xBFU8 PLAIN \xC3\xA9\xE4\xB8\xAD END");
  test::remove_file(app_.files.current_file_name);

  // An empty clipboard saved so makes an empty file: a new name loses nothing.
  ASSERT_TRUE(test::empty_clipboard());
  pump();
  BoxAnswerer boxes;
  SendMessageA(window, WM_COMMAND, IDM_SAVE, 0);
  EXPECT_TRUE(boxes.finish().empty());
  EXPECT_EQ(test::read_file(app_.files.current_file_name), std::optional<std::string>(""));
  test::remove_file(app_.files.current_file_name);
}

}  // namespace
}  // namespace kestrin
