// Killing dbxhost at random moments of a save leaves the old file or the new
// one, never a torn one; a file of a newer format is refused by the process.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <thread>

#include "hostprocess.h"
#include "model/syntheticdesign.h"
#include "storage/designfile.h"

namespace {

using tandrel::testing::HostProcess;
using tandrel::testing::makePrivateTempDir;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kKills = 20;

// Every kill restarts the host on the large file; under AddressSanitizer that
// read is ten times slower, so a smaller board keeps the run short while a
// save still spans many writes.
#ifdef __SANITIZE_ADDRESS__
constexpr int kLargeChannels = 8;
#else
constexpr int kLargeChannels = 32;
#endif

// The dbxhost child of this process (there is one at a time); -1 if none.
pid_t hostChild() {
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string pid, command, state;
    pid_t parent = 0;
    if (stat >> pid >> command >> state >> parent && parent == getpid() && command == "(dbxhost)") {
      return static_cast<pid_t>(std::stol(pid));
    }
  }
  return -1;
}

class SaveDurabilityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = makePrivateTempDir("dbxhost-durability");
    work = makePrivateTempDir("dbxhost-durability-work");
  }
  void TearDown() override {
    fs::remove_all(dir);
    fs::remove_all(work);
  }
  std::string dir;
  std::string work;
};

TEST_F(SaveDurabilityTest, KilledDuringASaveLeavesTheOldOrTheNewFile) {
  const dbxhost::Design large = dbxhost::makeSyntheticDesign(kLargeChannels, 100, false);
  const dbxhost::Design small = dbxhost::makeSyntheticDesign(2, 3, false);
  const std::string source = work + "/large.json";
  const std::string target = work + "/target.json";
  dbxhost::saveDesignFile(large, source);

  // One whole save tells how long the kills have to cover.
  Clock::duration saveTime{};
  {
    dbxhost::saveDesignFile(small, target);
    HostProcess host(source, dir);
    const auto start = Clock::now();
    ASSERT_EQ(host.command("save " + target).rfind("ok", 0), 0u);
    saveTime = Clock::now() - start;
    ASSERT_TRUE(dbxhost::readDesignFile(target) == large);
  }

  std::mt19937 random(20261208);
  std::uniform_int_distribution<long> delay(
      0, std::chrono::duration_cast<std::chrono::microseconds>(saveTime * 3 / 2).count());
  int keptOld = 0;
  int gotNew = 0;
  for (int kill = 0; kill < kKills; ++kill) {
    dbxhost::saveDesignFile(small, target);
    HostProcess host(source, dir);
    const pid_t pid = hostChild();
    ASSERT_GT(pid, 0);
    std::string answer;
    std::thread saver([&] { answer = host.command("save " + target); });
    std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
    ::kill(pid, SIGKILL);
    saver.join();
    host.stop(SIGKILL);

    const dbxhost::Design onDisk = dbxhost::readDesignFile(target);  // throws when torn
    const bool isOld = onDisk == small;
    const bool isNew = onDisk == large;
    EXPECT_TRUE(isOld || isNew) << "kill " << kill;
    if (answer.rfind("ok", 0) == 0) {
      EXPECT_TRUE(isNew) << "kill " << kill << ": saved, then lost";
    }
    keptOld += isOld;
    gotNew += isNew;
  }
  std::cout << kKills << " kills during a save of " << large.pcb.components.size()
            << " components ("
            << std::chrono::duration_cast<std::chrono::milliseconds>(saveTime).count()
            << " ms): " << keptOld << " old files kept, " << gotNew << " new files\n";
  EXPECT_EQ(keptOld + gotNew, kKills);

  // The temporary files of the killed saves go at the next save into the folder.
  dbxhost::saveDesignFile(small, target);
  for (const auto& entry : fs::directory_iterator(work)) {
    EXPECT_EQ(entry.path().filename().string().rfind(".target.json.tmp-", 0), std::string::npos)
        << entry.path();
  }
}

TEST_F(SaveDurabilityTest, AFileOfANewerFormatIsRefusedWithItsVersion) {
  const std::string file = work + "/newer.json";
  std::string text = dbxhost::serializeDesign(dbxhost::makeSyntheticDesign(1, 2, false));
  const std::string current = "\"version\": 1";
  const auto at = text.find(current);
  ASSERT_NE(at, std::string::npos);
  const std::string newer = std::to_string(dbxhost::kDesignFileVersion + 1);
  text.replace(at, current.size(), "\"version\": " + newer);
  std::ofstream(file) << text;
  std::string output;
  EXPECT_EQ(HostProcess::runToEnd(file, output), 1);
  EXPECT_NE(output.find("newer.json: /version: the file has version " + newer +
                        " and needs a newer dbxhost"),
            std::string::npos)
      << output;
}

}  // namespace
