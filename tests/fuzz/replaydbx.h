// A host that answers every DBX call with the next reply cut from a fuzzer's
// input and decoded as the socket client decodes a host's answer. A reply is
// a 16-bit little-endian length and that many bytes of response payload; a
// malformed one, or the end of the input, is a lost connection. After
// kMaxCalls calls every call fails, so each input ends soon.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dbx/dbx32.h"
#include "dbx/wire.h"

namespace tandrel::fuzz {

class ReplayDbx : public DBX::Dbx32 {
 public:
  static constexpr int kMaxCalls = 5000;

  ReplayDbx(const uint8_t* data, std::size_t size)
      : input_(reinterpret_cast<const char*>(data), size) {}

  int32_t TOpenDesign(int32_t, int32_t, const char* toolName, DBX::TConversation* c) override {
    const int32_t status = answer();
    if (status == DBX::DBX_OK) c->tool = std::string_view(toolName) == "pcb" ? 1 : 2;
    return status == DBX::DBX_SERVER_TERMINATED ? DBX::DBX_CONNECTION_ERROR : status;
  }
  int32_t TCloseDesign(DBX::TConversation*, const char* reserved) override {
    return answer(reserved);
  }
  int32_t TGetDesignInfo(DBX::TConversation*, DBX::TDesign* r) override { return answer(r); }
  int32_t TGetFirstGrid(DBX::TConversation*, DBX::TGrid* r) override { return answer(r); }
  int32_t TGetNextGrid(DBX::TConversation*, DBX::TGrid* r) override { return answer(r); }
  int32_t TGetFirstComponent(DBX::TConversation*, DBX::TComponent* r) override { return answer(r); }
  int32_t TGetNextComponent(DBX::TConversation*, DBX::TComponent* r) override { return answer(r); }
  int32_t TGetFirstSymbol(DBX::TConversation*, DBX::TSymbol* r) override { return answer(r); }
  int32_t TGetNextSymbol(DBX::TConversation*, DBX::TSymbol* r) override { return answer(r); }
  int32_t TGetCompByRefDes(DBX::TConversation*, const char* refDes, DBX::TComponent* r) override {
    return answer(refDes, r);
  }
  int32_t TGetSymbolByRefDes(DBX::TConversation*, const char* refDes, DBX::TSymbol* r) override {
    return answer(refDes, r);
  }
  int32_t TGetFirstCompPad(DBX::TConversation*, const char* refDes, const char* graphicName,
                           DBX::TPad* r) override {
    return answer(refDes, graphicName, r);
  }
  int32_t TGetNextCompPad(DBX::TConversation*, DBX::TPad* r) override { return answer(r); }
  int32_t TGetFirstCompPin(DBX::TConversation*, const char* refDes, DBX::TPin* r) override {
    return answer(refDes, r);
  }
  int32_t TGetNextCompPin(DBX::TConversation*, DBX::TPin* r) override { return answer(r); }
  int32_t TGetFirstNet(DBX::TConversation*, DBX::TNet* r) override { return answer(r); }
  int32_t TGetNextNet(DBX::TConversation*, DBX::TNet* r) override { return answer(r); }
  int32_t TGetFirstLayer(DBX::TConversation*, DBX::TLayer* r) override { return answer(r); }
  int32_t TGetNextLayer(DBX::TConversation*, DBX::TLayer* r) override { return answer(r); }
  int32_t TGetFirstHighlightedItem(DBX::TConversation*, DBX::TItem* r) override {
    return answer(r);
  }
  int32_t TGetNextHighlightedItem(DBX::TConversation*, DBX::TItem* r) override { return answer(r); }
  int32_t THighlightItem(DBX::TConversation*, int32_t color, DBX::TComponent* r) override {
    return answer(color, r);
  }
  int32_t TUnHighlightItem(DBX::TConversation*, DBX::TComponent* r) override { return answer(r); }
  int32_t TMoveComponent(DBX::TConversation*, int32_t dx, int32_t dy, DBX::TComponent* r) override {
    return answer(dx, dy, r);
  }
  int32_t TFlipComponent(DBX::TConversation*, DBX::TPoint point, DBX::TComponent* r) override {
    return answer(point, r);
  }
  int32_t TRotateComponent(DBX::TConversation*, int32_t angle, DBX::TPoint point,
                           DBX::TComponent* r) override {
    return answer(angle, point, r);
  }

  int32_t TGetFirstPcbItem(DBX::TConversation*, DBX::TItem* r) override { return answer(r); }
  int32_t TGetNextPcbItem(DBX::TConversation*, DBX::TItem* r) override { return answer(r); }
  int32_t TPlaceLine(DBX::TConversation*, DBX::TLine* r) override { return answer(r); }
  int32_t TPlaceArc(DBX::TConversation*, DBX::TArc* r) override { return answer(r); }
  int32_t TPlaceVia(DBX::TConversation*, DBX::TVia* r) override { return answer(r); }
  int32_t TPlacePolygon(DBX::TConversation*, DBX::TPolygon* r) override { return answer(r); }
  int32_t TDeleteItem(DBX::TConversation*, DBX::TItem* r) override { return answer(r); }
  int32_t TGetFirstCompAttribute(DBX::TConversation*, const char* refDes,
                                 DBX::TAttribute* r) override {
    return answer(refDes, r);
  }
  int32_t TGetNextCompAttribute(DBX::TConversation*, DBX::TAttribute* r) override {
    return answer(r);
  }
  int32_t TModifyCompAttribute(DBX::TConversation*, const char* refDes,
                               DBX::TAttribute* r) override {
    return answer(refDes, r);
  }

 private:
  template <class... Args>
  int32_t answer(Args... args) {
    if (++calls_ > kMaxCalls || input_.size() < 2) return DBX::DBX_SERVER_TERMINATED;
    const std::size_t length =
        static_cast<unsigned char>(input_[0]) | static_cast<std::size_t>(input_[1] & 0xff) << 8;
    input_.remove_prefix(2);
    const std::string_view payload = input_.substr(0, length);
    input_.remove_prefix(payload.size());
    int32_t status = 0;
    if (!DBX::wire::decodeResponse(payload, status, args...)) return DBX::DBX_SERVER_TERMINATED;
    return status;
  }

  std::string_view input_;
  int calls_ = 0;
};

}  // namespace tandrel::fuzz
