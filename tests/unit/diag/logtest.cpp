#include "diag/log.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include <unistd.h>

#include "diag/logtesthook.h"
#include "scriptedui.h"

namespace {

namespace fs = std::filesystem;

class LogTest : public ::testing::Test {
 protected:
  LogTest() {
    dir = fs::temp_directory_path() /
          ("tandrel-logtest-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    logPath = dir / "td-log" / "tndr.log";
  }
  ~LogTest() override { fs::remove_all(dir); }

  std::string logText() const {
    std::ifstream in(logPath);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  fs::path dir;
  fs::path logPath;
  testing_diag::ScriptedUi ui;
};

const std::string kHeader = R"(\n\*\*\*\*\* Log started \d\d-\d\d-\d{4} \d\d:\d\d\n)";
const std::string kPrefix = R"(\d\d:\d\d:\d\d\.\d{3}\| )";

TEST_F(LogTest, OneHeaderPerRunThenPrefixedLines) {
  fs::create_directory(logPath.parent_path());
  diag::restartLogForTesting(logPath.string());
  diag::TD_Message("Start variant generation");
  diag::TD_Message("second");
  EXPECT_TRUE(std::regex_match(
      logText(),
      std::regex(kHeader + kPrefix + "Start variant generation\n" + kPrefix + "second\n")))
      << logText();

  diag::restartLogForTesting(logPath.string());  // a second run appends
  diag::TD_Message("third");
  EXPECT_TRUE(
      std::regex_match(logText(), std::regex(kHeader + kPrefix + "Start variant generation\n" +
                                             kPrefix + "second\n" + kHeader + kPrefix + "third\n")))
      << logText();
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(LogTest, HeaderCarriesTodaysDate) {
  fs::create_directory(logPath.parent_path());
  diag::restartLogForTesting(logPath.string());
  const std::time_t before = std::time(nullptr);
  diag::TD_Message("x");
  const std::time_t after = std::time(nullptr);
  auto header = [](std::time_t t) {
    char text[64];
    std::strftime(text, sizeof text, "***** Log started %d-%m-%Y %H:%M", std::localtime(&t));
    return std::string(text);
  };
  const std::string text = logText();
  EXPECT_TRUE(text.find(header(before)) != std::string::npos ||
              text.find(header(after)) != std::string::npos)
      << text;
}

TEST_F(LogTest, TextEndingInALineBreakGetsAnEmptyLine) {
  fs::create_directory(logPath.parent_path());
  diag::restartLogForTesting(logPath.string());
  diag::TD_Message("two\n");
  diag::TD_Message(nullptr);
  EXPECT_TRUE(
      std::regex_match(logText(), std::regex(kHeader + kPrefix + "two\n\n" + kPrefix + "\n")))
      << logText();
}

TEST_F(LogTest, MissingFolderKeepsLoggingOffSilently) {
  diag::restartLogForTesting(logPath.string());
  diag::TD_Message("lost");
  EXPECT_FALSE(diag::OpenLogEntry());
  EXPECT_FALSE(fs::exists(logPath.parent_path()));  // never created
  EXPECT_TRUE(ui.boxes.empty());

  // Once the folder exists, later entries of the same run are written, but
  // the run's header was due with the first entry.
  fs::create_directory(logPath.parent_path());
  diag::TD_Message("found");
  EXPECT_TRUE(std::regex_match(logText(), std::regex(kPrefix + "found\n"))) << logText();
}

TEST_F(LogTest, UnwritableFileIsSkipped) {
  fs::create_directories(logPath);  // a folder where the file should be
  diag::restartLogForTesting(logPath.string());
  EXPECT_FALSE(diag::OpenLogEntry());
  diag::TD_Message("lost");
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(LogTest, SymbolicLinkInPlaceOfTheLogIsNotFollowed) {
  fs::create_directory(logPath.parent_path());
  const fs::path victim = dir / "victim.txt";
  std::ofstream(victim) << "someone else's work";
  fs::create_symlink(victim, logPath);
  diag::restartLogForTesting(logPath.string());
  diag::TD_Message("entry");
  EXPECT_FALSE(diag::OpenLogEntry());
  std::ifstream in(victim);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "someone else's work");
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(LogTest, AFifoInPlaceOfTheLogNeverBlocks) {
  fs::create_directory(logPath.parent_path());
  ASSERT_EQ(::mkfifo(logPath.c_str(), 0600), 0);
  diag::restartLogForTesting(logPath.string());
  // Nobody reads: an open for writing would wait for a reader for ever.
  diag::TD_Message("entry");
  EXPECT_FALSE(diag::OpenLogEntry());
  // A reader that never reads: writing would wait once the pipe is full.
  const int reader = ::open(logPath.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  for (int i = 0; i < 2000; ++i) diag::TD_Message(std::string(100, 'x').c_str());
  EXPECT_FALSE(diag::OpenLogEntry());
  char byte;
  EXPECT_LE(::read(reader, &byte, 1), 0);  // nothing was written into it
  ::close(reader);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST(LogPathTest, DefaultLogLivesInTheHomeFolder) {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') GTEST_SKIP() << "no HOME";
  EXPECT_EQ(diag::defaultLogFilePath(), std::string(home) + "/td-log/tndr.log");
}

}  // namespace
