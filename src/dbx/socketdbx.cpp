#include "dbx/socketdbx.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "dbx/wire.h"

namespace DBX {

namespace {

using Clock = std::chrono::steady_clock;

std::string errnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

// Connects to the socket at path without blocking; -1 with the reason when
// there is no host listening there.
int connectTo(const std::string& path, std::string& reason) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    reason = path + ": socket path too long";
    return -1;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    reason = errnoText("socket");
    return -1;
  }
  int rc;
  do {
    rc = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    reason = errnoText("no host at " + path);
    close(fd);
    return -1;
  }
  return fd;
}

// Waits until fd is ready for events or the deadline passes.
bool waitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, events, 0};
    const int rc = poll(&p, 1, static_cast<int>(left));
    if (rc > 0) return true;  // errors and hang-ups show in the following send/recv
    if (rc < 0 && errno != EINTR) return false;
  }
}

class Exchange {
 public:
  Exchange(int fd, Clock::time_point deadline, std::string& error)
      : fd_(fd), deadline_(deadline), error_(error) {}

  bool sendAll(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(n));
      } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
        if (!waitFor(fd_, POLLOUT, deadline_)) {
          timedOut_ = true;
          return fail("host does not take the request");
        }
      } else if (errno != EINTR) {
        return fail(errnoText("send to host"));
      }
    }
    return true;
  }

  // Waits before reading: the answer is rarely there the moment the request
  // has gone, and one read then mostly takes its header and payload at once.
  bool receiveFrame(std::string& payload) {
    wire::FrameBuffer received;
    char chunk[16384];
    for (;;) {
      std::string reason;
      switch (received.next(payload, reason)) {
        case wire::FrameBuffer::Result::kFrame:
          return received.empty() || fail("bad answer from host: bytes after the answer");
        case wire::FrameBuffer::Result::kBadFrame:
          return fail("bad answer from host: " + reason);
        case wire::FrameBuffer::Result::kNeedMore:
          break;
      }
      if (!waitFor(fd_, POLLIN, deadline_)) {
        timedOut_ = true;
        return fail("no answer from host in time");
      }
      const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
      if (n > 0) {
        received.append(chunk, static_cast<std::size_t>(n));
      } else if (n == 0) {
        return fail("host closed the connection");
      } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        return fail(errnoText("receive from host"));
      }
    }
  }

  // Whether the exchange failed because the deadline passed.
  bool timedOut() const { return timedOut_; }

 private:
  bool fail(std::string why) {
    error_ = std::move(why);
    return false;
  }
  int fd_;
  Clock::time_point deadline_;
  std::string& error_;
  bool timedOut_ = false;
};

}  // namespace

SocketDbx::SocketDbx(std::string dir, std::chrono::milliseconds timeout)
    : dir_(std::move(dir)), timeout_(timeout) {}

SocketDbx::~SocketDbx() {
  for (const auto& [handle, fd] : connections_) close(fd);
}

int32_t SocketDbx::exchange(int fd, const std::string& request, std::string& response) {
  Exchange io(fd, Clock::now() + timeout_, lastError_);
  if (io.sendAll(wire::frame(request)) && io.receiveFrame(response)) return DBX_OK;
  return io.timedOut() ? DBX_CALL_TIMEOUT : DBX_SERVER_TERMINATED;
}

void SocketDbx::forget(uint32_t handle) {
  if (auto it = connections_.find(handle); it != connections_.end()) {
    close(it->second);
    connections_.erase(it);
  }
}

std::string SocketDbx::connectionHelp(std::string_view toolName) const {
  if (openTimedOut_)
    return "The host at " + socketPath(dir_, toolName) +
           " accepted the connection but did not answer the open within " +
           std::to_string(timeout_.count()) + " ms; it may be stuck: restart it.";
  return "Socket tried: " + socketPath(dir_, toolName) +
         "\nStart the host on a design first, with its window:\n    build/host/dbxhost "
         "DESIGN.json\nor without:\n    build/host/dbxhost --headless examples/quad-preamp.json";
}

int32_t SocketDbx::TOpenDesign(int32_t language, int32_t version, const char* toolName,
                               TConversation* context) {
  lastError_.clear();
  openTimedOut_ = false;
  if (context == nullptr || toolName == nullptr || !isToolName(toolName)) {
    lastError_ = "open needs a context and the tool name \"pcb\" or \"sch\"";
    return DBX_BAD_INPUT;
  }
  // A context opened again gives up its previous conversation.
  forget(context->handle);
  if (std::optional<std::string> problem = privateDirectoryProblem(dir_)) {
    lastError_ = "refusing the socket directory: " + *problem;
    return DBX_CONNECTION_ERROR;
  }
  const int fd = connectTo(socketPath(dir_, toolName), lastError_);
  if (fd < 0) return DBX_CONNECTION_ERROR;
  const std::string request = *wire::encodeRequest(wire::kOpenOrdinal, language, version, toolName);
  std::string response;
  int32_t status = 0;
  // A host that takes the connection but never answers is not one to start:
  // the caller learns that it timed out.
  if (const int32_t failure = exchange(fd, request, response); failure != DBX_OK) {
    close(fd);
    openTimedOut_ = failure == DBX_CALL_TIMEOUT;
    return openTimedOut_ ? DBX_CALL_TIMEOUT : DBX_CONNECTION_ERROR;
  }
  if (!wire::decodeResponse(response, status)) {
    lastError_ = "malformed answer from host";
    close(fd);
    return DBX_CONNECTION_ERROR;
  }
  if (status != DBX_OK) {
    close(fd);
    return status;
  }
  if (nextHandle_ == 0) nextHandle_ = 1;  // 0 stands for no conversation
  const uint32_t handle = nextHandle_++;
  connections_[handle] = fd;
  context->handle = handle;
  context->tool = std::string_view(toolName) == kToolNamePcb ? kToolPcb : kToolSch;
  return DBX_OK;
}

template <auto Member, class... Args>
int32_t SocketDbx::call(TConversation* context, Args... args) {
  static_assert(wire::kOrdinalOf<Member> != 0, "call missing from wire::ContextCalls");
  static_assert(std::is_same_v<std::tuple<Args...>, typename wire::CallDef<Member, 0>::ArgTuple>);
  lastError_.clear();
  const auto it = context != nullptr ? connections_.find(context->handle) : connections_.end();
  if (it == connections_.end()) {
    lastError_ = "no open conversation";
    return DBX_NO_CONNECTION;
  }
  const uint32_t handle = it->first;
  const std::optional<std::string> request = wire::encodeRequest(wire::kOrdinalOf<Member>, args...);
  if (!request) {
    lastError_ = "argument cannot be sent: a null pointer or a text over 255 bytes";
    return DBX_BAD_INPUT;
  }
  std::string response;
  int32_t status = 0;
  // A host that does not answer in time is not waited for again: the
  // conversation is given up, and the caller learns that it timed out rather
  // than that the host went away.
  if (const int32_t failure = exchange(it->second, *request, response); failure != DBX_OK) {
    forget(handle);
    return failure;
  }
  if (!wire::decodeResponse(response, status, args...)) {
    lastError_ = "malformed answer from host";
    forget(handle);
    return DBX_SERVER_TERMINATED;
  }
  // After these the host has ended the conversation and closes its side.
  if (wire::kOrdinalOf<Member> == wire::kCloseOrdinal || status == DBX_SERVER_TERMINATED)
    forget(handle);
  return status;
}

int32_t SocketDbx::TCloseDesign(TConversation* context, const char* reserved) {
  return call<&Dbx32::TCloseDesign>(context, reserved);
}
int32_t SocketDbx::TGetDesignInfo(TConversation* context, TDesign* design) {
  return call<&Dbx32::TGetDesignInfo>(context, design);
}
int32_t SocketDbx::TGetFirstGrid(TConversation* context, TGrid* grid) {
  return call<&Dbx32::TGetFirstGrid>(context, grid);
}
int32_t SocketDbx::TGetNextGrid(TConversation* context, TGrid* grid) {
  return call<&Dbx32::TGetNextGrid>(context, grid);
}
int32_t SocketDbx::TGetFirstComponent(TConversation* context, TComponent* component) {
  return call<&Dbx32::TGetFirstComponent>(context, component);
}
int32_t SocketDbx::TGetNextComponent(TConversation* context, TComponent* component) {
  return call<&Dbx32::TGetNextComponent>(context, component);
}
int32_t SocketDbx::TGetFirstSymbol(TConversation* context, TSymbol* symbol) {
  return call<&Dbx32::TGetFirstSymbol>(context, symbol);
}
int32_t SocketDbx::TGetNextSymbol(TConversation* context, TSymbol* symbol) {
  return call<&Dbx32::TGetNextSymbol>(context, symbol);
}
int32_t SocketDbx::TGetCompByRefDes(TConversation* context, const char* refDes,
                                    TComponent* component) {
  return call<&Dbx32::TGetCompByRefDes>(context, refDes, component);
}
int32_t SocketDbx::TGetSymbolByRefDes(TConversation* context, const char* refDes, TSymbol* symbol) {
  return call<&Dbx32::TGetSymbolByRefDes>(context, refDes, symbol);
}
int32_t SocketDbx::TGetFirstCompPad(TConversation* context, const char* refDes,
                                    const char* graphicName, TPad* pad) {
  return call<&Dbx32::TGetFirstCompPad>(context, refDes, graphicName, pad);
}
int32_t SocketDbx::TGetNextCompPad(TConversation* context, TPad* pad) {
  return call<&Dbx32::TGetNextCompPad>(context, pad);
}
int32_t SocketDbx::TGetFirstCompPin(TConversation* context, const char* refDes, TPin* pin) {
  return call<&Dbx32::TGetFirstCompPin>(context, refDes, pin);
}
int32_t SocketDbx::TGetNextCompPin(TConversation* context, TPin* pin) {
  return call<&Dbx32::TGetNextCompPin>(context, pin);
}
int32_t SocketDbx::TGetFirstNet(TConversation* context, TNet* net) {
  return call<&Dbx32::TGetFirstNet>(context, net);
}
int32_t SocketDbx::TGetNextNet(TConversation* context, TNet* net) {
  return call<&Dbx32::TGetNextNet>(context, net);
}
int32_t SocketDbx::TGetFirstLayer(TConversation* context, TLayer* layer) {
  return call<&Dbx32::TGetFirstLayer>(context, layer);
}
int32_t SocketDbx::TGetNextLayer(TConversation* context, TLayer* layer) {
  return call<&Dbx32::TGetNextLayer>(context, layer);
}
int32_t SocketDbx::TGetFirstHighlightedItem(TConversation* context, TItem* item) {
  return call<&Dbx32::TGetFirstHighlightedItem>(context, item);
}
int32_t SocketDbx::TGetNextHighlightedItem(TConversation* context, TItem* item) {
  return call<&Dbx32::TGetNextHighlightedItem>(context, item);
}
int32_t SocketDbx::THighlightItem(TConversation* context, int32_t color, TComponent* component) {
  return call<&Dbx32::THighlightItem>(context, color, component);
}
int32_t SocketDbx::TUnHighlightItem(TConversation* context, TComponent* component) {
  return call<&Dbx32::TUnHighlightItem>(context, component);
}
int32_t SocketDbx::TMoveComponent(TConversation* context, int32_t dx, int32_t dy,
                                  TComponent* component) {
  return call<&Dbx32::TMoveComponent>(context, dx, dy, component);
}
int32_t SocketDbx::TFlipComponent(TConversation* context, TPoint point, TComponent* component) {
  return call<&Dbx32::TFlipComponent>(context, point, component);
}
int32_t SocketDbx::TRotateComponent(TConversation* context, int32_t angle, TPoint point,
                                    TComponent* component) {
  return call<&Dbx32::TRotateComponent>(context, angle, point, component);
}

int32_t SocketDbx::TGetFirstPcbItem(TConversation* context, TItem* item) {
  return call<&Dbx32::TGetFirstPcbItem>(context, item);
}
int32_t SocketDbx::TGetNextPcbItem(TConversation* context, TItem* item) {
  return call<&Dbx32::TGetNextPcbItem>(context, item);
}
int32_t SocketDbx::TPlaceLine(TConversation* context, TLine* line) {
  return call<&Dbx32::TPlaceLine>(context, line);
}
int32_t SocketDbx::TPlaceArc(TConversation* context, TArc* arc) {
  return call<&Dbx32::TPlaceArc>(context, arc);
}
int32_t SocketDbx::TPlaceVia(TConversation* context, TVia* via) {
  return call<&Dbx32::TPlaceVia>(context, via);
}
int32_t SocketDbx::TPlacePolygon(TConversation* context, TPolygon* polygon) {
  return call<&Dbx32::TPlacePolygon>(context, polygon);
}
int32_t SocketDbx::TDeleteItem(TConversation* context, TItem* item) {
  return call<&Dbx32::TDeleteItem>(context, item);
}
int32_t SocketDbx::TGetFirstCompAttribute(TConversation* context, const char* refDes,
                                          TAttribute* attribute) {
  return call<&Dbx32::TGetFirstCompAttribute>(context, refDes, attribute);
}
int32_t SocketDbx::TGetNextCompAttribute(TConversation* context, TAttribute* attribute) {
  return call<&Dbx32::TGetNextCompAttribute>(context, attribute);
}
int32_t SocketDbx::TModifyCompAttribute(TConversation* context, const char* refDes,
                                        TAttribute* attribute) {
  return call<&Dbx32::TModifyCompAttribute>(context, refDes, attribute);
}

}  // namespace DBX
