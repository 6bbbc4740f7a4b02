#include "engine/server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

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

TEST_F(ServerTest, SilentClientIsClosedAfterTheIdleLimitAndTheToolIsFree) {
  ServedHost host(dir.path(), std::chrono::milliseconds(150));
  const int silent = rawConnect(pcbPath);
  ASSERT_GE(silent, 0);
  rawSend(silent, wire::frame(*wire::encodeRequest(wire::kOpenOrdinal, 0, 18000, "pcb")));
  ASSERT_TRUE(eventually([&] { return host.engine().held(kToolPcb); }));

  // A client that keeps talking stays, however long it takes in all.
  SocketDbx busy(dir.path());
  TConversation context;
  ASSERT_EQ(busy.TOpenDesign(0, 18000, "sch", &context), DBX_OK);
  for (int i = 0; i < 6; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    TDesign header;
    ASSERT_EQ(busy.TGetDesignInfo(&context, &header), DBX_OK) << i;
  }

  EXPECT_TRUE(closedByPeer(silent));
  EXPECT_FALSE(host.engine().held(kToolPcb));
  EXPECT_THAT(host.log(), ::testing::Contains("dbxhost: closed connection on pcb.sock: idle for "
                                              "longer than 150 ms"));
  close(silent);
  SocketDbx next(dir.path());
  EXPECT_EQ(next.TOpenDesign(0, 18000, "pcb", &context), DBX_OK);
}

TEST_F(ServerTest, ADribblingClientLosesTheToolAtTheFrameLimit) {
  // Each byte comes well within the idle limit, the frame never within the
  // frame limit.
  ServedHost host(dir.path(), std::chrono::seconds(2), std::chrono::milliseconds(300));
  const int holder = rawConnect(pcbPath);
  ASSERT_GE(holder, 0);
  rawSend(holder, openFrame("pcb"));
  ASSERT_TRUE(eventually([&] { return host.engine().held(kToolPcb); }));
  TDesign design;
  const std::string request = wire::frame(*wire::encodeRequest(99, &design));
  const auto start = std::chrono::steady_clock::now();
  bool closed = false;
  for (std::size_t i = 0; i + 1 < request.size() && !closed; ++i) {
    if (send(holder, request.data() + i, 1, MSG_NOSIGNAL) != 1) break;
    closed = closedByPeer(holder, std::chrono::milliseconds(100));
  }
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(closed || closedByPeer(holder));
  EXPECT_LT(took, std::chrono::seconds(2));
  EXPECT_TRUE(eventually([&] { return !host.engine().held(kToolPcb); }));
  EXPECT_THAT(host.log(), Contains("dbxhost: closed connection on pcb.sock: a frame took longer "
                                   "than 300 ms"));
  close(holder);

  // Whole frames, however far apart within the idle limit, are served.
  SocketDbx client(dir.path());
  TConversation context;
  ASSERT_EQ(client.TOpenDesign(0, 18000, "pcb", &context), DBX_OK);
  for (int i = 0; i < 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(client.TGetDesignInfo(&context, &design), DBX_OK) << i;
  }
}

TEST(NonBlockingLogSinkTest, APipeNobodyReadsCostsLinesNotTime) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  const dbxhost::Server::LogSink sink = dbxhost::nonBlockingLogSink(fds[1]);
  // A refusal quoting a huge input, many times over: far more than the pipe
  // holds. Waiting for a reader would hang here.
  const std::string huge = "dbxhost: refused " + std::string(50'000, 'n');
  constexpr int kLines = 2000;
  for (int i = 0; i < kLines; ++i) sink(huge);

  std::string taken;
  char bytes[65536];
  ASSERT_EQ(fcntl(fds[0], F_SETFL, O_NONBLOCK), 0);
  for (ssize_t n; (n = read(fds[0], bytes, sizeof bytes)) > 0;) taken.append(bytes, std::size_t(n));
  const std::string cutLine = huge.substr(0, 1000) + "... (49017 more bytes)\n";
  ASSERT_FALSE(taken.empty());
  ASSERT_EQ(taken.size() % cutLine.size(), 0u);
  const std::size_t written = taken.size() / cutLine.size();
  EXPECT_EQ(taken.substr(0, cutLine.size()), cutLine);
  EXPECT_LT(written, std::size_t(kLines));

  // Once there is room again, the next line says what was lost.
  sink("dbxhost: next");
  const ssize_t n = read(fds[0], bytes, sizeof bytes);
  ASSERT_GT(n, 0);
  EXPECT_EQ(std::string(bytes, std::size_t(n)),
            "dbxhost: " + std::to_string(kLines - written) +
                " log lines dropped: the log was full\ndbxhost: next\n");
  close(fds[0]);
  close(fds[1]);
}

TEST_F(ServerTest, HangsUpAfterTheEngineEndsTheConversation) {
  ServedHost host(dir.path());
  const int fd = rawConnect(pcbPath);
  ASSERT_GE(fd, 0);
  rawSend(fd, openFrame("pcb"));
  ASSERT_TRUE(eventually([&] { return host.engine().held(kToolPcb); }));
  host.engine().answerWith(DBX_SERVER_TERMINATED);
  TDesign design;
  rawSend(fd, wire::frame(*wire::encodeRequest(99, &design)));
  char answer[8 + 8];
  ASSERT_EQ(recv(fd, answer, 8, MSG_WAITALL), 8);  // open's answer
  ASSERT_EQ(recv(fd, answer + 8, 8, MSG_WAITALL), 8);
  EXPECT_EQ(std::string(answer + 8, 8), wire::frame(std::string("\x66\x7d\x00\x00", 4)));
  EXPECT_TRUE(closedByPeer(fd));
  close(fd);
}

// Runs in a child process: leaves the server room for exactly one more
// descriptor, so that the second client cannot be accepted.
[[noreturn]] void serveWithOneFreeDescriptor(const std::string& dir, int logFd, int readyFd) {
  FakeDbx engine;
  dbxhost::Server server(engine, dir);
  server.setLogSink([logFd](const std::string& line) {
    const std::string text = line + "\n";
    if (write(logFd, text.data(), text.size()) < 0) _exit(2);
  });
  server.start();
  std::vector<int> freeFds;
  for (int fd = 0; freeFds.size() < 2; ++fd)
    if (fcntl(fd, F_GETFD) < 0) freeFds.push_back(fd);
  const rlimit limit{static_cast<rlim_t>(freeFds[1]), static_cast<rlim_t>(freeFds[1])};
  if (setrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(3);
  if (write(readyFd, "r", 1) != 1) _exit(4);
  server.run();
  _exit(0);
}

TEST_F(ServerTest, OutOfDescriptorsPausesAcceptingAndKeepsServing) {
#ifdef __SANITIZE_ADDRESS__
  // The sanitizer runtime opens descriptors of its own to check memory; with
  // none left it reports errors that are not the server's.
  GTEST_SKIP() << "needs every descriptor for the server";
#endif
  int logPipe[2], readyPipe[2];
  ASSERT_EQ(pipe(logPipe), 0);
  ASSERT_EQ(pipe(readyPipe), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) serveWithOneFreeDescriptor(dir.path(), logPipe[1], readyPipe[1]);
  close(logPipe[1]);
  close(readyPipe[1]);
  char ready;
  ASSERT_EQ(read(readyPipe[0], &ready, 1), 1);

  SocketDbx client(dir.path());
  TConversation context;
  ASSERT_EQ(client.TOpenDesign(0, 18000, "pcb", &context), DBX_OK) << client.lastError();
  const int refused = rawConnect(pcbPath);  // sits in the backlog
  ASSERT_GE(refused, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  TDesign design;
  EXPECT_EQ(client.TGetDesignInfo(&context, &design), DBX_OK);

  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  close(refused);
  std::string log;
  char bytes[4096];
  for (ssize_t n; (n = read(logPipe[0], bytes, sizeof bytes)) > 0;) log.append(bytes, n);
  close(logPipe[0]);
  close(readyPipe[0]);
  // Paused between attempts, the host logs a few lines, not one per spin.
  std::size_t lines = 0;
  for (std::size_t at = 0; (at = log.find("dbxhost: accept on pcb.sock", at)) != std::string::npos;
       ++at)
    ++lines;
  EXPECT_GE(lines, 1u);
  EXPECT_LE(lines, 20u) << log.substr(0, 300);
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
