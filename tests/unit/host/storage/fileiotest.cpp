#include "storage/fileio.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "storage/designstorage.h"

namespace dbxhost {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

class FileIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "fileiotest-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  static std::string errorOf(const std::function<void()>& read) {
    try {
      read();
    } catch (const DesignFileError& error) {
      return error.what();
    }
    return "no DesignFileError";
  }

  fs::path dir_;
};

TEST_F(FileIoTest, ReadsARegularFileWhole) {
  const fs::path file = dir_ / "design.json";
  const std::string content(200000, 'x');  // more than one read
  std::ofstream(file, std::ios::binary) << content;
  EXPECT_EQ(readFileText(file), content);
}

TEST_F(FileIoTest, RefusesWhatIsNotARegularFileWithoutWaiting) {
  const fs::path fifo = dir_ / "design.json";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(errorOf([&] { readFileText(fifo); }),
            fifo.string() + ": is not a regular file (a device, FIFO or socket)");
  EXPECT_EQ(errorOf([&] { readFileText("/dev/zero"); }),
            "/dev/zero: is not a regular file (a device, FIFO or socket)");
  EXPECT_EQ(errorOf([&] { readFileText(dir_); }),
            dir_.string() + ": is a folder, not a design file");
}

TEST_F(FileIoTest, RefusesAFileOverTheSizeLimit) {
  const fs::path huge = dir_ / "huge.kicad_pcb";
  std::ofstream(huge) << "(kicad_pcb";
  fs::resize_file(huge, kMaxFileSize + 1);  // sparse: takes no disk
  EXPECT_EQ(errorOf([&] { readFileText(huge); }),
            huge.string() + ": is larger than the limit of 512 MiB for a design file");
  fs::resize_file(huge, 16);
  EXPECT_EQ(readFileText(huge).size(), 16u);
}

TEST_F(FileIoTest, EveryReaderOfAProjectRefusesAFifo) {
  // The design file, the KiCad board and the schematic beside it.
  const fs::path designFile = dir_ / "design.json";
  ASSERT_EQ(::mkfifo(designFile.c_str(), 0600), 0);
  EXPECT_THAT(errorOf([&] { openDesign(designFile); }), HasSubstr("not a regular file"));

  const fs::path board = dir_ / "amp.kicad_pcb";
  ASSERT_EQ(::mkfifo(board.c_str(), 0600), 0);
  EXPECT_THAT(errorOf([&] { openDesign(board); }),
              HasSubstr(board.string() + ": is not a regular"));

  fs::remove(board);
  std::ofstream(board) << "(kicad_pcb (version 20240108) (net 0 \"\"))\n";
  const fs::path schematic = dir_ / "amp.kicad_sch";
  ASSERT_EQ(::mkfifo(schematic.c_str(), 0600), 0);
  EXPECT_THAT(errorOf([&] { openDesign(board); }),
              HasSubstr(schematic.string() + ": is not a regular"));
}

// Saving: what is replaced, what is refused, and what is left behind.
class AtomicWriteTest : public FileIoTest {
 protected:
  fs::path write(const std::string& name, const std::string& content, fs::perms perms) {
    const fs::path file = dir_ / name;
    std::ofstream(file, std::ios::binary) << content;
    fs::permissions(file, perms);
    return file;
  }
  std::vector<std::string> namesInFolder() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  static std::string contentOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

TEST_F(AtomicWriteTest, ALinkIsReplacedOnlyThroughTheRealPathOfItsTarget) {
  const fs::path real = write("real.json", "old", fs::perms::owner_read | fs::perms::owner_write);
  const fs::path link = dir_ / "link.json";
  fs::create_symlink(real, link);
  EXPECT_EQ(errorOf([&] { writeFileAtomically(link, "new"); }),
            link.string() + ": not saved: it is a symbolic link to " + real.string() +
                "; save to that path to replace the file");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(contentOf(real), "old");

  writeFileAtomically(real, "new");
  EXPECT_EQ(contentOf(link), "new");
  EXPECT_TRUE(fs::is_symlink(link));

  // A dangling link is no better.
  fs::remove(real);
  EXPECT_THAT(errorOf([&] { writeFileAtomically(link, "new"); }),
              HasSubstr(": not saved: it is a symbolic link to "));
  EXPECT_FALSE(fs::exists(real));
  EXPECT_EQ(namesInFolder(), std::vector<std::string>{"link.json"});
}

TEST_F(AtomicWriteTest, OnlyARegularFileIsReplaced) {
  const fs::path fifo = dir_ / "fifo.json";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(errorOf([&] { writeFileAtomically(fifo, "new"); }),
            fifo.string() + ": not saved: it is a FIFO, not a regular file");
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_EQ(errorOf([&] { writeFileAtomically("/dev/null", "new"); }),
            "/dev/null: not saved: it is a device, not a regular file");
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  const fs::path folder = dir_ / "folder.json";
  fs::create_directory(folder);
  EXPECT_EQ(errorOf([&] { writeFileAtomically(folder, "new"); }),
            folder.string() + ": not saved: it is a folder, not a regular file");
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(namesInFolder(), (std::vector<std::string>{"fifo.json", "folder.json"}));
}

TEST_F(AtomicWriteTest, AReadOnlyFileIsRefused) {
  const fs::path file = write(
      "design.json", "old", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(errorOf([&] { writeFileAtomically(file, "new"); }),
            file.string() + ": not saved: the file is read-only");
  EXPECT_EQ(contentOf(file), "old");
  EXPECT_EQ(namesInFolder(), std::vector<std::string>{"design.json"});
}

TEST_F(AtomicWriteTest, AReplacedFileKeepsItsOwnerAndMode) {
  const fs::path file = write("design.json", "old",
                              fs::perms::owner_read | fs::perms::owner_write |
                                  fs::perms::group_read | fs::perms::others_read);
  // Another group of ours, where there is one, shows that the group is kept.
  std::vector<gid_t> groups(std::size_t(::getgroups(0, nullptr)) + 1);
  groups.resize(std::size_t(::getgroups(int(groups.size()), groups.data())));
  for (const gid_t group : groups) {
    if (group != ::getegid()) {
      ASSERT_EQ(::chown(file.c_str(), ::geteuid(), group), 0);
      break;
    }
  }
  struct stat before {};
  ASSERT_EQ(::stat(file.c_str(), &before), 0);
  ASSERT_EQ(::chmod(file.c_str(), 0641), 0);

  writeFileAtomically(file, "new");
  struct stat after {};
  ASSERT_EQ(::stat(file.c_str(), &after), 0);
  EXPECT_EQ(contentOf(file), "new");
  EXPECT_NE(after.st_ino, before.st_ino);  // replaced, not written in place
  EXPECT_EQ(after.st_mode & 07777, 0641u);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
}

TEST_F(AtomicWriteTest, AFailedWriteLeavesNoTemporaryFile) {
  const fs::path file = write("design.json", "old", fs::perms::owner_read | fs::perms::owner_write);
  // A file size limit makes the write fail half way.
  const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string error = errorOf([&] { writeFileAtomically(file, std::string(100000, 'x')); });
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &old), 0);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_THAT(error, HasSubstr(file.string() + ": cannot write: "));
  EXPECT_EQ(contentOf(file), "old");
  EXPECT_EQ(namesInFolder(), std::vector<std::string>{"design.json"});
}

TEST_F(AtomicWriteTest, TheTemporaryFilesOfAKilledSaveGoAtTheNextSaveToTheFolder) {
  // A process that has ended, as one killed while it saved.
  const pid_t ended = ::fork();
  ASSERT_GE(ended, 0);
  if (ended == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(ended, nullptr, 0), ended);
  const std::string gone = std::to_string(ended);
  const std::string alive = std::to_string(::getppid());
  for (const std::string& name :
       {".design.json.tmp-" + gone + "-1", ".board.kicad_pcb.tmp-" + gone + "-17",
        ".design.json.tmp-" + alive + "-2", std::string(".design.json.tmp-x-1"),
        "design.json.tmp-" + gone + "-1"})
    write(name, "half", fs::perms::owner_read | fs::perms::owner_write);

  writeFileAtomically(dir_ / "other.json", "new");
  // Another process's save may be under way; names not of this pattern are
  // someone else's.
  EXPECT_EQ(namesInFolder(),
            (std::vector<std::string>{".design.json.tmp-" + alive + "-2", ".design.json.tmp-x-1",
                                      "design.json.tmp-" + gone + "-1", "other.json"}));
}

}  // namespace
}  // namespace dbxhost
