#include "program_test.h"

namespace kestrin::test {

void ProgramTest::SetUp() {
  remove_file(windows_ini_path());
  remove_file(appdata_ini_path());
  ASSERT_TRUE(empty_clipboard());
}

void ProgramTest::TearDown() {
  remove_file(windows_ini_path());
  remove_file(appdata_ini_path());
}

std::unique_ptr<Kestrin> ProgramTest::start(const std::string& ini, const char* clipboard) {
  if (!ini.empty()) write_file(windows_ini_path(), ini);
  if (clipboard) {
    EXPECT_TRUE(set_clipboard_text(clipboard));
  }
  auto run = Kestrin::start();
  EXPECT_TRUE(run && run->window());
  current_ = run.get();
  return run;
}

::testing::AssertionResult ProgramTest::handled(const std::string& text) const {
  auto result = becomes(clipboard_text, std::optional<std::string>(text));
  if (!result || !current_) return result;
  const std::string size = ", " + std::to_string(text.size()) + " bytes,";
  return becomes(
      [&] { return window_text(current_->window()).find(size) != std::string::npos; }, true);
}

::testing::AssertionResult ProgramTest::title_becomes(const std::string& title) const {
  return becomes([&] { return window_text(current_->window()); }, title);
}

void ProgramTest::copy(const std::string& text) const {
  ASSERT_TRUE(set_clipboard_text(text));
  ASSERT_TRUE(handled(text));
}

std::string ProgramTest::setting(const char* key) {
  return ini_value(read_file(windows_ini_path()).value_or(""), "Options", key).value_or("?");
}

}  // namespace kestrin::test
