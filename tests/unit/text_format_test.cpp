#include "text_format.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrin {
namespace {

TEST(DebugRecord, HeaderNamesUnitAndSite) {
  EXPECT_EQ(debug_record_header("Quorvane", 3191), "Debug message from Quorvane@3191.");
  EXPECT_EQ(debug_record_header("orsk_lib", 2729), "Debug message from orsk_lib@2729.");
}

TEST(DebugRecord, HeaderIsCutToItsBuffer) {
  std::string header = debug_record_header(std::string(2000, 'u'), 7);
  EXPECT_EQ(header.size(), kDebugHeaderBuffer - 1);
  EXPECT_EQ(header.rfind("Debug message from uuu", 0), 0u);
}

TEST(BoundedFormat, NeverWritesPastTheBuffer) {
  char buffer[16];
  std::fill(std::begin(buffer), std::end(buffer), 'x');
  const std::string long_name(5000, 'n');
  std::size_t n = format_bounded(buffer, 8, "%s.txt", long_name.c_str());
  EXPECT_EQ(n, 7u);
  EXPECT_EQ(std::string(buffer), "nnnnnnn");
  EXPECT_EQ(buffer[8], 'x');  // untouched past the given size

  EXPECT_EQ(format_bounded(buffer, sizeof buffer, "%u files", 3u), 7u);
  EXPECT_EQ(std::string(buffer), "3 files");
}

TEST(BoundedFormat, CopyCutsAndTerminates) {
  char buffer[4];
  EXPECT_EQ(copy_bounded(buffer, sizeof buffer, "abcdef"), 3u);
  EXPECT_EQ(std::string(buffer), "abc");
  EXPECT_EQ(copy_bounded(buffer, sizeof buffer, ""), 0u);
  EXPECT_EQ(std::string(buffer), "");
}

TEST(CreditLine, JoinsItsParts) {
  EXPECT_EQ(credit_line("A. Author", "https://x.example/", "May 22 2003", "19:01:47"),
            "Kestrin by A. Author - https://x.example/ - May 22 2003 19:01:47");
}

}  // namespace
}  // namespace kestrin
