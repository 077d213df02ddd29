#include "palm_doc_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "utf.h"

namespace kestrin::palm {

namespace {

int seek(std::FILE* f, uint64_t offset, int origin) {
#ifdef _WIN32
  return _fseeki64(f, static_cast<long long>(offset), origin);
#else
  return fseeko(f, static_cast<off_t>(offset), origin);
#endif
}

uint64_t tell(std::FILE* f) {
#ifdef _WIN32
  const long long at = _ftelli64(f);
#else
  const off_t at = ftello(f);
#endif
  return at < 0 ? 0 : static_cast<uint64_t>(at);
}

// Paths are UTF-8. On Windows they reach the C library through its wide
// functions, never through the ANSI code page.
#ifdef _WIN32
std::wstring wide_path(const std::string& path) {
  const std::u16string units = utf8_to_utf16(path);
  return std::wstring(units.begin(), units.end());
}
std::FILE* open_path(const std::string& path, const char* mode) {
  return _wfopen(wide_path(path).c_str(), wide_path(mode).c_str());
}
int remove_path(const std::string& path) { return _wremove(wide_path(path).c_str()); }
int rename_path(const std::string& from, const std::string& to) {
  return _wrename(wide_path(from).c_str(), wide_path(to).c_str());
}
#else
std::FILE* open_path(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}
int remove_path(const std::string& path) { return std::remove(path.c_str()); }
int rename_path(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str());
}
#endif

class File {
 public:
  File(const std::string& path, const char* mode) : file_(open_path(path, mode)) {}
  explicit File(std::FILE* file) : file_(file) {}
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File() { close(); }
  std::FILE* get() const { return file_; }
  explicit operator bool() const { return file_ != nullptr; }
  bool close() {
    if (!file_) return true;
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
  }

 private:
  std::FILE* file_;
};

class FileSource : public ByteSource, public RandomSource {
 public:
  explicit FileSource(std::FILE* f) : f_(f) {
    if (seek(f_, 0, SEEK_END) == 0) size_ = tell(f_);
    seek(f_, 0, SEEK_SET);
  }
  std::size_t read(uint8_t* data, std::size_t size) override {
    const std::size_t got = std::fread(data, 1, size, f_);
    if (got < size && std::ferror(f_)) failed_ = true;
    return got;
  }
  bool failed() const override { return failed_; }
  uint64_t size() const override { return size_; }
  bool read_at(uint64_t offset, uint8_t* data, std::size_t size) override {
    return seek(f_, offset, SEEK_SET) == 0 && std::fread(data, 1, size, f_) == size;
  }

 private:
  std::FILE* f_;
  uint64_t size_ = 0;
  bool failed_ = false;
};

class FileSink : public ByteSink {
 public:
  explicit FileSink(std::FILE* f) : f_(f) {}
  bool write(std::span<const uint8_t> bytes) override {
    if (!at_end_ && seek(f_, 0, SEEK_END) != 0) return false;
    at_end_ = true;
    return std::fwrite(bytes.data(), 1, bytes.size(), f_) == bytes.size();
  }
  bool write_at(uint64_t offset, std::span<const uint8_t> bytes) override {
    at_end_ = false;
    return seek(f_, offset, SEEK_SET) == 0 &&
           std::fwrite(bytes.data(), 1, bytes.size(), f_) == bytes.size();
  }

 private:
  std::FILE* f_;
  bool at_end_ = true;  // a new file: writing starts at its end
};

std::string failure(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

bool is_folder(const std::string& path) {
#ifdef _WIN32
  struct _stat64 info {};
  return _wstat64(wide_path(path).c_str(), &info) == 0 && (info.st_mode & S_IFMT) == S_IFDIR;
#else
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == S_IFDIR;
#endif
}

// A new file of our own beside `output`, under a short name that no file has:
// never a user's own file, and no longer than the folder's name allows.
std::FILE* create_partial(const std::string& output, std::string& name) {
  const std::size_t slash = output.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? "" : output.substr(0, slash + 1);
  for (unsigned attempt = 0; attempt < 10000; ++attempt) {
    name = folder + "~kpdb" + std::to_string(attempt) + ".tmp";
#ifdef _WIN32
    const int fd = _wopen(wide_path(name).c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY,
                          _S_IREAD | _S_IWRITE);
#else
    const int fd = open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0666);
#endif
    if (fd >= 0) {
      std::FILE* file = fdopen(fd, "wb");
      if (!file) {
#ifdef _WIN32
        _close(fd);
#else
        close(fd);
#endif
        remove_path(name);
      }
      return file;
    }
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

// Puts the finished file in the output's place in one step where the system
// can (a folder of that name is never removed).
bool put_in_place(const std::string& partial, const std::string& output) {
#ifdef _WIN32
  remove_path(output);  // fails for a folder, and the rename after it too
#endif
  return rename_path(partial, output) == 0;
}

}  // namespace

FileConversion convert_file(const std::string& path) {
  FileConversion conversion;
  const Plan plan = plan_conversion(path);
  conversion.to_database = plan.to_database;
  File source(path, "rb");
  if (!source) {
    conversion.result = kWriteFailed;
    conversion.source_opened = false;
    conversion.reason = failure("cannot open", path);
    return conversion;
  }
  FileSource in(source.get());
  if (plan.to_database) {
    conversion.output = plan.output;
  } else {
    // Nothing is created for a file that is not a database that holds together.
    conversion.result = check_database(in);
    if (conversion.result == kOk) {
      uint8_t name[32] = {};
      const std::size_t got = std::min<uint64_t>(in.size(), sizeof name);
      in.read_at(0, name, got);
      conversion.output = text_output_name(path, {name, got});
      if (conversion.output.empty()) conversion.result = kReadFailed;
    }
    if (conversion.result != kOk) {
      conversion.reason = conversion.result == kNotADoc ? path + ": not a Palm DOC database"
                          : conversion.result == kDamaged
                              ? path + ": the database's record list is damaged"
                              : path + ": the database has no name to write its text under";
      return conversion;
    }
  }

  if (is_folder(conversion.output)) {
    conversion.result = plan.to_database ? kWriteFailed : kReadFailed;
    conversion.reason = "cannot write " + conversion.output + ": a folder has that name";
    return conversion;
  }
  // Written under a name of its own and put in place whole, so that a failure
  // leaves neither a partial file nor a lost earlier one.
  std::string partial;
  File output(create_partial(conversion.output, partial));
  if (!output) {
    conversion.result = plan.to_database ? kWriteFailed : kReadFailed;
    conversion.reason = failure("cannot create", partial);
    return conversion;
  }
  FileSink out(output.get());
  conversion.result = plan.to_database ? write_database(in, in.size(), base_name(path), out)
                                       : read_database(in, out);
  const bool closed = output.close();
  if (conversion.result == kOk && !closed) {
    conversion.result = plan.to_database ? kWriteFailed : kReadFailed;
  }
  if (conversion.result == kOk && !put_in_place(partial, conversion.output)) {
    conversion.result = plan.to_database ? kWriteFailed : kReadFailed;
  }
  if (conversion.result != kOk) {
    conversion.reason =
        conversion.result == kDamaged ? path + ": a record of the database does not decode"
        : conversion.result == kTooLarge
            ? path + ": too long for a Palm DOC database, which holds at most 65,534 records "
                     "of 4096 bytes (about 256 MiB)"
            : failure("cannot write", conversion.output);
    remove_path(partial);
  }
  return conversion;
}

}  // namespace kestrin::palm
