// Open, Save and Save As through the real program's own file dialogs, a bitmap
// saved as a BMP file that Windows loads, and kestrin-pdb as a console program.
#include <gtest/gtest.h>

#include <cstring>

#include "program_test.h"
#include "res/resource.h"

namespace kestrin::test {
namespace {

using FileCommands = ProgramTest;

// The 14-digit names in a folder.
std::vector<std::string> automatic_files(const std::string& dir) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA((dir + "\\??????????????*.*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (std::isdigit(static_cast<unsigned char>(found.cFileName[0]))) names.push_back(found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

std::string current_dir() {
  char dir[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof dir, dir);
  return dir;
}

TEST_F(FileCommands, FirstSaveAsksThenSavesUnderTimeNamesAndOpenReads) {
  const std::string dir = temp_dir();
  const std::string here = current_dir();
  for (const std::string& name : automatic_files(here)) remove_file(here + "\\" + name);
  auto run = start();
  ASSERT_TRUE(run);
  copy("saved by dialog");
  run->post(WM_COMMAND, IDM_SAVE);  // the first Save is a Save As
  HWND dialog = run->wait_for_window("Save As");
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(choose_file(dialog, dir + "\\chosen.txt"));
  EXPECT_TRUE(becomes([&] { return read_file(dir + "\\chosen.txt"); },
                      std::optional<std::string>("saved by dialog")));
  EXPECT_TRUE(becomes([&] { return window_text(run->window()); }, dir + "\\chosen.txt"));

  // Now Save writes at once, under the time; two in one second keep both.
  copy("saved twice");
  ASSERT_TRUE(run->command(IDM_SAVE));
  ASSERT_TRUE(run->command(IDM_SAVE));
  const std::vector<std::string> saved = automatic_files(here);
  EXPECT_GE(saved.size(), 2u);
  for (const std::string& name : saved) {
    EXPECT_EQ(read_file(here + "\\" + name), "saved twice") << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".txt");
    remove_file(here + "\\" + name);
  }

  write_file(dir + "\\to open.txt", "opened\r\ncontent");
  run->post(WM_COMMAND, IDM_OPEN);
  dialog = run->wait_for_window("Open");
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(choose_file(dialog, dir + "\\to open.txt"));
  EXPECT_TRUE(handled("opened\r\ncontent"));
  EXPECT_EQ(run->close(), 0u);
}

TEST_F(FileCommands, BitmapIsSavedAsABmpFileWindowsLoads) {
  const std::string dir = temp_dir();
  auto run = start();
  ASSERT_TRUE(run);
  const std::string dib = make_dib(5, 3, 0x00336699);
  ASSERT_TRUE(set_clipboard_formats({{CF_DIB, dib}}));
  ASSERT_TRUE(run->sync());
  run->post(WM_COMMAND, IDM_SAVE_AS);
  HWND dialog = run->wait_for_window("Save As");
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(choose_file(dialog, dir + "\\picture.bmp"));
  ASSERT_TRUE(wait_until([&] { return read_file(dir + "\\picture.bmp").value_or("").size() > 14; }));
  const std::string bmp = read_file(dir + "\\picture.bmp").value();
  ASSERT_GE(bmp.size(), 14 + dib.size());
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  uint32_t size = 0, offset = 0;
  std::memcpy(&size, bmp.data() + 2, 4);
  std::memcpy(&offset, bmp.data() + 10, 4);
  EXPECT_EQ(size, bmp.size());
  EXPECT_EQ(offset, 54u);
  EXPECT_EQ(bmp.substr(14, dib.size()), dib);
  HANDLE image = LoadImageA(nullptr, (dir + "\\picture.bmp").c_str(), IMAGE_BITMAP, 0, 0,
                            LR_LOADFROMFILE);
  ASSERT_NE(image, nullptr);
  BITMAP info{};
  GetObjectA(image, sizeof info, &info);
  EXPECT_EQ(info.bmWidth, 5);
  EXPECT_EQ(info.bmHeight, 3);
  DeleteObject(image);
  EXPECT_EQ(run->close(), 0u);
}

// kestrin-pdb.exe as another program runs it: its standard output through a
// pipe, its exit status.
TEST(KestrinPdbExe, ConvertsBothWaysAndSaysWhatItWrote) {
  const std::string exe = kestrin_exe();
  const std::string pdb = exe.substr(0, exe.find_last_of('\\') + 1) + "kestrin-pdb.exe";
  const std::string dir = temp_dir();
  write_file(dir + "\\story.txt", "Once upon a time.\r\nThe end.\r\n");
  auto convert = [&](const std::string& arguments, std::string& out) -> DWORD {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return 99;
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info{};
    std::string command = "\"" + pdb + "\" " + arguments;
    const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &info);
    CloseHandle(write_end);
    out.clear();
    char buffer[512];
    DWORD got = 0;
    while (started && ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      out.append(buffer, got);
    }
    CloseHandle(read_end);
    if (!started) return 98;
    WaitForSingleObject(info.hProcess, 30000);
    DWORD status = 97;
    GetExitCodeProcess(info.hProcess, &status);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    return status;
  };
  std::string out;
  EXPECT_EQ(convert("\"" + dir + "\\story.txt\"", out), 0u);
  EXPECT_EQ(out, dir + "\\story_txt.pdb\r\n");
  remove_file(dir + "\\story.txt");
  EXPECT_EQ(convert("\"" + dir + "\\story_txt.pdb\"", out), 0u);
  EXPECT_EQ(out, dir + "\\story.txt\r\n");
  EXPECT_EQ(read_file(dir + "\\story.txt"), "Once upon a time.\r\nThe end.\r\n");
  EXPECT_EQ(convert("\"" + dir + "\\missing.txt\"", out), 1u);
  EXPECT_EQ(convert("", out), 2u);
}

}  // namespace
}  // namespace kestrin::test
