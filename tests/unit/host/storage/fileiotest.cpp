#include "storage/fileio.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

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

}  // namespace
}  // namespace dbxhost
