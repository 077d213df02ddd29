// kestrin-pdb through a real pipe on real files, and txt2pdbdoc as the other
// side: each reads what the other wrote.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct CliResult {
  int status = -1;
  std::string out;  // standard output
};

CliResult run(const std::string& command) {
  CliResult r;
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return r;
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, got);
  const int status = pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

class KestrinPdb : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ::testing::TempDir() + "kestrin-pdb-" + std::to_string(getpid());
    ASSERT_EQ(run("rm -rf '" + dir_ + "' && mkdir -p '" + dir_ + "'").status, 0);
    // Prose of some size: several records, CR LF line ends, a lone CR.
    for (int i = 0; i < 400; ++i) {
      prose_ += "Line " + std::to_string(i) + " of a book that repeats itself, as books do.\r\n";
    }
    prose_ += "The end.\rReally.";
  }
  void TearDown() override { run("rm -rf '" + dir_ + "'"); }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  std::string dir_, prose_;
};

TEST_F(KestrinPdb, BothDirectionsWithTheirOutputNamesAndStatus) {
  std::ofstream(path("my.book.txt"), std::ios::binary) << prose_;
  const std::string cli = KESTRIN_PDB_CLI;
  CliResult made = run("cd '" + dir_ + "' && " + cli + " my.book.txt");
  EXPECT_EQ(made.status, 0);
  EXPECT_EQ(made.out, path("my_book_txt.pdb") + "\n");  // whole path, one line
  const std::string db = slurp(path("my_book_txt.pdb"));
  ASSERT_GT(db.size(), 78u);
  EXPECT_EQ(db.substr(0, 12), std::string("my.book.txt\0", 12));
  std::remove(path("my.book.txt").c_str());

  CliResult back = run(cli + " '" + path("my_book_txt.pdb") + "'");
  EXPECT_EQ(back.status, 0);
  EXPECT_EQ(back.out, path("my.book.txt") + "\n");  // named after the database
  std::string expected = prose_;
  expected.replace(expected.find("\rReally"), 1, "\r\n");
  EXPECT_EQ(slurp(path("my.book.txt")), expected);

  // A failure among successes: status 1, a reason on stderr, the others done.
  std::ofstream(path("note.txt"), std::ios::binary) << "short note";
  std::ofstream(path("readme"), std::ios::binary) << "not a database, no extension";
  CliResult mixed = run(cli + " '" + path("readme") + "' '" + path("note.txt") + "'");
  EXPECT_EQ(mixed.status, 1);
  EXPECT_EQ(mixed.out, path("note_txt.pdb") + "\n");
  const CliResult reason = run("(" + cli + " '" + path("readme") + "' 2>&1 >/dev/null)");
  EXPECT_NE(reason.out.find("not a Palm DOC database"), std::string::npos);
  EXPECT_FALSE(exists(path("readme.txt")));

  EXPECT_EQ(run(cli).status, 2);
  EXPECT_EQ(run(cli + " --bogus x").status, 2);
  const CliResult help = run(cli + " --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("usage: kestrin-pdb"), std::string::npos);
}

// A damaged database gives no output file, and an earlier file of that name
// stays as it was.
TEST_F(KestrinPdb, DamagedDatabaseLeavesNoOutput) {
  std::ofstream(path("a.txt"), std::ios::binary) << prose_;
  ASSERT_EQ(run(std::string(KESTRIN_PDB_CLI) + " '" + path("a.txt") + "'").status, 0);
  std::string db = slurp(path("a_txt.pdb"));
  db += std::string("\xBF\xFF", 2);  // the last record ends in a copy from nowhere
  std::ofstream(path("a_txt.pdb"), std::ios::binary | std::ios::trunc) << db;
  std::ofstream(path("a.txt"), std::ios::binary | std::ios::trunc) << "earlier file";
  EXPECT_EQ(run(std::string(KESTRIN_PDB_CLI) + " '" + path("a_txt.pdb") + "'").status, 1);
  EXPECT_EQ(slurp(path("a.txt")), "earlier file");
  EXPECT_FALSE(exists(path("a.txt.part")));
}

// Names: the extension of the file's own name decides; the output never
// replaces a folder or a user's own file; a name near the longest the system
// takes converts; a text past the format's limit says which limit.
TEST_F(KestrinPdb, NamesFoldersAndLimits) {
  const std::string cli = KESTRIN_PDB_CLI;
  std::ofstream(path("book.txt"), std::ios::binary) << prose_;
  ASSERT_EQ(run(cli + " '" + path("book.txt") + "'").status, 0);
  ASSERT_EQ(run("mkdir '" + path("notes.d") + "' && mv '" + path("book_txt.pdb") + "' '" +
                path("notes.d/mydb") + "'").status, 0);
  CliResult read = run(cli + " '" + path("notes.d/mydb") + "'");
  EXPECT_EQ(read.status, 0);
  EXPECT_EQ(read.out, path("notes.d/book.txt") + "\n");  // read as the database it is

  std::ofstream(path("own.txt"), std::ios::binary) << "a text";
  ASSERT_EQ(run("mkdir '" + path("own_txt.pdb") + "'").status, 0);
  EXPECT_EQ(run(cli + " '" + path("own.txt") + "'").status, 1);
  struct stat info {};
  ASSERT_EQ(stat(path("own_txt.pdb").c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));  // the folder stays
  ASSERT_EQ(run("rmdir '" + path("own_txt.pdb") + "'").status, 0);
  std::ofstream(path("own_txt.pdb.part"), std::ios::binary) << "mine";
  std::ofstream(path("~kpdb0.tmp"), std::ios::binary) << "also mine";
  EXPECT_EQ(run(cli + " '" + path("own.txt") + "'").status, 0);
  EXPECT_EQ(slurp(path("own_txt.pdb.part")), "mine");
  EXPECT_EQ(slurp(path("~kpdb0.tmp")), "also mine");
  EXPECT_EQ(run("ls '" + dir_ + "' | grep -c '^~kpdb'").out, "1\n");  // none left of ours

  const std::string long_name = std::string(246, 'n') + ".txt";
  std::ofstream(path(long_name), std::ios::binary) << "a text with a long name";
  EXPECT_EQ(run(cli + " '" + path(long_name) + "'").status, 0);
  EXPECT_TRUE(exists(path(std::string(246, 'n') + "_txt.pdb")));

  // 65,534 records of 4096 bytes and one byte more, as a sparse file.
  const std::string huge = path("huge.txt");
  ASSERT_EQ(truncate((std::ofstream(huge), huge).c_str(), 65534LL * 4096 + 1), 0);
  const CliResult limit = run("(" + cli + " '" + huge + "' 2>&1 >/dev/null)");
  EXPECT_NE(limit.out.find("65,534 records"), std::string::npos) << limit.out;
  EXPECT_FALSE(exists(path("huge_txt.pdb")));
}

TEST_F(KestrinPdb, Txt2pdbdocReadsOursAndWeReadItsDatabases) {
  std::string lf = prose_;
  for (std::size_t at; (at = lf.find('\r')) != std::string::npos;) {
    lf.erase(at, lf.compare(at, 2, "\r\n") == 0 ? 1 : 0);
    if (lf[at] == '\r') lf[at] = '\n';
  }
  std::ofstream(path("ours.txt"), std::ios::binary) << prose_;
  ASSERT_EQ(run(std::string(KESTRIN_PDB_CLI) + " '" + path("ours.txt") + "'").status, 0);
  ASSERT_EQ(run("txt2pdbdoc -d '" + path("ours_txt.pdb") + "' '" + path("theirs-read.txt") + "'")
                .status,
            0);
  EXPECT_EQ(slurp(path("theirs-read.txt")), lf);  // stored with LF line ends

  std::ofstream(path("plain.txt"), std::ios::binary) << lf;
  ASSERT_EQ(run("txt2pdbdoc Theirs '" + path("plain.txt") + "' '" + path("theirs.pdb") + "'")
                .status,
            0);
  ASSERT_EQ(run(std::string(KESTRIN_PDB_CLI) + " '" + path("theirs.pdb") + "'").status, 0);
  std::string crlf = lf;
  for (std::size_t at = 0; (at = crlf.find('\n', at)) != std::string::npos; at += 2) {
    crlf.insert(at, "\r");
  }
  EXPECT_EQ(slurp(path("Theirs.txt")), crlf);
}

}  // namespace
