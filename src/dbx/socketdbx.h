// The DBX client that talks to a host process over the host's local sockets
// (see hostlocation.h for where they are and wire.h for the bytes).
//
// Each open conversation is one connection. A host that is gone or answers
// nonsense never hangs or crashes the caller: the open answers
// DBX_CONNECTION_ERROR (DBX_CALL_TIMEOUT when a host took the connection but
// did not answer in time), a call in a conversation DBX_SERVER_TERMINATED (or
// DBX_CALL_TIMEOUT when the host did not answer in time), after which the
// conversation is forgotten and later calls answer DBX_NO_CONNECTION.
// Not thread-safe: one thread drives a client.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>

#include "dbx/dbx32.h"
#include "dbx/hostlocation.h"

namespace DBX {

class SocketDbx : public Dbx32 {
 public:
  static constexpr std::chrono::milliseconds kDefaultTimeout{30000};

  // dir: the socket directory; timeout: how long one call waits for the host.
  explicit SocketDbx(std::string dir = hostDirectory(),
                     std::chrono::milliseconds timeout = kDefaultTimeout);
  ~SocketDbx() override;
  SocketDbx(const SocketDbx&) = delete;
  SocketDbx& operator=(const SocketDbx&) = delete;

  int32_t TOpenDesign(int32_t language, int32_t version, const char* toolName,
                      TConversation* context) override;
  int32_t TCloseDesign(TConversation* context, const char* reserved) override;
  int32_t TGetDesignInfo(TConversation* context, TDesign* design) override;
  int32_t TGetFirstGrid(TConversation* context, TGrid* grid) override;
  int32_t TGetNextGrid(TConversation* context, TGrid* grid) override;
  int32_t TGetFirstComponent(TConversation* context, TComponent* component) override;
  int32_t TGetNextComponent(TConversation* context, TComponent* component) override;
  int32_t TGetFirstSymbol(TConversation* context, TSymbol* symbol) override;
  int32_t TGetNextSymbol(TConversation* context, TSymbol* symbol) override;
  int32_t TGetCompByRefDes(TConversation* context, const char* refDes,
                           TComponent* component) override;
  int32_t TGetSymbolByRefDes(TConversation* context, const char* refDes, TSymbol* symbol) override;
  int32_t TGetFirstCompPad(TConversation* context, const char* refDes, const char* graphicName,
                           TPad* pad) override;
  int32_t TGetNextCompPad(TConversation* context, TPad* pad) override;
  int32_t TGetFirstCompPin(TConversation* context, const char* refDes, TPin* pin) override;
  int32_t TGetNextCompPin(TConversation* context, TPin* pin) override;
  int32_t TGetFirstNet(TConversation* context, TNet* net) override;
  int32_t TGetNextNet(TConversation* context, TNet* net) override;
  int32_t TGetFirstLayer(TConversation* context, TLayer* layer) override;
  int32_t TGetNextLayer(TConversation* context, TLayer* layer) override;
  int32_t TGetFirstHighlightedItem(TConversation* context, TItem* item) override;
  int32_t TGetNextHighlightedItem(TConversation* context, TItem* item) override;
  int32_t THighlightItem(TConversation* context, int32_t color, TComponent* component) override;
  int32_t TUnHighlightItem(TConversation* context, TComponent* component) override;
  int32_t TMoveComponent(TConversation* context, int32_t dx, int32_t dy,
                         TComponent* component) override;
  int32_t TFlipComponent(TConversation* context, TPoint point, TComponent* component) override;
  int32_t TRotateComponent(TConversation* context, int32_t angle, TPoint point,
                           TComponent* component) override;
  int32_t TGetFirstPcbItem(TConversation* context, TItem* item) override;
  int32_t TGetNextPcbItem(TConversation* context, TItem* item) override;
  int32_t TPlaceLine(TConversation* context, TLine* line) override;
  int32_t TPlaceArc(TConversation* context, TArc* arc) override;
  int32_t TPlaceVia(TConversation* context, TVia* via) override;
  int32_t TPlacePolygon(TConversation* context, TPolygon* polygon) override;
  int32_t TDeleteItem(TConversation* context, TItem* item) override;
  int32_t TGetFirstCompAttribute(TConversation* context, const char* refDes,
                                 TAttribute* attribute) override;
  int32_t TGetNextCompAttribute(TConversation* context, TAttribute* attribute) override;
  int32_t TModifyCompAttribute(TConversation* context, const char* refDes,
                               TAttribute* attribute) override;

  // The socket tried and how to start dbxhost.
  std::string connectionHelp(std::string_view toolName) const override;

  const std::string& dir() const { return dir_; }
  // Why the last call failed on this side (no host, bad argument, lost
  // connection, malformed answer); empty when the last call reached the host.
  const std::string& lastError() const { return lastError_; }

 private:
  template <auto Member, class... Args>
  int32_t call(TConversation* context, Args... args);
  // Sends one request and waits for its answer: DBX_OK, DBX_CALL_TIMEOUT when
  // the deadline passed, DBX_SERVER_TERMINATED when the connection failed
  // (both with lastError_).
  int32_t exchange(int fd, const std::string& request, std::string& response);
  void forget(uint32_t handle);

  std::string dir_;
  std::chrono::milliseconds timeout_;
  std::map<uint32_t, int> connections_;  // conversation handle -> socket
  uint32_t nextHandle_ = 1;
  std::string lastError_;
  bool openTimedOut_ = false;  // the last open found a host that did not answer
};

}  // namespace DBX
