// Files dropped on the real main window in every mode, and shelling the
// clipboard, observed through a file type whose open action this test
// registers to a recorder (cmd's echo into a log).
#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstring>
#include <thread>

#include "files/files_win.h"
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

}  // namespace
}  // namespace kestrin
