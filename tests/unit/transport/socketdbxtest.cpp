#include "dbx/socketdbx.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <atomic>
#include <functional>

#include "dbx/design.h"
#include "dbx/wire.h"
#include "transportfixture.h"

using namespace DBX;
using namespace transporttest;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class SocketDbxTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(client.TOpenDesign(0, 18000, "pcb", &context), DBX_OK); }

  // Calls invoke on an unterminated record and checks that the engine got
  // the call with its arguments and the record terminated, and that the
  // caller got the engine's record back, terminated.
  template <class Record>
  void expectRoundTrip(const char* name, const std::function<int32_t(Record*)>& invoke,
                       std::vector<int32_t> numbers = {}, std::vector<std::string> texts = {}) {
    SCOPED_TRACE(name);
    Record record = patterned<Record>(21);
    const Record sent = terminated(record);
    ASSERT_EQ(invoke(&record), DBX_OK) << client.lastError();
    const FakeDbx::Call seen = host.engine().lastCall();
    EXPECT_EQ(seen.name, name);
    EXPECT_EQ(seen.handle, 1u);  // the engine's handle, not the client's
    EXPECT_EQ(seen.numbers, numbers);
    EXPECT_EQ(seen.texts, texts);
    EXPECT_EQ(seen.recordIn, bytesOf(sent));
    EXPECT_EQ(bytesOf(record), bytesOf(terminated(patterned<Record>(kAnswerSeed))));
  }

  PrivateDir dir;
  ServedHost host{dir.path()};
  SocketDbx client{dir.path()};
  TConversation context;
};

TEST_F(SocketDbxTest, OpenFillsTheContext) {
  EXPECT_NE(context.handle, 0u);
  EXPECT_EQ(context.tool, kToolPcb);
  EXPECT_EQ(host.engine().lastCall().numbers, (std::vector<int32_t>{0, 18000}));
  EXPECT_EQ(host.engine().lastCall().texts, (std::vector<std::string>{"pcb"}));
  TConversation sch;
  ASSERT_EQ(client.TOpenDesign(7, 1, "sch", &sch), DBX_OK);
  EXPECT_EQ(sch.tool, kToolSch);
  EXPECT_NE(sch.handle, context.handle);
  EXPECT_EQ(host.engine().lastCall().numbers, (std::vector<int32_t>{7, 1}));
}

TEST_F(SocketDbxTest, EveryCallRoundTrips) {
  TConversation* c = &context;
  SocketDbx& x = client;
  expectRoundTrip<TDesign>("TGetDesignInfo", [&](auto* r) { return x.TGetDesignInfo(c, r); });
  expectRoundTrip<TGrid>("TGetFirstGrid", [&](auto* r) { return x.TGetFirstGrid(c, r); });
  expectRoundTrip<TGrid>("TGetNextGrid", [&](auto* r) { return x.TGetNextGrid(c, r); });
  expectRoundTrip<TComponent>("TGetFirstComponent",
                              [&](auto* r) { return x.TGetFirstComponent(c, r); });
  expectRoundTrip<TComponent>("TGetNextComponent",
                              [&](auto* r) { return x.TGetNextComponent(c, r); });
  expectRoundTrip<TSymbol>("TGetFirstSymbol", [&](auto* r) { return x.TGetFirstSymbol(c, r); });
  expectRoundTrip<TSymbol>("TGetNextSymbol", [&](auto* r) { return x.TGetNextSymbol(c, r); });
  expectRoundTrip<TComponent>(
      "TGetCompByRefDes", [&](auto* r) { return x.TGetCompByRefDes(c, "U12", r); }, {}, {"U12"});
  expectRoundTrip<TSymbol>("TGetSymbolByRefDes",
                           [&](auto* r) { return x.TGetSymbolByRefDes(c, "U1:B", r); }, {},
                           {"U1:B"});
  expectRoundTrip<TPad>("TGetFirstCompPad",
                        [&](auto* r) { return x.TGetFirstCompPad(c, "R1", "", r); }, {},
                        {"R1", ""});
  expectRoundTrip<TPad>("TGetNextCompPad", [&](auto* r) { return x.TGetNextCompPad(c, r); });
  expectRoundTrip<TPin>("TGetFirstCompPin", [&](auto* r) { return x.TGetFirstCompPin(c, "C3", r); },
                        {}, {"C3"});
  expectRoundTrip<TPin>("TGetNextCompPin", [&](auto* r) { return x.TGetNextCompPin(c, r); });
  expectRoundTrip<TNet>("TGetFirstNet", [&](auto* r) { return x.TGetFirstNet(c, r); });
  expectRoundTrip<TNet>("TGetNextNet", [&](auto* r) { return x.TGetNextNet(c, r); });
  expectRoundTrip<TLayer>("TGetFirstLayer", [&](auto* r) { return x.TGetFirstLayer(c, r); });
  expectRoundTrip<TLayer>("TGetNextLayer", [&](auto* r) { return x.TGetNextLayer(c, r); });
  expectRoundTrip<TItem>("TGetFirstHighlightedItem",
                         [&](auto* r) { return x.TGetFirstHighlightedItem(c, r); });
  expectRoundTrip<TItem>("TGetNextHighlightedItem",
                         [&](auto* r) { return x.TGetNextHighlightedItem(c, r); });
  expectRoundTrip<TComponent>("THighlightItem",
                              [&](auto* r) { return x.THighlightItem(c, DBX_COLOR_POWDER, r); },
                              {DBX_COLOR_POWDER});
  expectRoundTrip<TComponent>("TUnHighlightItem",
                              [&](auto* r) { return x.TUnHighlightItem(c, r); });
  expectRoundTrip<TComponent>("TMoveComponent",
                              [&](auto* r) { return x.TMoveComponent(c, -254000, 2147483647, r); },
                              {-254000, 2147483647});
  expectRoundTrip<TComponent>("TFlipComponent",
                              [&](auto* r) {
                                return x.TFlipComponent(c, TPoint{-1, 5}, r);
                              },
                              {-1, 5});
  expectRoundTrip<TComponent>("TRotateComponent",
                              [&](auto* r) {
                                return x.TRotateComponent(c, 2700, TPoint{100, -200}, r);
                              },
                              {2700, 100, -200});
  expectRoundTrip<TItem>("TGetFirstPcbItem", [&](auto* r) { return x.TGetFirstPcbItem(c, r); });
  expectRoundTrip<TItem>("TGetNextPcbItem", [&](auto* r) { return x.TGetNextPcbItem(c, r); });
  expectRoundTrip<TLine>("TPlaceLine", [&](auto* r) { return x.TPlaceLine(c, r); });
  expectRoundTrip<TArc>("TPlaceArc", [&](auto* r) { return x.TPlaceArc(c, r); });
  expectRoundTrip<TVia>("TPlaceVia", [&](auto* r) { return x.TPlaceVia(c, r); });
  expectRoundTrip<TPolygon>("TPlacePolygon", [&](auto* r) { return x.TPlacePolygon(c, r); });
  expectRoundTrip<TItem>("TDeleteItem", [&](auto* r) { return x.TDeleteItem(c, r); });
  expectRoundTrip<TAttribute>("TGetFirstCompAttribute",
                              [&](auto* r) { return x.TGetFirstCompAttribute(c, "U3", r); }, {},
                              {"U3"});
  expectRoundTrip<TAttribute>("TGetNextCompAttribute",
                              [&](auto* r) { return x.TGetNextCompAttribute(c, r); });
  expectRoundTrip<TAttribute>("TModifyCompAttribute",
                              [&](auto* r) { return x.TModifyCompAttribute(c, "U3", r); }, {},
                              {"U3"});

  EXPECT_EQ(client.TCloseDesign(&context, ""), DBX_OK);
  EXPECT_EQ(host.engine().lastCall().name, "TCloseDesign");
  EXPECT_FALSE(host.engine().held(kToolPcb));
}

TEST_F(SocketDbxTest, FailedCallLeavesTheCallersRecord) {
  host.engine().answerWith(DBX_COMPONENT_NOT_FOUND);
  TComponent component = patterned<TComponent>(3);
  EXPECT_EQ(client.TGetCompByRefDes(&context, "U9", &component), DBX_COMPONENT_NOT_FOUND);
  EXPECT_EQ(bytesOf(component), bytesOf(patterned<TComponent>(3)));
  host.engine().answerWith(DBX_NO_MORE_COMPONENTS);
  EXPECT_EQ(client.TGetNextComponent(&context, &component), DBX_NO_MORE_COMPONENTS);
  host.engine().answerWith(DBX_OK);
  EXPECT_EQ(client.TGetNextComponent(&context, &component), DBX_OK);  // still connected
}

TEST_F(SocketDbxTest, SecondClientGetsBusyUntilTheFirstCloses) {
  SocketDbx second(dir.path());
  TConversation other;
  EXPECT_EQ(second.TOpenDesign(0, 18000, "pcb", &other), DBX_SERVER_BUSY);
  EXPECT_EQ(other.handle, 0u);
  TDesign design;
  EXPECT_EQ(second.TGetDesignInfo(&other, &design), DBX_NO_CONNECTION);
  // The busy answer left no connection behind holding anything.
  EXPECT_EQ(client.TGetDesignInfo(&context, &design), DBX_OK);

  ASSERT_EQ(client.TCloseDesign(&context, ""), DBX_OK);
  EXPECT_EQ(second.TOpenDesign(0, 18000, "pcb", &other), DBX_OK);
  EXPECT_EQ(second.TGetDesignInfo(&other, &design), DBX_OK);
}

TEST_F(SocketDbxTest, UnknownOrClosedHandleHasNoConnection) {
  TDesign design;
  TConversation never;
  EXPECT_EQ(client.TGetDesignInfo(&never, &design), DBX_NO_CONNECTION);
  TConversation forged = context;
  forged.handle += 100;
  EXPECT_EQ(client.TGetDesignInfo(&forged, &design), DBX_NO_CONNECTION);
  EXPECT_EQ(client.TGetDesignInfo(nullptr, &design), DBX_NO_CONNECTION);
  // Another client's handle means nothing here.
  SocketDbx other(dir.path());
  EXPECT_EQ(other.TGetDesignInfo(&context, &design), DBX_NO_CONNECTION);

  ASSERT_EQ(client.TCloseDesign(&context, ""), DBX_OK);
  EXPECT_EQ(client.TGetDesignInfo(&context, &design), DBX_NO_CONNECTION);
  EXPECT_EQ(client.TCloseDesign(&context, ""), DBX_NO_CONNECTION);
}

TEST_F(SocketDbxTest, BadArgumentsAreRefusedAndTheConversationGoesOn) {
  EXPECT_EQ(client.TGetDesignInfo(&context, nullptr), DBX_BAD_INPUT);
  TComponent component;
  EXPECT_EQ(client.TGetCompByRefDes(&context, nullptr, &component), DBX_BAD_INPUT);
  const std::string longName(300, 'U');
  EXPECT_EQ(client.TGetCompByRefDes(&context, longName.c_str(), &component), DBX_BAD_INPUT);
  EXPECT_THAT(client.lastError(), HasSubstr("255"));
  EXPECT_EQ(client.TGetCompByRefDes(&context, "U1", &component), DBX_OK);
}

TEST_F(SocketDbxTest, OpenRefusesBadToolNamesAndContexts) {
  TConversation other;
  EXPECT_EQ(client.TOpenDesign(0, 18000, "PCB", &other), DBX_BAD_INPUT);
  EXPECT_EQ(client.TOpenDesign(0, 18000, "../pcb", &other), DBX_BAD_INPUT);
  EXPECT_EQ(client.TOpenDesign(0, 18000, nullptr, &other), DBX_BAD_INPUT);
  EXPECT_EQ(client.TOpenDesign(0, 18000, "sch", nullptr), DBX_BAD_INPUT);
}

TEST_F(SocketDbxTest, ReopeningAContextGivesUpItsConversation) {
  // The first conversation holds the tool; reopening the same context must
  // not find it busy with itself.
  EXPECT_EQ(client.TOpenDesign(0, 18000, "pcb", &context), DBX_OK);
  TDesign design;
  EXPECT_EQ(client.TGetDesignInfo(&context, &design), DBX_OK);
}

TEST_F(SocketDbxTest, ConversationEndedByTheHostIsForgotten) {
  host.engine().answerWith(DBX_SERVER_TERMINATED);
  TDesign design;
  EXPECT_EQ(client.TGetDesignInfo(&context, &design), DBX_SERVER_TERMINATED);
  host.engine().answerWith(DBX_OK);
  EXPECT_EQ(client.TGetDesignInfo(&context, &design), DBX_NO_CONNECTION);
}

TEST(SocketDbxHostlessTest, OpenWithoutAHostIsAConnectionError) {
  PrivateDir dir;
  SocketDbx client(dir.path());
  TConversation context;
  EXPECT_EQ(client.TOpenDesign(0, 18000, "pcb", &context), DBX_CONNECTION_ERROR);
  EXPECT_THAT(client.lastError(), HasSubstr("no host at"));
  EXPECT_EQ(context.handle, 0u);

  SocketDbx nowhere(dir.path() + "/missing");
  EXPECT_EQ(nowhere.TOpenDesign(0, 18000, "pcb", &context), DBX_CONNECTION_ERROR);

  SocketDbx tooLong(dir.path() + "/" + std::string(120, 'd'));
  ASSERT_EQ(mkdir(tooLong.dir().c_str(), 0700), 0);
  EXPECT_EQ(tooLong.TOpenDesign(0, 18000, "pcb", &context), DBX_CONNECTION_ERROR);
  EXPECT_THAT(tooLong.lastError(), HasSubstr("too long"));
}

TEST(SocketDbxHostlessTest, LoadingWithoutAHostNamesTheSocketAndHowToStartOne) {
  PrivateDir dir;
  SocketDbx client(dir.path());
  Design design(client);
  try {
    design.selectTool(kToolSch);
    FAIL() << "no host, yet the load went through";
  } catch (const DBXException& e) {
    EXPECT_EQ(e.detail, "DBX_CONNECTION_ERROR (32001)");
    EXPECT_EQ(std::string(e.what()),
              "DBX: DBX call error(DBX_CONNECTION_ERROR (32001))\nSocket tried: " + dir.path() +
                  "/sch.sock\nStart the host on a design first, with its window:\n"
                  "    build/host/dbxhost DESIGN.json\nor without:\n"
                  "    build/host/dbxhost --headless examples/quad-preamp.json");
  }
  EXPECT_EQ(design.tool(), kToolNone);
}

TEST(SocketDbxHostlessTest, RefusesADirectoryOpenToOthers) {
  PrivateDir dir;
  ServedHost host(dir.path());
  chmod(dir.path().c_str(), 0711);
  SocketDbx client(dir.path());
  TConversation context;
  EXPECT_EQ(client.TOpenDesign(0, 18000, "pcb", &context), DBX_CONNECTION_ERROR);
  EXPECT_THAT(client.lastError(), HasSubstr("0700"));
  EXPECT_FALSE(host.engine().held(kToolPcb));
  chmod(dir.path().c_str(), 0700);
  EXPECT_EQ(client.TOpenDesign(0, 18000, "pcb", &context), DBX_OK);
}

// A host process killed in the middle of a conversation.
TEST(SocketDbxKilledHostTest, CallsAnswerReconnectCodesWithoutHanging) {
  PrivateDir dir;
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    FakeDbx engine;
    dbxhost::Server server(engine, dir.path());
    server.start();
    const char byte = 1;
    if (write(ready[1], &byte, 1) != 1) _exit(1);
    server.run();
    _exit(0);
  }
  close(ready[1]);
  pollfd p{ready[0], POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 10000), 1);
  close(ready[0]);

  SocketDbx client(dir.path(), std::chrono::seconds(20));
  TConversation context;
  ASSERT_EQ(client.TOpenDesign(0, 18000, "pcb", &context), DBX_OK) << client.lastError();
  TComponent component = patterned<TComponent>(1);
  ASSERT_EQ(client.TGetFirstComponent(&context, &component), DBX_OK);

  kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);

  const TComponent before = component;
  EXPECT_EQ(client.TGetNextComponent(&context, &component), DBX_SERVER_TERMINATED);
  EXPECT_THAT(client.lastError(), Not(HasSubstr("in time")));  // noticed, not waited out
  EXPECT_EQ(bytesOf(component), bytesOf(before));
  EXPECT_EQ(client.TGetNextComponent(&context, &component), DBX_NO_CONNECTION);
  EXPECT_EQ(client.TOpenDesign(0, 18000, "pcb", &context), DBX_CONNECTION_ERROR);
}

// A host that accepts requests and answers them from a script, one reply per
// request; nothing for a missing reply.
class ScriptedHost {
 public:
  ScriptedHost(const std::string& dir, std::vector<std::string> replies)
      : replies_(std::move(replies)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = socketPath(dir, "pcb");
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 4) != 0)
      throw std::runtime_error("cannot listen");
    thread_ = std::thread([this] { serve(); });
  }
  ~ScriptedHost() {
    shutdown(listener_, SHUT_RDWR);
    if (const int fd = connection_.load(); fd >= 0) shutdown(fd, SHUT_RDWR);
    thread_.join();
    close(listener_);
  }

 private:
  void serve() {
    const int fd = accept(listener_, nullptr, nullptr);
    if (fd < 0) return;
    connection_ = fd;
    wire::FrameBuffer input;
    std::size_t answered = 0;
    char bytes[4096];
    std::string payload, reason;
    for (;;) {
      const ssize_t n = recv(fd, bytes, sizeof bytes, 0);
      if (n <= 0) break;
      input.append(bytes, n);
      while (input.next(payload, reason) == wire::FrameBuffer::Result::kFrame &&
             answered < replies_.size()) {
        const std::string& reply = replies_[answered++];
        send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
      }
    }
    connection_ = -1;
    close(fd);
  }

  std::vector<std::string> replies_;
  int listener_ = -1;
  std::atomic<int> connection_{-1};
  std::thread thread_;
};

const std::string kOpened = wire::frame(std::string(4, '\0'));

struct BadHostCase {
  const char* name;
  std::vector<std::string> replies;
  int32_t openStatus;
  int32_t callStatus;
  const char* error;
};

void PrintTo(const BadHostCase& c, std::ostream* out) { *out << c.name; }

class BadHostTest : public ::testing::TestWithParam<BadHostCase> {};

TEST_P(BadHostTest, NeverHangsOrCrashes) {
  const BadHostCase& c = GetParam();
  PrivateDir dir;
  ScriptedHost host(dir.path(), c.replies);
  SocketDbx client(dir.path(), std::chrono::milliseconds(300));
  TConversation context;
  ASSERT_EQ(client.TOpenDesign(0, 18000, "pcb", &context), c.openStatus) << client.lastError();
  if (c.openStatus == DBX_OK) {
    TComponent component = patterned<TComponent>(4);
    EXPECT_EQ(client.TGetFirstComponent(&context, &component), c.callStatus);
    EXPECT_THAT(client.lastError(), HasSubstr(c.error));
    EXPECT_EQ(bytesOf(component), bytesOf(patterned<TComponent>(4)));
    EXPECT_EQ(client.TGetNextComponent(&context, &component), DBX_NO_CONNECTION);
  } else {
    EXPECT_THAT(client.lastError(), HasSubstr(c.error));
  }
}

std::string statusWith(const std::string& tail) { return wire::frame(std::string(4, '\0') + tail); }

INSTANTIATE_TEST_SUITE_P(
    Answers, BadHostTest,
    ::testing::Values(
        BadHostCase{"SilentOnOpen", {}, DBX_CALL_TIMEOUT, 0, "in time"},
        BadHostCase{"GarbageOnOpen", {"garbage!"}, DBX_CONNECTION_ERROR, 0, "bad answer"},
        BadHostCase{"SilentOnCall", {kOpened}, DBX_OK, DBX_CALL_TIMEOUT, "in time"},
        BadHostCase{"ShortRecord",
                    {kOpened, statusWith(std::string(sizeof(TComponent) - 1, 'x'))},
                    DBX_OK,
                    DBX_SERVER_TERMINATED,
                    "malformed"},
        BadHostCase{"OversizedAnswer",
                    {kOpened, std::string("\xff\xff\xff\x7f", 4)},
                    DBX_OK,
                    DBX_SERVER_TERMINATED,
                    "exceeds the limit"},
        BadHostCase{"AnswerCutShort",
                    {kOpened, statusWith(std::string(sizeof(TComponent), 'x')).substr(0, 50)},
                    DBX_OK,
                    DBX_CALL_TIMEOUT,
                    "in time"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
