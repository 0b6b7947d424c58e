// The converter in a hostile environment: links planted under output names, directories that
// cannot be written, disks that fill up, images that fail to read, standard output closed or
// full. Every case: a message on standard error, a non-zero status, and every byte already
// written elsewhere intact.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli/r38dec_modes.h"
#include "support/run_program.h"
#include "support/tape_builder.h"

namespace r38 {
namespace {

using namespace test;
namespace fs = std::filesystem;

const std::string DANGLING = "output file open: Symbolic link to no file, not followed\n";

std::vector<std::uint8_t> three_files() {
  TapeBuilder tape;
  tape.file(basic_file("FIRST", "1\r\n"))
      .file(basic_file("HELLO", "10 PRINT\r\n"))
      .file(basic_file("LAST", "3\r\n"));
  return tape.bytes();
}

std::size_t entries(const fs::path& dir) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
}

TEST(R38decLinks, ANewFileIsNeverCreatedThroughALink) {
  struct Case {
    const char* what;
    std::string target;  // where HELLO.BAS points, relative to the output directory
  };
  const std::vector<Case> cases = {
      {"a link to a missing file in another directory", "../outside/HELLO.BAS"},
      {"a link to a missing directory", "../nowhere/HELLO.BAS"},
      {"a link to itself", "HELLO.BAS"},
      {"a chain of links ending nowhere", "CHAIN"},
  };
  for (const auto& c : cases) {
    TempDir root;
    fs::create_directory(root / "out");
    fs::create_directory(root / "outside");
    const fs::path out = root / "out";
    write_file(root / "tape.r38", three_files());
    fs::create_symlink(c.target, out / "HELLO.BAS");
    fs::create_symlink("../outside/CHAINED", out / "CHAIN");
    const RunResult r = run_r38dec({"../tape.r38"}, out);
    EXPECT_EQ(r.status, 2) << c.what;
    EXPECT_EQ(r.err, DANGLING) << c.what;
    EXPECT_EQ(r.out, "\nFOUND:\"FIRST\"  \nFOUND:\"HELLO\"  \nFOUND:\"LAST\"  ") << c.what;
    EXPECT_TRUE(fs::is_empty(root / "outside")) << c.what;
    EXPECT_FALSE(fs::exists(root / "nowhere")) << c.what;
    EXPECT_TRUE(fs::is_symlink(out / "HELLO.BAS")) << c.what;
    EXPECT_EQ(read_text(out / "FIRST.BAS"), "1\r\n") << c.what;
    EXPECT_EQ(read_text(out / "LAST.BAS"), "3\r\n") << c.what;
  }
}

TEST(R38decLinks, TheDumpFileIsNeverCreatedThroughALink) {
  TempDir root;
  fs::create_directory(root / "out");
  TapeBuilder tape;
  tape.frames({1, 2, 3});
  write_file(root / "tape.r38", tape.bytes());
  fs::create_symlink("../FULLDUMP.BIN", root / "out" / "FULLDUMP.BIN");
  const RunResult r = run_r38dec({"../tape.r38", "-d"}, root / "out");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, DANGLING);
  EXPECT_FALSE(fs::exists(root / "FULLDUMP.BIN"));
}

TEST(R38decLinks, ExistingFilesAreEmptiedAndReplacedWhereverALinkLeads) {
  // A link to an existing file is the user's own redirection (to /dev/null, say): it is
  // followed, as is a regular file of the name, and what it held is replaced, not appended to.
  TempDir dir;
  write_file(dir / "tape.r38", three_files());
  write_file(dir / "FIRST.BAS", bytes_of("an older and much longer FIRST"));
  write_file(dir / "kept.txt", bytes_of("an older and much longer HELLO"));
  fs::create_symlink("kept.txt", dir / "HELLO.BAS");
  fs::create_symlink("/dev/null", dir / "LAST.BAS");
  const RunResult r = run_r38dec({"tape.r38"}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_text(dir / "FIRST.BAS"), "1\r\n");
  EXPECT_EQ(read_text(dir / "kept.txt"), "10 PRINT\r\n");
  EXPECT_TRUE(fs::is_symlink(dir / "LAST.BAS"));
}

// A FIFO under an output name would hold the run up until somebody read it, which may be never.
TEST(R38decSpecialFiles, AFifoUnderAnOutputNameIsRefusedWithoutWaiting) {
  for (const bool extract : {false, true}) {
    TempDir root;
    fs::create_directory(root / "out");
    write_file(root / "tape.r38", three_files());
    ASSERT_EQ(::mkfifo((root / "out" / "HELLO.BAS").c_str(), 0600), 0);
    const RunResult r = extract ? run_r38({"extract", "-q", "../tape.r38"}, root / "out")
                                : run_r38dec({"../tape.r38"}, root / "out");
    EXPECT_NE(r.status, 0) << extract;
    EXPECT_NE(r.err.find("No such device or address"), std::string::npos) << r.err;
    EXPECT_EQ(read_text(root / "out" / "FIRST.BAS"), "1\r\n") << extract;
    EXPECT_EQ(read_text(root / "out" / "LAST.BAS"), "3\r\n") << extract;
    EXPECT_TRUE(fs::is_fifo(root / "out" / "HELLO.BAS")) << extract;
  }
}

// A small tmpfs of its own, mounted for one test; the test is skipped where mounting is not
// allowed. Read-only and full disks bind root too, unlike permission bits.
class TinyDisk {
 public:
  TinyDisk(const fs::path& where, const std::string& options) : path_(where) {
    fs::create_directory(path_);
    mounted_ = ::mount("r38test", path_.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~TinyDisk() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  TinyDisk(const TinyDisk&) = delete;
  TinyDisk& operator=(const TinyDisk&) = delete;
  bool mounted() const { return mounted_; }

 private:
  fs::path path_;
  bool mounted_ = false;
};

TEST(R38decDisk, AReadOnlyDirectoryRefusesEveryFile) {
  TempDir root;
  write_file(root / "tape.r38", three_files());
  TinyDisk disk(root / "out", "ro,size=16k");
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a read-only tmpfs here (needs root)";
  const RunResult r = run_r38dec({"../tape.r38"}, root / "out");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err,
            "output file open: Read-only file system\n"
            "output file open: Read-only file system\n"
            "output file open: Read-only file system\n");
  EXPECT_EQ(r.out, "\nFOUND:\"FIRST\"  \nFOUND:\"HELLO\"  \nFOUND:\"LAST\"  ");
}

TEST(R38decDisk, ADiskThatFillsUpMidFileKeepsEverythingWrittenBefore) {
  const std::vector<std::uint8_t> big = pattern_bytes(20000);
  TapeBuilder tape;
  tape.file(basic_file("FIRST", "1\r\n")).file(data_file("BIG", big)).file(basic_file("LAST", "3"));
  TempDir root;
  write_file(root / "tape.r38", tape.bytes());
  TinyDisk disk(root / "out", "size=16k");
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
  const RunResult r = run_r38dec({"../tape.r38"}, root / "out");
  EXPECT_EQ(r.status, 2);
  // BIG fills the disk, and LAST finds it full.
  EXPECT_EQ(r.err,
            "output file write: No space left on device\n"
            "output file write: No space left on device\n");
  EXPECT_EQ(read_text(root / "out" / "FIRST.BAS"), "1\r\n");
  const std::vector<std::uint8_t> kept = read_file(root / "out" / "BIG.TXT");
  EXPECT_GT(kept.size(), 0u);
  EXPECT_LT(kept.size(), big.size());
  EXPECT_TRUE(std::equal(kept.begin(), kept.end(), big.begin())) << "a prefix of the data";
}

TEST(R38decImageRead, AnImageThatFailsAtOnceIsAReadError) {
  // Reading a process's own memory from offset 0 fails with an I/O error: nothing is mapped
  // there.
  TempDir dir;
  fs::create_symlink("/proc/self/mem", dir / "tape.r38");
  const RunResult r = run_r38dec({"tape.r38"}, dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Source file read: Input/output error\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(entries(dir.path()), 1u);
}

TEST(R38decImageRead, AnImageThatFailsMidReadKeepsTheFilesBefore) {
  // A terminal's controlling side delivers what was written to the other side, then fails with
  // an I/O error once that side has closed: an image whose device dies half-way.
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  termios raw{};
  ASSERT_EQ(::tcgetattr(slave, &raw), 0);
  ::cfmakeraw(&raw);
  ASSERT_EQ(::tcsetattr(slave, TCSANOW, &raw), 0);

  TapeBuilder tape;
  tape.file(basic_file("FIRST", "1\r\n"));
  // The second file is cut off inside its data block.
  tape.good_block(BLOCK_HEADER, {'C', 'U', 'T', 0, 0, 0, 0, 0, FILE_BASIC, 0, 0})
      .good_block(BLOCK_DATA, {'x', 'y'});
  std::vector<std::uint8_t> image = tape.bytes();
  image.resize(image.size() - 40);
  std::thread writer([&] {
    std::size_t done = 0;
    while (done < image.size()) {
      const ssize_t n = ::write(slave, image.data() + done, image.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::tcdrain(slave);
    ::close(slave);
  });

  TempDir dir;
  const int out = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(out, 0);
  ImageReader reader(master);
  RunSettings settings;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int status = decode_image(reader, settings, out);
  const std::string err = testing::internal::GetCapturedStderr();
  const std::string report = testing::internal::GetCapturedStdout();
  writer.join();
  ::close(out);
  ::close(master);

  EXPECT_EQ(status, EXIT_FAILURE_IO);
  EXPECT_EQ(err, "Source file read: Input/output error\n");
  EXPECT_EQ(report, "\nFOUND:\"FIRST\"  \nFOUND:\"CUT\"  ");
  EXPECT_EQ(read_text(dir / "FIRST.BAS"), "1\r\n");
  EXPECT_TRUE(fs::exists(dir / "CUT.IBA"));
}

// A file whose blocks are mostly damaged: its "Check sum error" lines fill the report's buffer
// several times over while its output file is open.
TapeBuilder noisy_file() {
  TapeBuilder tape;
  tape.good_block(BLOCK_HEADER, {'N', 'O', 'I', 'S', 'Y', 0, 0, 0, FILE_BASIC, 0xFF, 0xFF})
      .good_block(BLOCK_DATA, bytes_of("10 REM\r\n"));
  for (int i = 0; i < 1000; ++i) tape.block_with_checksum(BLOCK_DATA, {}, 0x55);
  tape.good_block(BLOCK_END, {}).file(basic_file("AFTER", "20 END\r\n"));
  return tape;
}

TEST(R38decStandardOutput, ClosedOrFullIsAnErrorAndNeverReachesTheFiles) {
  struct Case {
    const char* what;
    std::string stdout_path;
    std::vector<int> closed;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"full", "/dev/full", {}, "Standard output write: No space left on device\n"},
      {"closed", "", {1}, "Standard output write: Bad file descriptor\n"},
      // With standard input closed as well, the image and the output files would get
      // descriptors 0 and 1, and the report would be written into the open file.
      {"closed with standard input", "", {0, 1}, "Standard output write: Bad file descriptor\n"},
  };
  TempDir source;
  write_file(source / "tape.r38", noisy_file().bytes());
  for (const auto& c : cases) {
    TempDir dir;
    fs::copy_file(source / "tape.r38", dir / "tape.r38");
    const RunResult r =
        run_program(R38DEC_PATH, {"tape.r38", "-v"}, dir.path(), c.stdout_path, c.closed);
    EXPECT_EQ(r.status, 2) << c.what;
    EXPECT_EQ(r.err, c.err) << c.what;
    EXPECT_EQ(read_text(dir / "NOISY.BAS"), "10 REM\r\n") << c.what;
    EXPECT_EQ(read_text(dir / "AFTER.BAS"), "20 END\r\n") << c.what;
    EXPECT_EQ(entries(dir.path()), 3u) << c.what;
  }
  // Without -v and without files there is nothing to report, and nothing fails.
  TempDir dir;
  write_file(dir / "tape.r38", image_with({}));
  EXPECT_EQ(run_program(R38DEC_PATH, {"tape.r38"}, dir.path(), "", {1}).status, 0);
}

}  // namespace
}  // namespace r38
