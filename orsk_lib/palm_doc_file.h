// Whole-file Palm DOC conversions with the C library's files, shared by the
// program's drops and by kestrin-pdb: the direction and the output name come
// from the path, the output lands beside the source.
#pragma once

#include <string>

#include "palm_doc.h"

namespace kestrin::palm {

struct FileConversion {
  Result result = kOk;
  bool to_database = false;
  bool source_opened = true;  // false: the source itself could not be opened
  std::string output;  // the file written (or that would have been)
  std::string reason;  // one line for a failure
};

// Converts the file at `path` as a drop does: a text becomes a database beside
// it, a database becomes a text beside it. A failed conversion leaves no output
// file behind.
FileConversion convert_file(const std::string& path);

}  // namespace kestrin::palm
