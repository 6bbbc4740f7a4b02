#include "server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "dbx/socketdbx.h"
#include "dbx/wire.h"
#include "transportfixture.h"

using namespace DBX;
using namespace transporttest;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

bool exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::string openFrame(const char* tool) {
  return wire::frame(*wire::encodeRequest(wire::kOpenOrdinal, int32_t{0}, int32_t{18000}, tool));
}

class ServerTest : public ::testing::Test {
 protected:
  PrivateDir dir;
  std::string pcbPath = socketPath(dir.path(), "pcb");
  std::string schPath = socketPath(dir.path(), "sch");
};

TEST_F(ServerTest, ListensOnBothToolsAndRemovesSocketsOnStop) {
  {
    ServedHost host(dir.path());
    EXPECT_TRUE(exists(pcbPath));
    EXPECT_TRUE(exists(schPath));
    SocketDbx client(dir.path());
    TConversation pcb, sch;
    EXPECT_EQ(client.TOpenDesign(0, 18000, "pcb", &pcb), DBX_OK);
    EXPECT_EQ(client.TOpenDesign(0, 18000, "sch", &sch), DBX_OK);
    EXPECT_TRUE(host.engine().held(kToolPcb));
    EXPECT_TRUE(host.engine().held(kToolSch));
  }
  EXPECT_FALSE(exists(pcbPath));
  EXPECT_FALSE(exists(schPath));
}

TEST_F(ServerTest, StopEndsRunEvenBeforeItStarts) {
  FakeDbx engine;
  dbxhost::Server server(engine, dir.path());
  server.start();
  server.stop();
  server.run();  // returns at once
  EXPECT_FALSE(exists(pcbPath));
}

TEST_F(ServerTest, RunWithoutStartIsAnError) {
  FakeDbx engine;
  dbxhost::Server server(engine, dir.path());
  EXPECT_THROW(server.run(), dbxhost::ServerError);
}

TEST_F(ServerTest, CreatesAMissingDirectoryPrivate) {
  const std::string nested = dir.path() + "/host";
  FakeDbx engine;
  dbxhost::Server server(engine, nested);
  server.start();
  struct stat st;
  ASSERT_EQ(stat(nested.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_TRUE(exists(socketPath(nested, "sch")));
}

TEST_F(ServerTest, RefusesADirectoryOpenToOthers) {
  chmod(dir.path().c_str(), 0755);
  FakeDbx engine;
  dbxhost::Server server(engine, dir.path());
  try {
    server.start();
    FAIL() << "started in a shared directory";
  } catch (const dbxhost::ServerError& e) {
    EXPECT_THAT(e.what(), HasSubstr("0700"));
  }
  EXPECT_FALSE(exists(pcbPath));
}

TEST_F(ServerTest, ReplacesAStaleSocketButNotALiveHost) {
  // A socket file nobody listens on, as a killed host leaves it.
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, pcbPath.c_str(), sizeof address.sun_path - 1);
  const int stale = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(bind(stale, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  close(stale);
  ASSERT_TRUE(exists(pcbPath));

  ServedHost host(dir.path());
  SocketDbx client(dir.path());
  TConversation context;
  EXPECT_EQ(client.TOpenDesign(0, 18000, "pcb", &context), DBX_OK);

  FakeDbx engine;
  dbxhost::Server second(engine, dir.path());
  try {
    second.start();
    FAIL() << "a second host started beside a live one";
  } catch (const dbxhost::ServerError& e) {
    EXPECT_THAT(e.what(), HasSubstr("already listening"));
  }
  // The live host's sockets are untouched.
  TConversation other;
  EXPECT_EQ(client.TOpenDesign(0, 18000, "sch", &other), DBX_OK);
}

TEST_F(ServerTest, RefusesToReplaceAFileThatIsNotASocket) {
  std::ofstream(schPath) << "notes";
  FakeDbx engine;
  dbxhost::Server server(engine, dir.path());
  EXPECT_THROW(server.start(), dbxhost::ServerError);
  // Nothing half-started is left behind, and the file is kept.
  EXPECT_FALSE(exists(pcbPath));
  EXPECT_TRUE(exists(schPath));
}

// Each hostile input closes only its own connection; an open conversation of
// another client goes on, and the hostile connection's conversation is closed
// in the engine.
class GarbageTest : public ServerTest,
                    public ::testing::WithParamInterface<std::pair<std::string, std::string>> {};

TEST_P(GarbageTest, ClosesOnlyThatConnection) {
  const auto& [bytes, reason] = GetParam();
  ServedHost host(dir.path());
  SocketDbx client(dir.path());
  TConversation bystander;
  ASSERT_EQ(client.TOpenDesign(0, 18000, "sch", &bystander), DBX_OK);

  const int fd = rawConnect(pcbPath);
  ASSERT_GE(fd, 0);
  rawSend(fd, openFrame("pcb"));
  ASSERT_TRUE(eventually([&] { return host.engine().held(kToolPcb); }));
  rawSend(fd, bytes);
  if (reason == "connection ended inside a frame") shutdown(fd, SHUT_WR);
  EXPECT_TRUE(closedByPeer(fd));
  close(fd);

  EXPECT_TRUE(eventually([&] { return !host.engine().held(kToolPcb); }));
  EXPECT_THAT(host.log(), Contains("dbxhost: closed connection on pcb.sock: " + reason));
  TDesign design;
  EXPECT_EQ(client.TGetDesignInfo(&bystander, &design), DBX_OK);
  TConversation next;
  EXPECT_EQ(client.TOpenDesign(0, 18000, "pcb", &next), DBX_OK);
}

std::string lengthHeader(uint32_t length) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(length >> (8 * i));
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Frames, GarbageTest,
    ::testing::Values(
        std::pair{std::string("GET / HTTP/1.1\r\n\r\n"),
                  "frame of 542393671 bytes exceeds the limit of 65536"},
        std::pair{lengthHeader(0), "empty frame"},
        std::pair{lengthHeader(wire::kMaxFramePayload + 1),
                  "frame of 65537 bytes exceeds the limit of 65536"},
        std::pair{lengthHeader(50) + "short", "connection ended inside a frame"},
        std::pair{wire::frame(std::string("\x63\x00\x01\x02", 4)),
                  "malformed request: truncated request or overlong string"},
        std::pair{wire::frame(std::string("\x07\x00", 2)), "malformed request: unknown ordinal 7"},
        std::pair{wire::frame(std::string("\x5e\x00\x2c\x01", 4) + std::string(300, 'U')),
                  "malformed request: truncated request or overlong string"}));

TEST_F(ServerTest, ClientLeavingWithoutCloseFreesTheTool) {
  ServedHost host(dir.path());
  {
    SocketDbx leaving(dir.path());
    TConversation context;
    ASSERT_EQ(leaving.TOpenDesign(0, 18000, "pcb", &context), DBX_OK);
  }
  EXPECT_TRUE(eventually([&] { return !host.engine().held(kToolPcb); }));
  EXPECT_EQ(host.engine().closes(), 1);
  EXPECT_THAT(host.log(), IsEmpty());  // an orderly hang-up is not an error
}

TEST_F(ServerTest, ManyRequestsInOneWriteAreAllAnswered) {
  ServedHost host(dir.path());
  const int fd = rawConnect(pcbPath);
  ASSERT_GE(fd, 0);
  TDesign design;
  std::string burst = openFrame("pcb");
  for (int i = 0; i < 50; ++i) burst += wire::frame(*wire::encodeRequest(99, &design));
  rawSend(fd, burst);
  const std::size_t expected = 8 + 50 * (8 + sizeof(TDesign));
  std::string received;
  char bytes[4096];
  while (received.size() < expected) {
    pollfd p{fd, POLLIN, 0};
    ASSERT_GT(poll(&p, 1, 5000), 0);
    const ssize_t n = recv(fd, bytes, sizeof bytes, 0);
    ASSERT_GT(n, 0);
    received.append(bytes, n);
  }
  EXPECT_EQ(received.size(), expected);
  EXPECT_EQ(received.substr(0, 8), wire::frame(std::string(4, '\0')));
  close(fd);
}

}  // namespace
