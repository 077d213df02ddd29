// The fixture of the black-box tests: a clean settings file and clipboard for
// each test, the program started with a prepared settings file, and waits for
// what the program does with a clipboard change.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "driver.h"

namespace kestrin::test {

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the program with `ini` as its settings file (none when empty) and
  // `clipboard` as the clipboard text beforehand (when given).
  std::unique_ptr<Kestrin> start(const std::string& ini = "", const char* clipboard = nullptr);

  // The clipboard holds `text` and the program has handled it: its title tells
  // the text's size. (The clipboard alone can show a copy before the program has
  // seen it, and a next copy would then replace it unseen.)
  ::testing::AssertionResult handled(const std::string& text) const;
  ::testing::AssertionResult title_becomes(const std::string& title) const;
  // Another program copies `text`, and the program handles it.
  void copy(const std::string& text) const;

  // A key of the "Options" section of the settings file, as written.
  static std::string setting(const char* key);

  const Kestrin* current_ = nullptr;  // the program started last
};

}  // namespace kestrin::test
