// Prints the key of a history file (hex) as its user unwraps it, for the
// tests' second reader of the layout:  history_key.exe <History.dat>
#include <cstdio>

#include "driver.h"
#include "sealed_reader.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string key = kestrin::test::history_file_key_hex(kestrin::test::read_file(argv[1]).value_or(""));
  if (key.empty()) return 1;
  std::printf("%s\n", key.c_str());
  return 0;
}
