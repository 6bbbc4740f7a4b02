// The host's socket server: serves a DBX engine to client processes on the
// two tool sockets (see dbx/hostlocation.h for where they live and dbx/wire.h
// for the bytes). Each connection holds one conversation; a connection that
// ends, or sends a malformed or oversized frame, is closed on its own and its
// open conversation is closed in the engine so that the tool is free again.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "dbx/dbx32.h"
#include "dbx/hostlocation.h"

namespace dbxhost {

class ServerError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Server {
 public:
  using LogSink = std::function<void(const std::string& line)>;

  // target is called from the thread that runs run() and must outlive the
  // server; destroy the server only when run() has returned.
  explicit Server(DBX::Dbx32& target, std::string dir = DBX::hostDirectory());
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Makes sure the directory is private (creating it with mode 0700), removes
  // stale socket files and listens on both tool sockets. Clients may connect
  // once it returns. Throws ServerError with the reason (directory not
  // private, another host listening, a path that is not a socket).
  void start();
  // Serves until stop(), then closes every connection and removes the socket
  // files.
  void run();
  // Ends run() promptly. Safe from any thread and from a signal handler.
  void stop();

  // A connection that sends nothing for this long is closed (and its
  // conversation with it), so that a client that went quiet cannot keep a
  // tool busy for ever. Set it before run().
  static constexpr std::chrono::milliseconds kDefaultIdleLimit{std::chrono::minutes(2)};
  void setIdleLimit(std::chrono::milliseconds limit) { idleLimit_ = limit; }
  // A frame must be complete this long after its first byte came, and an
  // answer taken this long after it was ready, or the connection is closed:
  // a client that sends or reads a byte now and then holds no tool. Set it
  // before run().
  static constexpr std::chrono::milliseconds kDefaultFrameLimit{std::chrono::seconds(10)};
  void setFrameLimit(std::chrono::milliseconds limit) { frameLimit_ = limit; }

  const std::string& dir() const { return dir_; }
  // Where the one-line connection errors go; nonBlockingLogSink(stderr)
  // unless set. Set it before run().
  void setLogSink(LogSink sink) { log_ = std::move(sink); }

 private:
  struct Listener;
  struct Connection;

  void listenOn(const char* toolName);
  void accept(const Listener& listener);
  void receive(Connection& connection);
  void serveFrames(Connection& connection);
  void flush(Connection& connection);
  void drop(Connection& connection, const std::string& reason);
  // Closes the connections idle for the limit or late with a frame or an
  // answer; returns how long until the next one would be, or nullopt when
  // there is none.
  std::optional<std::chrono::milliseconds> closeLateConnections();
  void shutdown();

  DBX::Dbx32& target_;
  std::string dir_;
  LogSink log_;
  std::vector<Listener> listeners_;
  std::vector<std::unique_ptr<Connection>> connections_;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::atomic<bool> stopRequested_{false};
  static constexpr std::chrono::milliseconds kAcceptPause{100};
  std::chrono::steady_clock::time_point acceptResume_;  // accepting resumes then
  std::chrono::milliseconds idleLimit_ = kDefaultIdleLimit;
  std::chrono::milliseconds frameLimit_ = kDefaultFrameLimit;
};

// Writes each line to fd without ever waiting for it: a line that does not
// fit now (a pipe nobody reads, say) is dropped, and the next line that fits
// says how many were. Lines are cut to a readable length.
Server::LogSink nonBlockingLogSink(int fd);

}  // namespace dbxhost
