#include "command_line.h"

#include <gtest/gtest.h>

namespace kestrin {
namespace {

using Kind = CommandLine::Kind;

TEST(CommandLine, EmptyIsANormalStart) {
  EXPECT_EQ(parse_command_line("").kind, Kind::None);
}

TEST(CommandLine, CopyToInAnyLetterCase) {
  for (const char* raw : {"copyto=C:\\a b.txt", "COPYTO=C:\\a b.txt", "CopyTo=C:\\a b.txt"}) {
    CommandLine parsed = parse_command_line(raw);
    EXPECT_EQ(parsed.kind, Kind::CopyTo) << raw;
    EXPECT_EQ(parsed.file_name, "C:\\a b.txt") << raw;
  }
}

TEST(CommandLine, QuotedFormDropsTheLastCharacterWhateverItIs) {
  CommandLine quoted = parse_command_line("\"copyto=C:\\my file.txt\"");
  EXPECT_EQ(quoted.kind, Kind::CopyTo);
  EXPECT_EQ(quoted.file_name, "C:\\my file.txt");

  CommandLine unclosed = parse_command_line("\"CopyTo=C:\\my file.txt");
  EXPECT_EQ(unclosed.kind, Kind::CopyTo);
  EXPECT_EQ(unclosed.file_name, "C:\\my file.tx");

  CommandLine bare = parse_command_line("\"copyto=");
  EXPECT_EQ(bare.kind, Kind::CopyTo);
  EXPECT_EQ(bare.file_name, "");
}

TEST(CommandLine, EmptyFileNameIsStillACopy) {
  CommandLine parsed = parse_command_line("copyto=");
  EXPECT_EQ(parsed.kind, Kind::CopyTo);
  EXPECT_EQ(parsed.file_name, "");
}

TEST(CommandLine, AnythingElseIsRefused) {
  for (const char* raw : {"C:\\file.txt", " copyto=x", "copyto", "copy to=x", "\"\"", "-h",
                          "\"copyt=x\""}) {
    EXPECT_EQ(parse_command_line(raw).kind, Kind::Refused) << raw;
  }
}

}  // namespace
}  // namespace kestrin
