#include "engine/server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "dbx/wire.h"
#include "storage/cutinput.h"

namespace dbxhost {

namespace {

std::string errnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

sockaddr_un socketAddress(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) throw ServerError(path + ": socket path too long");
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

// Whether a process accepts connections on the socket at path.
bool someoneListens(const std::string& path) {
  const sockaddr_un address = socketAddress(path);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) throw ServerError(errnoText("socket"));
  const int rc = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  // EAGAIN: the listener's backlog is full, so it is alive.
  const bool alive = rc == 0 || errno == EAGAIN;
  close(fd);
  return alive;
}

// Log lines are cut well below PIPE_BUF, the size a pipe takes in one piece,
// so that a write that poll() allows does not wait.
constexpr std::size_t kMaxLogLine = 1000;

}  // namespace

Server::LogSink nonBlockingLogSink(int fd) {
  auto dropped = std::make_shared<std::size_t>(0);
  return [fd, dropped](const std::string& line) {
    pollfd writable{fd, POLLOUT, 0};
    if (poll(&writable, 1, 0) != 1 || (writable.revents & POLLOUT) == 0) {
      ++*dropped;
      return;
    }
    std::string text;
    if (*dropped > 0)
      text = "dbxhost: " + std::to_string(*dropped) + " log lines dropped: the log was full\n";
    const CutInput cut = cutInput(line, kMaxLogLine);
    text.append(cut.kept).append(cut.note()) += '\n';
    ssize_t written;
    do {
      written = write(fd, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    *dropped = written < 0 ? *dropped + 1 : 0;
  };
}

struct Server::Listener {
  std::string toolName;
  std::string socketName;  // "pcb.sock", for the log
  std::string path;
  int fd = -1;
  dev_t device = 0;  // identity of our socket file, so that stop removes only ours
  ino_t inode = 0;
};

struct Server::Connection {
  int fd = -1;
  const Listener* listener = nullptr;
  DBX::wire::FrameBuffer input;
  std::string output;
  DBX::wire::ServerConversation conversation;
  bool closeWhenFlushed = false;
  bool closed = false;
  std::chrono::steady_clock::time_point lastActive = std::chrono::steady_clock::now();
  // When the frame being received began and when the answer being sent was
  // ready; unset while there is none.
  std::optional<std::chrono::steady_clock::time_point> frameBegan;
  std::optional<std::chrono::steady_clock::time_point> answerReady;
};

Server::Server(DBX::Dbx32& target, std::string dir)
    : target_(target), dir_(std::move(dir)), log_(nonBlockingLogSink(STDERR_FILENO)) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) throw ServerError(errnoText("pipe"));
  wakeRead_ = fds[0];
  wakeWrite_ = fds[1];
  listeners_.reserve(2);  // connections point at their listener
}

Server::~Server() {
  shutdown();
  close(wakeRead_);
  close(wakeWrite_);
}

void Server::start() {
  if (!listeners_.empty()) throw ServerError("server already started");
  if (std::optional<std::string> problem = DBX::preparePrivateDirectory(dir_))
    throw ServerError("unusable socket directory: " + *problem);
  try {
    listenOn(DBX::kToolNamePcb);
    listenOn(DBX::kToolNameSch);
  } catch (...) {
    shutdown();
    throw;
  }
}

void Server::listenOn(const char* toolName) {
  Listener listener;
  listener.toolName = toolName;
  listener.socketName = listener.toolName + ".sock";
  listener.path = DBX::socketPath(dir_, toolName);
  const sockaddr_un address = socketAddress(listener.path);

  struct stat st;
  if (lstat(listener.path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode))
      throw ServerError("" + listener.path + " exists and is not a socket");
    if (someoneListens(listener.path))
      throw ServerError("another host is already listening on " + listener.path);
    // Left behind by a host that did not stop cleanly.
    if (unlink(listener.path.c_str()) != 0 && errno != ENOENT)
      throw ServerError(errnoText("cannot remove stale " + listener.path));
  }

  listener.fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listener.fd < 0) throw ServerError(errnoText("socket"));
  if (bind(listener.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener.fd, SOMAXCONN) != 0 || lstat(listener.path.c_str(), &st) != 0) {
    const std::string reason = errnoText("cannot listen on " + listener.path);
    close(listener.fd);
    throw ServerError(reason);
  }
  listener.device = st.st_dev;
  listener.inode = st.st_ino;
  listeners_.push_back(std::move(listener));
}

void Server::stop() {
  const int savedErrno = errno;  // may run in a signal handler
  stopRequested_.store(true);
  const char wake = 1;
  [[maybe_unused]] const ssize_t written = write(wakeWrite_, &wake, 1);
  errno = savedErrno;
}

void Server::run() {
  if (listeners_.empty()) throw ServerError("run() before start()");
  std::vector<pollfd> polled;
  while (!stopRequested_.load()) {
    std::optional<std::chrono::milliseconds> wait = closeLateConnections();
    polled.clear();
    polled.push_back({wakeRead_, POLLIN, 0});
    const auto now = std::chrono::steady_clock::now();
    const bool accepting = now >= acceptResume_;
    for (const Listener& listener : listeners_)
      polled.push_back({listener.fd, static_cast<short>(accepting ? POLLIN : 0), 0});
    for (const auto& connection : connections_) {
      // While an answer waits to be sent, further requests wait in the socket.
      const short events = connection->output.empty() ? POLLIN : POLLOUT;
      polled.push_back({connection->fd, events, 0});
    }
    if (!accepting) {
      const auto pause = std::chrono::ceil<std::chrono::milliseconds>(acceptResume_ - now);
      wait = wait ? std::min(*wait, pause) : pause;
    }
    const int timeout = wait ? static_cast<int>(wait->count()) : -1;
    if (poll(polled.data(), polled.size(), timeout) < 0) {
      if (errno == EINTR) continue;
      log_(errnoText("dbxhost: poll"));
      break;
    }
    // Only a stop writes to the wake pipe; reading it on every request would
    // cost a system call per round trip.
    if (polled[0].revents != 0) {
      char drained[64];
      while (read(wakeRead_, drained, sizeof drained) > 0) {
      }
    }
    // Connections first: accepting appends to connections_.
    const std::size_t firstConnection = 1 + listeners_.size();
    for (std::size_t i = firstConnection; i < polled.size(); ++i) {
      Connection& connection = *connections_[i - firstConnection];
      const short revents = polled[i].revents;
      if (revents == 0) continue;
      if (!connection.output.empty())
        flush(connection);
      else
        receive(connection);
    }
    std::erase_if(connections_, [](const auto& c) { return c->closed; });
    for (std::size_t i = 0; i < listeners_.size(); ++i)
      if (polled[1 + i].revents != 0) accept(listeners_[i]);
  }
  shutdown();
}

void Server::accept(const Listener& listener) {
  for (;;) {
    const int fd = accept4(listener.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNABORTED) return;
      // Out of descriptors, say: the listener stays readable, so pause
      // accepting instead of spinning; the connections keep being served.
      log_(errnoText("dbxhost: accept on " + listener.socketName));
      acceptResume_ = std::chrono::steady_clock::now() + kAcceptPause;
      return;
    }
    auto connection = std::make_unique<Connection>();
    connection->fd = fd;
    connection->listener = &listener;
    connections_.push_back(std::move(connection));
  }
}

void Server::receive(Connection& connection) {
  char bytes[4096];
  ssize_t n;
  do {
    n = recv(connection.fd, bytes, sizeof bytes, 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    if (errno != EAGAIN && errno != EWOULDBLOCK) drop(connection, std::strerror(errno));
    return;
  }
  if (n == 0) {
    drop(connection, connection.input.empty() ? "" : "connection ended inside a frame");
    return;
  }
  connection.lastActive = std::chrono::steady_clock::now();
  if (connection.input.empty()) connection.frameBegan = connection.lastActive;
  connection.input.append(bytes, static_cast<std::size_t>(n));
  serveFrames(connection);
}

void Server::serveFrames(Connection& connection) {
  std::string payload;
  std::string reason;
  while (!connection.closeWhenFlushed) {
    const auto result = connection.input.next(payload, reason);
    if (result == DBX::wire::FrameBuffer::Result::kNeedMore) break;
    if (result == DBX::wire::FrameBuffer::Result::kBadFrame) {
      drop(connection, reason);
      return;
    }
    const std::optional<DBX::wire::Response> response = DBX::wire::dispatchRequest(
        target_, connection.conversation, payload, connection.listener->toolName, reason);
    if (!response) {
      drop(connection, "malformed request: " + reason);
      return;
    }
    if (connection.output.empty()) connection.answerReady = std::chrono::steady_clock::now();
    connection.output += DBX::wire::frame(response->payload);
    // The bytes after this frame came with it: the next frame begins now.
    connection.frameBegan =
        connection.input.empty() ? std::nullopt : std::optional(std::chrono::steady_clock::now());
    // The engine has ended this conversation: answer, then hang up.
    if (response->status == DBX::DBX_SERVER_TERMINATED) connection.closeWhenFlushed = true;
  }
  flush(connection);
}

void Server::flush(Connection& connection) {
  while (!connection.output.empty()) {
    const ssize_t n =
        send(connection.fd, connection.output.data(), connection.output.size(), MSG_NOSIGNAL);
    if (n > 0) {
      connection.output.erase(0, static_cast<std::size_t>(n));
      connection.lastActive = std::chrono::steady_clock::now();
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      return;
    } else if (errno != EINTR) {
      drop(connection, std::strerror(errno));
      return;
    }
  }
  connection.answerReady.reset();
  if (connection.closeWhenFlushed) drop(connection, "");
}

void Server::drop(Connection& connection, const std::string& reason) {
  if (connection.closed) return;
  if (!reason.empty())
    log_("dbxhost: closed connection on " + connection.listener->socketName + ": " + reason);
  // Frees the tool for the next client.
  if (connection.conversation.open) target_.TCloseDesign(&connection.conversation.context, "");
  connection.conversation.open = false;
  close(connection.fd);
  connection.closed = true;
}

std::optional<std::chrono::milliseconds> Server::closeLateConnections() {
  using std::chrono::milliseconds;
  const auto now = std::chrono::steady_clock::now();
  std::optional<milliseconds> next;
  // Drops the connection when the time since `since` reached `limit`, else
  // notes when it will.
  const auto watch = [&](Connection& connection, std::chrono::steady_clock::time_point since,
                         milliseconds limit, const char* what) {
    const auto taken = std::chrono::duration_cast<milliseconds>(now - since);
    if (taken >= limit) {
      drop(connection, what + std::to_string(limit.count()) + " ms");
      return;
    }
    next = next ? std::min(*next, limit - taken) : limit - taken;
  };
  for (const auto& connection : connections_) {
    watch(*connection, connection->lastActive, idleLimit_, "idle for longer than ");
    if (connection->frameBegan)
      watch(*connection, *connection->frameBegan, frameLimit_, "a frame took longer than ");
    if (connection->answerReady)
      watch(*connection, *connection->answerReady, frameLimit_, "an answer was not taken within ");
  }
  std::erase_if(connections_, [](const auto& c) { return c->closed; });
  return next;
}

void Server::shutdown() {
  for (const auto& connection : connections_) drop(*connection, "");
  connections_.clear();
  for (const Listener& listener : listeners_) {
    close(listener.fd);
    struct stat st;
    if (lstat(listener.path.c_str(), &st) == 0 && st.st_dev == listener.device &&
        st.st_ino == listener.inode)
      unlink(listener.path.c_str());
  }
  listeners_.clear();
}

}  // namespace dbxhost
