// kestrin-pdb: converts files between plain text and Palm DOC databases, each
// exactly as a file dropped on Kestrin in "Palm DOC Conversion" mode: a name
// whose extension does not begin with "pdb" becomes a database beside it, any
// other (no extension, .pdb, .PDB, .pdbak) is read as a database into a text
// file named after the database, beside it.
//
//   kestrin-pdb FILE...    prints each output path on its own line
//
// Exit status: 0 all converted, 1 any failed (a reason on stderr each), 2 bad
// arguments.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "palm_doc_file.h"
#include "utf.h"

#if defined(_WIN32)
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void usage(FILE* out) {
  std::fputs(
      "usage: kestrin-pdb FILE...\n"
      "Converts each FILE as Kestrin converts a dropped file: a text file becomes a\n"
      "Palm DOC database beside it (notes.txt -> notes_txt.pdb); a file with no\n"
      "extension or one beginning with \"pdb\" is read as a database into a text file\n"
      "named after the database, in the same folder. Prints each output path.\n"
      "Exit status: 0 all converted, 1 any conversion failed, 2 bad arguments.\n",
      out);
}

#if defined(_WIN32)
std::string utf8_of(const wchar_t* wide) {
  const std::wstring_view view(wide);
  return kestrin::utf16_to_utf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(view.data()), view.size()));
}
#endif

// The path as a drop would give it: whole, from the root (UTF-8).
std::string absolute(const std::string& path) {
#if defined(_WIN32)
  const std::u16string units = kestrin::utf8_to_utf16(path);
  const std::wstring wide(units.begin(), units.end());
  wchar_t full[32768];
  if (_wfullpath(full, wide.c_str(), 32768)) return utf8_of(full);
#else
  // The file itself may not resolve (a dangling name); its folder does.
  const std::size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (char* real = realpath(folder.c_str(), nullptr)) {
    std::string full = real;
    std::free(real);
    return full + (full == "/" ? "" : "/") + name;
  }
#endif
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv, argv + argc);
#if defined(_WIN32)
  // The names from the wide command line: one outside the ANSI code page
  // arrives whole.
  int count = 0;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    arguments.clear();
    for (int i = 0; i < count; ++i) arguments.push_back(utf8_of(wide[i]));
    LocalFree(wide);
  }
#endif
  std::vector<std::string> files;
  bool options = true;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (options && (argument == "--help" || argument == "-h")) {
      usage(stdout);
      return 0;
    }
    if (options && argument == "--") {
      options = false;
    } else if (options && argument.size() > 1 && argument[0] == '-') {
      std::fprintf(stderr, "kestrin-pdb: unknown option %s\n", argument.c_str());
      usage(stderr);
      return kExitUsage;
    } else {
      files.push_back(argument);
    }
  }
  if (files.empty()) {
    usage(stderr);
    return kExitUsage;
  }
  int status = 0;
  for (const std::string& file : files) {
    const kestrin::palm::FileConversion done = kestrin::palm::convert_file(absolute(file));
    if (done.result == kestrin::palm::kOk) {
      std::printf("%s\n", done.output.c_str());
    } else {
      std::fprintf(stderr, "kestrin-pdb: %s\n", done.reason.c_str());
      status = kExitFailed;
    }
  }
  return std::fflush(stdout) == 0 ? status : kExitFailed;
}
