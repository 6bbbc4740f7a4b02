// The design access against the host engine: in process with failure
// injection, and once through the sockets of a real dbxhost process.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "dbx/design.h"
#include "dbx/socketdbx.h"
#include "diag/designdump.h"
#include "engine/hostdbx.h"
#include "scriptedui.h"
#include "storage/designfile.h"
#include "stringdumper.h"

extern char** environ;

namespace {

using namespace DBX;
using ::testing::ElementsAre;
using testing_diag::ScriptedUi;

const std::string kQuad = std::string(TANDREL_EXAMPLES_DIR) + "/quad-preamp.json";

std::string dumpOf(const Design& design) {
  testing_diag::StringDumper out;
  dumpDesign(design, out);
  return out.text;
}

std::vector<std::string> refDesOf(const Design::DPack& pack) {
  std::vector<std::string> result;
  for (const auto& [key, component] : pack.components().left) result.push_back(key.str());
  return result;
}

class DesignHostTest : public ::testing::Test {
 protected:
  Component& at(uint8_t tool, const char* refDes) {
    return *design.pack(tool).components().left.at(refDes);
  }

  ScriptedUi ui;
  dbxhost::HostDbx host{dbxhost::readDesignFile(kQuad)};
  Design design{host};
};

TEST_F(DesignHostTest, SchematicOfTheQuadExample) {
  design.selectTool(kToolSch);
  EXPECT_FALSE(host.isHeld(kToolSch));
  const auto refDes = refDesOf(design.pack(kToolSch));
  EXPECT_EQ(refDes.size(), 33u);
  for (const char* absent : {"#PWR1", "#SC1", "NT1", "U1"}) {
    EXPECT_EQ(std::count(refDes.begin(), refDes.end(), absent), 0) << absent;
  }
  std::vector<std::string> gateA;
  std::vector<std::string> gateB;
  for (const auto& [pin, info] : at(kToolSch, "U1:A").pins) gateA.push_back(pin);
  for (const auto& [pin, info] : at(kToolSch, "U1:B").pins) gateB.push_back(pin);
  EXPECT_THAT(gateA, ElementsAre("1", "2", "3", "4", "8"));
  EXPECT_THAT(gateB, ElementsAre("5", "6", "7"));
  EXPECT_EQ(at(kToolSch, "U1:B").sheetId, 2);
  EXPECT_EQ(design.sheetName(2), "Channel1");
  EXPECT_EQ(getText(at(kToolSch, "U1:B").record.compType), "OPA2134");
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(ui.waitDepth, 0);
}

TEST_F(DesignHostTest, PcbOfTheQuadExample) {
  design.selectTool(kToolPcb);
  EXPECT_EQ(design.pack(kToolPcb).components().left.size(), 29u);  // not the net tie
  EXPECT_FALSE(design.pack(kToolPcb).components().left.contains("NT1"));
  EXPECT_EQ(design.pack(kToolPcb).gridStep(), 127000);  // the relative grid, 1.27mm
  EXPECT_EQ(at(kToolPcb, "U1").pins.size(), 8u);
  EXPECT_FALSE(design.pack(kToolPcb).nets().empty());
}

TEST_F(DesignHostTest, BusyHostGivesOneBoxAndKeepsTheTool) {
  design.selectTool(kToolSch);
  host.setBusy(kToolPcb, true);
  try {
    design.selectTool(kToolPcb);
    FAIL() << "no exception";
  } catch (const DBXException& error) {
    EXPECT_EQ(error.detail, "DBX_SERVER_BUSY (32106)");
  }
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(design.tool(), kToolSch);
}

TEST_F(DesignHostTest, VanishedComponentsAreReportedTogether) {
  design.selectTool(kToolPcb);
  host.withDesign([](dbxhost::Design& d) {
    std::erase_if(d.pcb.components, [](const dbxhost::PcbComponent& c) {
      return c.refDes == "R1" || c.refDes == "C8";
    });
  });
  design.connect(kToolPcb);
  design.verifyComponents();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text,
            "Design was modified:\nDBX_COMPONENT_NOT_FOUND (32215)\nDBX_COMPONENT_NOT_FOUND "
            "(32215)");
  EXPECT_TRUE(design.pack(kToolPcb).components().left.contains("R1"));
}

TEST_F(DesignHostTest, InterruptedReadsAreReadAgainCompletely) {
  Design reference(host);
  reference.selectTool(kToolPcb);
  reference.selectTool(kToolSch);
  const std::string complete = dumpOf(reference);
  reference.clear();

  host.injectStatus(kToolPcb, 60, DBX_FATAL_ERROR);
  EXPECT_THROW(design.selectTool(kToolPcb), DBXException);
  EXPECT_FALSE(host.isHeld(kToolPcb));
  host.dropAfter(kToolSch, 80);  // the host ends the conversation mid-read
  EXPECT_THROW(design.selectTool(kToolSch), DBXException);
  // A read that fails keeps nothing of what it had read.
  EXPECT_TRUE(design.pack(kToolSch).components().empty());

  design.selectTool(kToolPcb);
  design.selectTool(kToolSch);
  EXPECT_EQ(dumpOf(design), complete);
  EXPECT_EQ(design.loadedMask(), (1u << kToolPcb) | (1u << kToolSch));
}

TEST_F(DesignHostTest, PlacementFollowsTheTemplate) {
  host.withDesign([](dbxhost::Design& d) {
    for (auto& c : d.pcb.components) {
      if (c.refDes == "U1") c.placement = {{2600000, 5500000}, 900, true};
    }
  });
  design.selectTool(kToolPcb);
  Component& u1 = at(kToolPcb, "U1");
  Component& u2 = at(kToolPcb, "U2");
  {
    Lock batch(design, false);
    u2.placeAt(4000000, 1000000, &u1);
  }
  EXPECT_EQ(u2.record.refPoint, (TPoint{4000000, 1000000}));
  EXPECT_EQ(u2.record.isFlipped, 1);
  EXPECT_EQ(u2.record.rotationAng, 900);
  const auto placed = host.readDesign([](const dbxhost::Design& d) {
    return std::find_if(d.pcb.components.begin(), d.pcb.components.end(),
                        [](const auto& c) { return c.refDes == "U2"; })
        ->placement;
  });
  EXPECT_EQ(placed, (dbxhost::Placement{{4000000, 1000000}, 900, true}));
}

TEST_F(DesignHostTest, HighlightRoundTripAndHighlightedDesignators) {
  design.selectTool(kToolPcb);
  at(kToolPcb, "R3").setHighlight(DBX_COLOR_RED);
  at(kToolPcb, "C1").setHighlight(DBX_COLOR_BLUE);
  host.withDesign([](dbxhost::Design& d) {
    for (auto& c : d.pcb.components) {
      if (c.refDes == "NT1") c.highlight = DBX_COLOR_RED;  // a link: skipped
    }
  });
  std::vector<std::string> pcb;
  design.highlightedRefDes(pcb);
  std::sort(pcb.begin(), pcb.end());
  EXPECT_THAT(pcb, ElementsAre("C1", "R3"));
  at(kToolPcb, "C1").setHighlight(0);
  EXPECT_EQ(at(kToolPcb, "C1").record.isHighlighted, 0);

  design.selectTool(kToolSch);
  at(kToolSch, "U2:B").setHighlight(DBX_COLOR_GREEN);
  std::vector<std::string> sch{"kept"};
  design.highlightedRefDes(sch);
  EXPECT_THAT(sch, ElementsAre("kept", "U2:B"));
}

TEST_F(DesignHostTest, HighlightSurvivesADroppedConversation) {
  design.selectTool(kToolPcb);
  Lock batch(design, false);
  host.dropAfter(kToolPcb, 0);
  at(kToolPcb, "R3").setHighlight(DBX_COLOR_RED);
  EXPECT_EQ(at(kToolPcb, "R3").record.isHighlighted, DBX_COLOR_RED);
}

// ---- through the sockets of a real host process ----

class HostProcess {
 public:
  HostProcess(const std::string& design, const std::string& dir) {
    int out[2];
    int in[2];
    if (pipe(out) != 0 || pipe(in) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::string_view(*e).starts_with("TANDREL_DBX_DIR=")) continue;
      env.emplace_back(*e);
    }
    env.push_back("TANDREL_DBX_DIR=" + dir);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = TANDREL_DBXHOST;
    std::string headless = "--headless";
    std::string file = design;
    char* argv[] = {program.data(), headless.data(), file.data(), nullptr};
    const int spawned = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
    if (spawned != 0) {
      pid_ = -1;
      throw std::runtime_error("cannot start " + program);
    }
  }
  ~HostProcess() {
    close(stdin_);
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    close(stdout_);
  }

  // Waits for the line that says the sockets are listening.
  bool waitUntilListening(std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::string seen;
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd readable{stdout_, POLLIN, 0};
      if (poll(&readable, 1, 100) <= 0) continue;
      char buffer[512];
      const ssize_t n = read(stdout_, buffer, sizeof buffer);
      if (n <= 0) return false;
      seen.append(buffer, static_cast<std::size_t>(n));
      if (seen.find("listening in") != std::string::npos) return true;
    }
    return false;
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
};

TEST(DesignSocketTest, QuadExampleThroughARealHostMatchesTheInProcessLoad) {
  ScriptedUi ui;
  char pattern[] = "/tmp/tandrel-access-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  HostProcess process(kQuad, dir);
  ASSERT_TRUE(process.waitUntilListening(std::chrono::seconds(20)));

  SocketDbx socket(dir);
  Design remote(socket);
  remote.selectTool(kToolSch);
  remote.selectTool(kToolPcb);

  dbxhost::HostDbx host(dbxhost::readDesignFile(kQuad));
  Design local(host);
  local.selectTool(kToolSch);
  local.selectTool(kToolPcb);

  EXPECT_EQ(dumpOf(remote), dumpOf(local));
  EXPECT_EQ(remote.sheets().left, local.sheets().left);
  EXPECT_EQ(remote.pack(kToolPcb).gridStep(), local.pack(kToolPcb).gridStep());
  EXPECT_EQ(refDesOf(remote.pack(kToolSch)).size(), 33u);
  EXPECT_TRUE(ui.boxes.empty());

  // A later selection verifies over the socket as well.
  remote.selectTool(kToolSch);
  EXPECT_TRUE(ui.boxes.empty());
  std::filesystem::remove_all(dir);
}

}  // namespace
