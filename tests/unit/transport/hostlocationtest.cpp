#include "dbx/hostlocation.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "transportfixture.h"

using namespace DBX;
using transporttest::PrivateDir;

namespace {

// Sets or clears an environment variable for one test, restoring it after.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(HostLocationTest, DirectoryRule) {
  {
    ScopedEnv dir("TANDREL_DBX_DIR", "/somewhere/own");
    ScopedEnv runtime("XDG_RUNTIME_DIR", "/run/user/1");
    EXPECT_EQ(hostDirectory(), "/somewhere/own");
  }
  {
    ScopedEnv dir("TANDREL_DBX_DIR", "");  // empty counts as unset
    ScopedEnv runtime("XDG_RUNTIME_DIR", "/run/user/1");
    EXPECT_EQ(hostDirectory(), "/run/user/1/tandrel-dbx");
  }
  {
    ScopedEnv dir("TANDREL_DBX_DIR", nullptr);
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    ScopedEnv home("HOME", "/home/someone");
    EXPECT_EQ(hostDirectory(), "/home/someone/.tandrel-dbx");  // nobody else can make it
  }
}

TEST(HostLocationTest, FoldersOnTheWayMustBeSafe) {
  PrivateDir dir;
  const std::string real = dir.path() + "/real";
  ASSERT_EQ(mkdir(real.c_str(), 0700), 0);
  ASSERT_EQ(mkdir((real + "/sockets").c_str(), 0700), 0);
  const std::string link = dir.path() + "/link";
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  EXPECT_EQ(privateDirectoryProblem(real + "/sockets"), std::nullopt);
  const std::optional<std::string> viaLink = privateDirectoryProblem(link + "/sockets");
  ASSERT_TRUE(viaLink);
  EXPECT_NE(viaLink->find(link + " on the way is a symbolic link"), std::string::npos) << *viaLink;
  EXPECT_TRUE(preparePrivateDirectory(link + "/more"));
  EXPECT_FALSE(std::filesystem::exists(real + "/more"));

  // A folder that others may write to lets them replace what is below it.
  const std::string open = dir.path() + "/open";
  ASSERT_EQ(mkdir(open.c_str(), 0700), 0);
  ASSERT_EQ(chmod(open.c_str(), 0777), 0);
  EXPECT_NE(preparePrivateDirectory(open + "/sockets")->find("can be changed by other users"),
            std::string::npos);
  ASSERT_EQ(chmod(open.c_str(), 01777), 0);  // unless it is sticky, as /tmp is
  EXPECT_EQ(preparePrivateDirectory(open + "/sockets"), std::nullopt);

  if (geteuid() == 0) {
    const std::string foreign = dir.path() + "/foreign";
    ASSERT_EQ(mkdir(foreign.c_str(), 0755), 0);
    ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
    EXPECT_NE(preparePrivateDirectory(foreign + "/sockets")->find("belongs to another user"),
              std::string::npos);
  }
}

TEST(HostLocationTest, DotDotAfterALinkIsResolvedAsTheSystemDoes) {
  // HOME/link/.. is the parent of the link's target for the system, not HOME:
  // here a folder open to all, where the socket folder must not be made.
  PrivateDir dir;
  const std::string home = dir.path() + "/home";
  const std::string open = dir.path() + "/open";
  ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(open.c_str(), 0700), 0);
  ASSERT_EQ(mkdir((open + "/target").c_str(), 0700), 0);
  ASSERT_EQ(chmod(open.c_str(), 0777), 0);
  const std::string link = home + "/link";
  ASSERT_EQ(symlink((open + "/target").c_str(), link.c_str()), 0);

  const std::optional<std::string> problem = preparePrivateDirectory(link + "/../sockets");
  ASSERT_TRUE(problem);
  EXPECT_NE(problem->find(link + " on the way is a symbolic link"), std::string::npos) << *problem;
  EXPECT_FALSE(std::filesystem::exists(open + "/sockets"));
  EXPECT_FALSE(std::filesystem::exists(home + "/sockets"));

  // Without links, "." and ".." are only other spellings.
  ASSERT_EQ(mkdir((home + "/x").c_str(), 0700), 0);
  EXPECT_EQ(preparePrivateDirectory(home + "/./x/../sockets"), std::nullopt);
  EXPECT_TRUE(std::filesystem::is_directory(home + "/sockets"));
}

TEST(HostLocationTest, OverlongSocketPathIsRefusedBeforeAnythingIsMade) {
  PrivateDir dir;
  const std::string longDir = dir.path() + "/" + std::string(100, 'd');
  const std::optional<std::string> problem = preparePrivateDirectory(longDir);
  ASSERT_TRUE(problem);
  EXPECT_NE(problem->find(longDir + "/pcb.sock is longer than the 107 bytes"), std::string::npos)
      << *problem;
  EXPECT_FALSE(std::filesystem::exists(longDir));
}

TEST(HostLocationTest, SocketPathsAndToolNames) {
  EXPECT_EQ(socketPath("/d", "pcb"), "/d/pcb.sock");
  EXPECT_TRUE(isToolName("pcb"));
  EXPECT_TRUE(isToolName("sch"));
  EXPECT_FALSE(isToolName("PCB"));
  EXPECT_FALSE(isToolName(""));
  EXPECT_FALSE(isToolName("../pcb"));
}

TEST(HostLocationTest, OnlyAPrivateDirectoryIsAccepted) {
  PrivateDir dir;
  EXPECT_EQ(privateDirectoryProblem(dir.path()), std::nullopt);

  const std::string missing = dir.path() + "/missing";
  EXPECT_TRUE(privateDirectoryProblem(missing));

  const std::string file = dir.path() + "/file";
  std::ofstream(file) << "x";
  EXPECT_NE(privateDirectoryProblem(file)->find("not a directory"), std::string::npos);

  const std::string link = dir.path() + "/link";
  ASSERT_EQ(symlink(dir.path().c_str(), link.c_str()), 0);
  EXPECT_NE(privateDirectoryProblem(link)->find("symbolic link"), std::string::npos);

  for (mode_t mode : {0750, 0705, 0701, 0777}) {
    ASSERT_EQ(chmod(dir.path().c_str(), mode), 0);
    EXPECT_NE(privateDirectoryProblem(dir.path())->find("0700"), std::string::npos) << mode;
  }
  chmod(dir.path().c_str(), 0700);
}

TEST(HostLocationTest, DirectoryOfAnotherUserIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give a directory away";
  PrivateDir dir;
  ASSERT_EQ(chown(dir.path().c_str(), 65534, 65534), 0);
  EXPECT_NE(privateDirectoryProblem(dir.path())->find("another user"), std::string::npos);
  EXPECT_TRUE(preparePrivateDirectory(dir.path()));
}

TEST(HostLocationTest, PrepareCreatesWithMode0700WhateverTheUmask) {
  PrivateDir parent;
  const std::string dir = parent.path() + "/sockets";
  const mode_t oldMask = umask(0277);
  const std::optional<std::string> problem = preparePrivateDirectory(dir);
  umask(oldMask);
  EXPECT_EQ(problem, std::nullopt);
  struct stat st;
  ASSERT_EQ(stat(dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  // Existing and private: fine again.
  EXPECT_EQ(preparePrivateDirectory(dir), std::nullopt);
  // Existing and open to others: refused, not repaired.
  chmod(dir.c_str(), 0755);
  EXPECT_TRUE(preparePrivateDirectory(dir));
  // No parent: refused with the reason.
  EXPECT_NE(preparePrivateDirectory(parent.path() + "/a/b")->find("cannot create"),
            std::string::npos);
}

}  // namespace
