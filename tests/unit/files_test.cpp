// The file commands' and the shell's rules on plain data.
#include <gtest/gtest.h>

#include <set>

#include "files/files.h"
#include "files/shell.h"

namespace kestrin {
namespace {

TEST(Files, AutomaticNamesNeverReplaceAnEarlierSave) {
  EXPECT_EQ(automatic_name({2026, 12, 7, 9, 5, 3}), "20261207090503");
  std::set<std::string> taken = {"20261207090503.txt", "20261207090503-2.txt"};
  auto exists = [&](const std::string& n) { return taken.count(n) != 0; };
  EXPECT_EQ(unused_name("20261207090503", ".bmp", exists), "20261207090503.bmp");
  EXPECT_EQ(unused_name("20261207090503", ".txt", exists), "20261207090503-3.txt");
}

std::vector<uint8_t> dib(uint32_t header, uint16_t bits, uint32_t compression, uint32_t used,
                         std::size_t extra) {
  std::vector<uint8_t> d(header, 0);
  d[0] = static_cast<uint8_t>(header);
  d[4] = 2;  // 2 x 2
  d[8] = 2;
  d[12] = 1;
  d[14] = static_cast<uint8_t>(bits);
  d[16] = static_cast<uint8_t>(compression);
  d[32] = static_cast<uint8_t>(used);
  d[33] = static_cast<uint8_t>(used >> 8);
  d.resize(d.size() + extra, 0);
  return d;
}

uint32_t offset_of(const std::array<uint8_t, 14>& h) {
  return h[10] | h[11] << 8 | h[12] << 16 | static_cast<uint32_t>(h[13]) << 24;
}

// The pixel offset follows the DIB: every saved bitmap opens in a viewer.
TEST(Files, BmpHeaderPointsAtThePixels) {
  const auto plain = bmp_file_header(dib(40, 24, 0, 0, 16));
  EXPECT_EQ(plain[0], 'B');
  EXPECT_EQ(plain[1], 'M');
  EXPECT_EQ(plain[2], 56 + 14);  // file size
  EXPECT_EQ(offset_of(plain), 54u);
  EXPECT_EQ(offset_of(bmp_file_header(dib(40, 8, 0, 0, 1024 + 8))), 54u + 1024);
  EXPECT_EQ(offset_of(bmp_file_header(dib(40, 8, 0, 3, 12 + 8))), 54u + 12);
  EXPECT_EQ(offset_of(bmp_file_header(dib(40, 16, 3, 0, 12 + 8))), 54u + 12);  // masks
  EXPECT_EQ(offset_of(bmp_file_header(dib(124, 32, 3, 0, 16))), 14u + 124);  // masks inside
  EXPECT_EQ(offset_of(bmp_file_header({})), 54u);
}

TEST(Files, DroppedNamesFromTheLastToTheFirst) {
  EXPECT_EQ(dropped_names_text({"C:\\a.txt", "C:\\b.txt", "C:\\c.txt"}),
            "C:\\c.txt\r\nC:\\b.txt\r\nC:\\a.txt\r\n");
  EXPECT_EQ(dropped_names_text({}), "");
}

TEST(Shell, ItemsQualifyingRemappingAndTheCap) {
  using Items = std::vector<std::string>;
  EXPECT_EQ(shell_items("C:\\a.txt\r\nC:\\b.txt\r\nC:\\c.txt", {}),
            (Items{"C:\\a.txt", "C:\\b.txt", "C:\\c.txt"}));
  const std::string five = "C:\\1\nC:\\2\nC:\\3\nC:\\4\nC:\\5";
  EXPECT_EQ(shell_items(five, {.sanity = 2, .from_drives = "", .to_drive = ""}), (Items{"C:\\1", "C:\\2"}));
  EXPECT_TRUE(shell_items(five, {.sanity = 0, .from_drives = "", .to_drive = ""}).empty());
  EXPECT_EQ(shell_items(five, {.sanity = -1, .from_drives = "", .to_drive = ""}).size(), 5u);
  EXPECT_EQ(shell_items("C:\n\x0Cno colon\\here\rsee 10:30 and/or later", {}),
            (Items{"see 10:30 and/or later"}));
  const ShellRules map{.sanity = 9, .from_drives = "cd", .to_drive = "x"};
  EXPECT_EQ(shell_items("C:\\docs\\a.txt\nd:\\b.txt\nhttp://host/p\ne:\\c", map),
            (Items{"x:\\docs\\a.txt", "x:\\b.txt", "http://host/p", "e:\\c"}));
  EXPECT_EQ(shell_items("C:\\docs\\a.txt", {.sanity = 9, .from_drives = "CD", .to_drive = "x"}),
            (Items{"C:\\docs\\a.txt"}));
}

TEST(Shell, ProgramsAreToldFromDocuments) {
  const char* ext = ".COM;.EXE;.BAT;.CMD";
  for (const char* item : {"C:\\x\\setup.exe", "C:\\x\\RUN.Bat", "C:\\x\\evil.exe. ",
                           "C:\\x\\link.lnk", "http://host/get.js", "C:\\x\\a.PS1"}) {
    EXPECT_TRUE(runs_as_program(item, ext)) << item;
  }
  for (const char* item : {"C:\\x\\notes.txt", "C:\\dir.exe\\file", "http://host/page",
                           "C:\\x\\noext", "C:\\x\\a.exe.txt"}) {
    EXPECT_FALSE(runs_as_program(item, ext)) << item;
  }
}

// The automatic run judges what the shell would open, not the text: quotes,
// file: URLs with escapes, a name the shell completes from PATHEXT.
TEST(Shell, AutomaticRunSeesWhatTheShellWouldOpen) {
  const std::set<std::string> disk = {"c:\\tools\\mkexe.exe", "c:\\tools\\mkq.bat",
                                      "c:\\tools\\mkpct.bat", "c:\\docs\\notes.txt",
                                      "c:\\docs\\plain", "\\\\srv\\share\\go.cmd",
                                      "c:\\tools\\ln.lnk"};
  auto exists = [&](std::string p) {  // names compare in any case, as on Windows
    for (char& c : p) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return disk.count(p) != 0;
  };
  const char* ext = ".COM;.EXE;.BAT;.CMD";
  for (const char* item :
       {"C:\\tools\\mkexe", "\"C:\\tools\\mkq.bat\"", "file:///C:/tools/mkpct%2Ebat",
        "FILE:///c|/tools/mkq.bat", "file://localhost/C:/tools/mkexe", "file://srv/share/go",
        "  C:\\tools\\mkexe. . ", "C:\\tools\\mkq.bat:stream", "C:\\tools\\ln",
        "\"C:\\tools\\mkexe\"", "http://host/get.js"}) {
    EXPECT_TRUE(automatic_run_skips(item, ext, exists)) << item;
  }
  for (const char* item : {"C:\\docs\\notes.txt", "\"C:\\docs\\notes.txt\"",
                           "file:///C:/docs/notes%2Etxt", "C:\\docs\\plain", "C:\\docs\\missing",
                           "http://host/page", "mailto:someone@example.org"}) {
    EXPECT_FALSE(automatic_run_skips(item, ext, exists)) << item;
  }
  EXPECT_EQ(shell_target("file:///C:/a%20b/c%25.txt"), "C:\\a b\\c%.txt");
  EXPECT_EQ(shell_target("file://srv/share/x"), "\\\\srv\\share\\x");
  EXPECT_EQ(shell_target("https://host/x"), std::nullopt);
}

}  // namespace
}  // namespace kestrin
