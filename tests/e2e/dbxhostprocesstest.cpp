// dbxhost as a separate process, reached through the socket client.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "dbx/socketdbx.h"
#include "hostprocess.h"
#include "storage/designfile.h"

namespace {

using namespace DBX;
using tandrel::testing::HostProcess;
using tandrel::testing::makePrivateTempDir;
namespace fs = std::filesystem;

const std::string kQuad = std::string(TANDREL_EXAMPLES_DIR) + "/quad-preamp.json";

class DbxHostProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = makePrivateTempDir("dbxhost-e2e");
    work = makePrivateTempDir("dbxhost-work");
  }
  void TearDown() override {
    fs::remove_all(dir);
    fs::remove_all(work);
  }
  std::string dir;
  std::string work;
};

TComponent firstNormalComponent(SocketDbx& dbx, TConversation& ctx) {
  TComponent c;
  for (int32_t s = dbx.TGetFirstComponent(&ctx, &c); s == DBX_OK;
       s = dbx.TGetNextComponent(&ctx, &c)) {
    if (c.connectionType == DBX_COMPONENT_CONNECTION_NORMAL) return c;
  }
  ADD_FAILURE() << "no normal component";
  return c;
}

TEST_F(DbxHostProcessTest, EditsThroughTheSocketAreSavedAtomically) {
  const fs::path file = fs::path(work) / "design.json";
  fs::copy_file(kQuad, file);
  HostProcess host(file.string(), dir);
  SocketDbx dbx(dir);
  TConversation ctx;
  ASSERT_EQ(dbx.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &ctx), DBX_OK);
  TComponent c = firstNormalComponent(dbx, ctx);
  const TPoint before = c.refPoint;
  ASSERT_EQ(dbx.TMoveComponent(&ctx, 100000, -200000, &c), DBX_OK);
  EXPECT_EQ(c.refPoint, (TPoint{before.x + 100000, before.y - 200000}));
  ASSERT_EQ(dbx.TRotateComponent(&ctx, 900, c.refPoint, &c), DBX_OK);

  EXPECT_EQ(host.command("save"), "ok " + file.string());
  const dbxhost::Design saved = dbxhost::readDesignFile(file);
  const std::string refDes(getText(c.refDes));
  bool found = false;
  for (const dbxhost::PcbComponent& pc : saved.pcb.components) {
    if (pc.refDes != refDes) continue;
    found = true;
    EXPECT_EQ(pc.placement.refPoint, c.refPoint);
    EXPECT_EQ(pc.placement.rotation, c.rotationAng);
  }
  EXPECT_TRUE(found);
  // Nothing but the design file is left in the folder: the temporary is gone.
  EXPECT_EQ(std::distance(fs::directory_iterator(work), fs::directory_iterator()), 1);
  EXPECT_EQ(host.stop(SIGTERM), 0);
  EXPECT_FALSE(fs::exists(fs::path(dir) / "pcb.sock"));
}

TEST_F(DbxHostProcessTest, ASecondClientIsTurnedAwayUntilTheFirstCloses) {
  HostProcess host(kQuad, dir);
  SocketDbx first(dir), second(dir);
  TConversation a, b;
  ASSERT_EQ(first.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNameSch, &a), DBX_OK);
  EXPECT_EQ(second.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNameSch, &b), DBX_SERVER_BUSY);
  // The other tool is free.
  EXPECT_EQ(second.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &b), DBX_OK);
  EXPECT_EQ(first.TCloseDesign(&a, ""), DBX_OK);
  TConversation c;
  EXPECT_EQ(second.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNameSch, &c), DBX_OK);
}

TEST_F(DbxHostProcessTest, AKilledHostGivesReconnectCodesAndARestartedOneServesAgain) {
  auto host = std::make_unique<HostProcess>(kQuad, dir);
  SocketDbx dbx(dir);
  TConversation ctx;
  ASSERT_EQ(dbx.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &ctx), DBX_OK);
  TDesign header;
  ASSERT_EQ(dbx.TGetDesignInfo(&ctx, &header), DBX_OK);
  EXPECT_EQ(host->stop(SIGKILL), 128 + SIGKILL);

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(dbx.TGetDesignInfo(&ctx, &header), DBX_SERVER_TERMINATED);
  EXPECT_EQ(dbx.TGetDesignInfo(&ctx, &header), DBX_NO_CONNECTION);
  TConversation again;
  EXPECT_EQ(dbx.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &again),
            DBX_CONNECTION_ERROR);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

  // The stale socket files of the killed host do not stop a new one.
  host = std::make_unique<HostProcess>(kQuad, dir);
  ASSERT_EQ(dbx.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &again), DBX_OK);
  EXPECT_EQ(dbx.TGetDesignInfo(&again, &header), DBX_OK);
}

TEST_F(DbxHostProcessTest, TestHooksWorkThroughTheCommandInput) {
  HostProcess host(kQuad, dir);
  SocketDbx dbx(dir);
  TConversation ctx;
  EXPECT_EQ(host.command("busy pcb on"), "ok");
  EXPECT_EQ(dbx.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &ctx), DBX_SERVER_BUSY);
  EXPECT_EQ(host.command("busy pcb off"), "ok");
  ASSERT_EQ(dbx.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &ctx), DBX_OK);
  EXPECT_EQ(host.command("inject pcb 1 32215"), "ok");
  TDesign header;
  EXPECT_EQ(dbx.TGetDesignInfo(&ctx, &header), DBX_COMPONENT_NOT_FOUND);
  EXPECT_EQ(host.command("drop pcb 1"), "ok");
  EXPECT_EQ(dbx.TGetDesignInfo(&ctx, &header), DBX_OK);
  EXPECT_EQ(dbx.TGetDesignInfo(&ctx, &header), DBX_SERVER_TERMINATED);
  EXPECT_EQ(dbx.TGetDesignInfo(&ctx, &header), DBX_NO_CONNECTION);
  // The tool is free again after the host dropped the conversation.
  EXPECT_EQ(dbx.TOpenDesign(kOpenLanguage, kOpenVersion, kToolNamePcb, &ctx), DBX_OK);

  EXPECT_EQ(host.command("highlight pcb R1 10"), "ok");
  TItem item;
  ASSERT_EQ(dbx.TGetFirstHighlightedItem(&ctx, &item), DBX_OK);
  EXPECT_EQ(item.itemType, DBX_COMPONENT);
  EXPECT_EQ(getText(item.component.refDes), "R1");
  EXPECT_EQ(host.command("frobnicate"), "error: unknown command: frobnicate");
  EXPECT_EQ(host.command("quit"), "ok");
  EXPECT_EQ(host.stop(0), 0);
}

TEST_F(DbxHostProcessTest, ABadDesignFileIsRefusedWithItsNameAndReason) {
  const fs::path file = fs::path(work) / "broken.json";
  std::ofstream(file) << "{\"format\": \"tandrel-design\", \"version\": 1, \"nets\": [";
  std::string output;
  EXPECT_EQ(HostProcess::runToEnd(file.string(), output), 1);
  EXPECT_NE(output.find("dbxhost: " + file.string()), std::string::npos) << output;
  EXPECT_EQ(HostProcess::runToEnd(work + "/missing.json", output), 1);
  EXPECT_NE(output.find("missing.json"), std::string::npos) << output;
  EXPECT_EQ(HostProcess::runToEnd("--frob", output), 2);
  EXPECT_NE(output.find("usage: dbxhost"), std::string::npos) << output;
}

TEST_F(DbxHostProcessTest, ASocketDirectoryOpenToOthersIsRefused) {
  ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
  EXPECT_THROW(HostProcess(kQuad, dir), std::runtime_error);
}

}  // namespace
