// A broken host for the tests: a thread that accepts conversations on the
// PCB socket of a directory and answers in the frame format, but as a host
// that went wrong would: every walk goes on for ever, calls are never
// answered, or records are filled with random bytes.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>

#include "dbx/hostlocation.h"
#include "dbx/wire.h"

namespace transporttest {

namespace detail {

template <class Arg>
struct RecordSize {
  static constexpr std::size_t value = 0;
};
template <class Record>
struct RecordSize<Record*> {
  static constexpr std::size_t value = sizeof(Record);
};
template <>
struct RecordSize<const char*> {
  static constexpr std::size_t value = 0;
};

template <class... Args>
constexpr std::size_t recordBytes(std::tuple<Args...>*) {
  return (RecordSize<Args>::value + ... + 0);
}

// The size of the record each call carries, by ordinal.
template <class... Defs>
std::map<uint16_t, std::size_t> recordSizes(std::tuple<Defs...>*) {
  return {{Defs::kOrdinal, recordBytes(static_cast<typename Defs::ArgTuple*>(nullptr))}...};
}

}  // namespace detail

class FakeHost {
 public:
  enum class Mode {
    kEndlessWalk,        // every call succeeds and hands back the record it got
    kStalledCalls,       // the open is answered, no call after it
    kSilentOpen,         // the connection is accepted, the open never answered
    kEndlessComponents,  // as kEndlessWalk, but a new component at every
                         // step of the component walk, each without pads
    kGarbageRecords,     // every call succeeds with random bytes as its record;
                         // a walk ends after kGarbageWalkLength items
    kTrickled,           // as kEndlessWalk, each answer sent a byte at a time
    kTrailingBytes,      // as kEndlessWalk, each answer followed by stray bytes
  };
  static constexpr int kGarbageWalkLength = 20;

  FakeHost(const std::string& dir, Mode mode)
      : path_(DBX::socketPath(dir, DBX::kToolNamePcb)),
        mode_(mode),
        recordSizes_(detail::recordSizes(static_cast<DBX::wire::ContextCalls*>(nullptr))) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 4) != 0 || pipe(wake_) != 0) {
      throw std::runtime_error("fake host cannot listen on " + path_);
    }
    thread_ = std::thread([this] { serve(); });
  }
  ~FakeHost() {
    const char byte = 0;
    if (write(wake_[1], &byte, 1) != 1) std::terminate();
    thread_.join();
    close(listener_);
    unlink(path_.c_str());  // another host may listen here next
    close(wake_[0]);
    close(wake_[1]);
  }
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  int opens() const { return opens_; }
  // Requests after the open, answered or not.
  int calls() const { return calls_; }

 private:
  void serve() {
    int connection = -1;
    DBX::wire::FrameBuffer input;
    for (;;) {
      pollfd fds[2] = {{wake_[0], POLLIN, 0},
                       {connection >= 0 ? connection : listener_, POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) continue;
      if (fds[0].revents != 0) break;
      if (fds[1].revents == 0) continue;
      if (connection < 0) {
        connection = accept(listener_, nullptr, nullptr);
        input = {};
        continue;
      }
      char bytes[4096];
      const ssize_t n = recv(connection, bytes, sizeof bytes, 0);
      if (n <= 0) {
        close(connection);
        connection = -1;
        continue;
      }
      input.append(bytes, static_cast<std::size_t>(n));
      std::string payload;
      std::string reason;
      while (input.next(payload, reason) == DBX::wire::FrameBuffer::Result::kFrame) {
        std::string reply = answer(payload);
        if (mode_ == Mode::kTrailingBytes && !reply.empty()) reply += "\x01\x02\x03";
        if (mode_ == Mode::kTrickled) {
          for (const char byte : reply) {
            send(connection, &byte, 1, MSG_NOSIGNAL);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
          }
        } else if (!reply.empty()) {
          send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
        }
      }
    }
    if (connection >= 0) close(connection);
  }

  // The framed answer to one request; empty for none.
  std::string answer(const std::string& request) {
    const uint16_t ordinal = static_cast<uint16_t>(static_cast<unsigned char>(request[0]) |
                                                   static_cast<unsigned char>(request[1]) << 8);
    const std::string success(4, '\0');
    if (ordinal == DBX::wire::kOpenOrdinal) {
      ++opens_;
      return mode_ == Mode::kSilentOpen ? std::string() : DBX::wire::frame(success);
    }
    ++calls_;
    const auto size = recordSizes_.find(ordinal);
    if (size == recordSizes_.end() || size->second == 0) return DBX::wire::frame(success);
    switch (mode_) {
      case Mode::kStalledCalls:
      case Mode::kSilentOpen:
        return {};
      case Mode::kEndlessComponents: {
        if (ordinal == DBX::wire::kOrdinalOf<&DBX::Dbx32::TGetFirstCompPad>) {
          DBX::wire::Writer end;
          end.putI32(DBX::DBX_NO_MORE_ITEMS);
          return DBX::wire::frame(end.take());
        }
        if (ordinal != DBX::wire::kOrdinalOf<&DBX::Dbx32::TGetFirstComponent> &&
            ordinal != DBX::wire::kOrdinalOf<&DBX::Dbx32::TGetNextComponent>)
          return DBX::wire::frame(success + request.substr(request.size() - size->second));
        DBX::TComponent component{};
        component.connectionType = DBX::DBX_COMPONENT_CONNECTION_NORMAL;
        std::snprintf(component.refDes, sizeof component.refDes, "C%d", ++walkItems_);
        return DBX::wire::frame(
            success + std::string(reinterpret_cast<const char*>(&component), sizeof component));
      }
      case Mode::kEndlessWalk:
      case Mode::kTrickled:
      case Mode::kTrailingBytes:
        // Records are the last argument of every call.
        return DBX::wire::frame(success + request.substr(request.size() - size->second));
      case Mode::kGarbageRecords:
        if (++walkItems_ % kGarbageWalkLength == 0) {
          DBX::wire::Writer end;
          end.putI32(DBX::DBX_NO_MORE_ITEMS);
          return DBX::wire::frame(end.take());
        }
        std::string record(size->second, '\0');
        for (char& byte : record) byte = static_cast<char>(random_());
        return DBX::wire::frame(success + record);
    }
    return {};
  }

  std::string path_;
  Mode mode_;
  std::map<uint16_t, std::size_t> recordSizes_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  std::atomic<int> opens_{0};
  std::atomic<int> calls_{0};
  int walkItems_ = 0;
  std::mt19937 random_{17};
  std::thread thread_;
};

}  // namespace transporttest
