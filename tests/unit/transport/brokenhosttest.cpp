// The design access against hosts that went wrong, over real sockets: walks
// that never end, calls that are never answered, records of random bytes,
// answers in pieces or with bytes after them.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "dbx/design.h"
#include "dbx/socketdbx.h"
#include "detailof.h"
#include "engine/hostdbx.h"
#include "engine/server.h"
#include "fakehost.h"
#include "scriptedui.h"
#include "storage/designfile.h"
#include "transportfixture.h"

namespace {

using namespace DBX;
using namespace transporttest;
using testing_dbx::detailOf;
using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kShortTimeout{200};

// The quad example served by a real host engine on a thread.
class QuadHost {
 public:
  explicit QuadHost(const std::string& dir)
      : engine_(dbxhost::readDesignFile(std::string(TANDREL_EXAMPLES_DIR) + "/quad-preamp.json")),
        server_(engine_, dir) {
    server_.setLogSink([](const std::string&) {});
    server_.start();
    thread_ = std::thread([this] { server_.run(); });
  }
  ~QuadHost() {
    server_.stop();
    thread_.join();
  }

 private:
  dbxhost::HostDbx engine_;
  dbxhost::Server server_;
  std::thread thread_;
};

class BrokenHostTest : public ::testing::Test {
 protected:
  testing_diag::ScriptedUi ui;
  PrivateDir dir;
  SocketDbx client{dir.path(), kShortTimeout};
  Design design{client};
};

TEST_F(BrokenHostTest, StalledHostCostsOneTimeoutPerAction) {
  auto host = std::make_unique<QuadHost>(dir.path());
  design.selectTool(kToolPcb);
  const std::size_t components = design.pack(kToolPcb).components().left.size();
  ASSERT_GT(components, 20u);
  host.reset();  // the host restarts and from now on answers no call

  FakeHost stalled(dir.path(), FakeHost::Mode::kStalledCalls);
  const auto start = Clock::now();
  EXPECT_EQ(detailOf([&] { design.selectTool(kToolPcb); }), "DBX_CALL_TIMEOUT (32902)");
  const auto took = Clock::now() - start;
  EXPECT_EQ(stalled.opens(), 1);  // the reconnection to the restarted host
  EXPECT_EQ(stalled.calls(), 1);  // the first verification, not one per component
  EXPECT_LT(took, kShortTimeout * 5) << "components: " << components;
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(design.pack(kToolPcb).components().left.size(), components);  // nothing lost
}

TEST_F(BrokenHostTest, AHostThatNeverAnswersTheOpenTimesOutAndSaysSo) {
  FakeHost silent(dir.path(), FakeHost::Mode::kSilentOpen);
  const auto start = Clock::now();
  try {
    design.selectTool(kToolPcb);
    ADD_FAILURE() << "no DBXException";
  } catch (const DBXException& error) {
    EXPECT_EQ(error.detail, "DBX_CALL_TIMEOUT (32902)");
    const std::string message = error.what();
    EXPECT_NE(message.find("accepted the connection but did not answer"), std::string::npos)
        << message;
    EXPECT_EQ(message.find("Start the host"), std::string::npos) << message;
  }
  EXPECT_LT(Clock::now() - start, kShortTimeout * 3);
  EXPECT_EQ(silent.opens(), 1);
  EXPECT_EQ(design.tool(), kToolNone);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(BrokenHostTest, EndlessWalkEndsWithTooManyItems) {
  FakeHost endless(dir.path(), FakeHost::Mode::kEndlessWalk);
  design.setWalkLimits({.perWalk = 500, .perAction = 5000});
  EXPECT_EQ(detailOf([&] { design.selectTool(kToolPcb); }), "DBX_TOO_MANY_ITEMS (32901)");
  // The header; the grid walk, whose first grid is the current one; the first
  // component; its pads until one too many; the close.
  EXPECT_EQ(endless.calls(), 1 + 1 + 1 + 501 + 1);
  EXPECT_EQ(design.loadedMask(), 0u);
}

TEST_F(BrokenHostTest, AReadEndedByTheWalkLimitKeepsNothingItRead) {
  FakeHost endless(dir.path(), FakeHost::Mode::kEndlessComponents);
  design.setWalkLimits({.perWalk = 3000, .perAction = 100000});
  EXPECT_EQ(detailOf([&] { design.selectTool(kToolPcb); }), "DBX_TOO_MANY_ITEMS (32901)");
  EXPECT_GT(endless.calls(), 3000);  // the components were read, each with its pads walk
  EXPECT_TRUE(design.pack(kToolPcb).components().left.empty());
  EXPECT_EQ(design.loadedMask(), 0u);
}

TEST_F(BrokenHostTest, GarbageRecordsAreReadSafely) {
  FakeHost garbage(dir.path(), FakeHost::Mode::kGarbageRecords);
  for (const uint8_t tool : {kToolPcb, kToolSch}) {
    SCOPED_TRACE(static_cast<int>(tool));
    design.clear();
    try {
      design.selectTool(tool);
    } catch (const DBXException&) {
      // A random record may name a component the host then cannot find.
    }
    for (const auto& [key, component] : design.pack(tool).components().left) {
      EXPECT_LT(key.str().size(), sizeof component->record.refDes);
      EXPECT_LT(getText(component->record.compType).size(), sizeof component->record.compType);
    }
  }
  EXPECT_GT(garbage.calls(), FakeHost::kGarbageWalkLength);
}

TEST_F(BrokenHostTest, AnswersInPiecesAreReadWholeAndStrayBytesRefused) {
  TConversation context{};
  TDesign header{};
  header.relGridId = 7;
  {
    FakeHost trickled(dir.path(), FakeHost::Mode::kTrickled);
    ASSERT_EQ(client.TOpenDesign(0, 18000, kToolNamePcb, &context), DBX_OK) << client.lastError();
    EXPECT_EQ(client.TGetDesignInfo(&context, &header), DBX_OK) << client.lastError();
    EXPECT_EQ(header.relGridId, 7);  // the record came back whole
  }
  FakeHost trailing(dir.path(), FakeHost::Mode::kTrailingBytes);
  EXPECT_EQ(client.TOpenDesign(0, 18000, kToolNamePcb, &context), DBX_CONNECTION_ERROR);
  EXPECT_EQ(client.lastError(), "bad answer from host: bytes after the answer");
}

}  // namespace
