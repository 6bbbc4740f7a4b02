// A DBX engine for transport tests: records what each call received, answers
// with patterned records, and holds each tool for one conversation at a time.
#pragma once

#include <cstring>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "dbx/dbx32.h"

namespace transporttest {

// A record whose every byte is non-zero and depends on seed; its texts are
// therefore unterminated until terminateTexts runs. Polygon point counts are
// the one field a client checks, so they get the greatest a host may send.
template <class Record>
Record patterned(unsigned char seed) {
  Record record;
  auto* bytes = reinterpret_cast<unsigned char*>(&record);
  for (std::size_t i = 0; i < sizeof record; ++i)
    bytes[i] = static_cast<unsigned char>(1 + (seed + i * 7) % 250);
  if constexpr (std::is_same_v<Record, DBX::TPolygon>) record.numberPoints = DBX::kMaxPolygonPoints;
  if constexpr (std::is_same_v<Record, DBX::TItem>)
    record.polygon.numberPoints = DBX::kMaxPolygonPoints;
  return record;
}

template <class Record>
Record terminated(Record record) {
  DBX_18::terminateTexts(record);
  return record;
}

template <class Record>
std::string bytesOf(const Record& record) {
  return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

inline constexpr unsigned char kAnswerSeed = 77;

class FakeDbx : public DBX::Dbx32 {
 public:
  struct Call {
    std::string name;
    uint32_t handle = 0;
    std::vector<int32_t> numbers;  // integer and point arguments in order
    std::vector<std::string> texts;
    std::string recordIn;  // the record's bytes as the engine received them
  };

  // Every later call but the open answers status, without effect.
  void answerWith(int32_t status) {
    std::lock_guard lock(mutex_);
    status_ = status;
  }
  Call lastCall() const {
    std::lock_guard lock(mutex_);
    return last_;
  }
  int closes() const {
    std::lock_guard lock(mutex_);
    return closes_;
  }
  bool held(DBX::Tool tool) const {
    std::lock_guard lock(mutex_);
    return holder_[tool] != 0;
  }

  int32_t TOpenDesign(int32_t language, int32_t version, const char* toolName,
                      DBX::TConversation* context) override {
    std::lock_guard lock(mutex_);
    last_ = {"TOpenDesign", 0, {language, version}, {toolName}, {}};
    const DBX::Tool tool = std::string(toolName) == "pcb" ? DBX::kToolPcb : DBX::kToolSch;
    if (holder_[tool] != 0) return DBX::DBX_SERVER_BUSY;
    holder_[tool] = nextHandle_++;
    context->handle = holder_[tool];
    context->tool = tool;
    return DBX::DBX_OK;
  }
  int32_t TCloseDesign(DBX::TConversation* context, const char* reserved) override {
    std::lock_guard lock(mutex_);
    last_ = {"TCloseDesign", context->handle, {}, {reserved}, {}};
    if (!admits(context)) return DBX::DBX_NO_CONNECTION;
    holder_[context->tool] = 0;
    ++closes_;
    return DBX::DBX_OK;
  }
  int32_t TGetDesignInfo(DBX::TConversation* c, DBX::TDesign* r) override {
    return serve("TGetDesignInfo", c, r);
  }
  int32_t TGetFirstGrid(DBX::TConversation* c, DBX::TGrid* r) override {
    return serve("TGetFirstGrid", c, r);
  }
  int32_t TGetNextGrid(DBX::TConversation* c, DBX::TGrid* r) override {
    return serve("TGetNextGrid", c, r);
  }
  int32_t TGetFirstComponent(DBX::TConversation* c, DBX::TComponent* r) override {
    return serve("TGetFirstComponent", c, r);
  }
  int32_t TGetNextComponent(DBX::TConversation* c, DBX::TComponent* r) override {
    return serve("TGetNextComponent", c, r);
  }
  int32_t TGetFirstSymbol(DBX::TConversation* c, DBX::TSymbol* r) override {
    return serve("TGetFirstSymbol", c, r);
  }
  int32_t TGetNextSymbol(DBX::TConversation* c, DBX::TSymbol* r) override {
    return serve("TGetNextSymbol", c, r);
  }
  int32_t TGetCompByRefDes(DBX::TConversation* c, const char* refDes, DBX::TComponent* r) override {
    return serve("TGetCompByRefDes", c, r, {}, {refDes});
  }
  int32_t TGetSymbolByRefDes(DBX::TConversation* c, const char* refDes, DBX::TSymbol* r) override {
    return serve("TGetSymbolByRefDes", c, r, {}, {refDes});
  }
  int32_t TGetFirstCompPad(DBX::TConversation* c, const char* refDes, const char* graphicName,
                           DBX::TPad* r) override {
    return serve("TGetFirstCompPad", c, r, {}, {refDes, graphicName});
  }
  int32_t TGetNextCompPad(DBX::TConversation* c, DBX::TPad* r) override {
    return serve("TGetNextCompPad", c, r);
  }
  int32_t TGetFirstCompPin(DBX::TConversation* c, const char* refDes, DBX::TPin* r) override {
    return serve("TGetFirstCompPin", c, r, {}, {refDes});
  }
  int32_t TGetNextCompPin(DBX::TConversation* c, DBX::TPin* r) override {
    return serve("TGetNextCompPin", c, r);
  }
  int32_t TGetFirstNet(DBX::TConversation* c, DBX::TNet* r) override {
    return serve("TGetFirstNet", c, r);
  }
  int32_t TGetNextNet(DBX::TConversation* c, DBX::TNet* r) override {
    return serve("TGetNextNet", c, r);
  }
  int32_t TGetFirstLayer(DBX::TConversation* c, DBX::TLayer* r) override {
    return serve("TGetFirstLayer", c, r);
  }
  int32_t TGetNextLayer(DBX::TConversation* c, DBX::TLayer* r) override {
    return serve("TGetNextLayer", c, r);
  }
  int32_t TGetFirstHighlightedItem(DBX::TConversation* c, DBX::TItem* r) override {
    return serve("TGetFirstHighlightedItem", c, r);
  }
  int32_t TGetNextHighlightedItem(DBX::TConversation* c, DBX::TItem* r) override {
    return serve("TGetNextHighlightedItem", c, r);
  }
  int32_t THighlightItem(DBX::TConversation* c, int32_t color, DBX::TComponent* r) override {
    return serve("THighlightItem", c, r, {color});
  }
  int32_t TUnHighlightItem(DBX::TConversation* c, DBX::TComponent* r) override {
    return serve("TUnHighlightItem", c, r);
  }
  int32_t TMoveComponent(DBX::TConversation* c, int32_t dx, int32_t dy,
                         DBX::TComponent* r) override {
    return serve("TMoveComponent", c, r, {dx, dy});
  }
  int32_t TFlipComponent(DBX::TConversation* c, DBX::TPoint p, DBX::TComponent* r) override {
    return serve("TFlipComponent", c, r, {p.x, p.y});
  }
  int32_t TRotateComponent(DBX::TConversation* c, int32_t angle, DBX::TPoint p,
                           DBX::TComponent* r) override {
    return serve("TRotateComponent", c, r, {angle, p.x, p.y});
  }
  int32_t TGetFirstPcbItem(DBX::TConversation* c, DBX::TItem* r) override {
    return serve("TGetFirstPcbItem", c, r);
  }
  int32_t TGetNextPcbItem(DBX::TConversation* c, DBX::TItem* r) override {
    return serve("TGetNextPcbItem", c, r);
  }
  int32_t TPlaceLine(DBX::TConversation* c, DBX::TLine* r) override {
    return serve("TPlaceLine", c, r);
  }
  int32_t TPlaceArc(DBX::TConversation* c, DBX::TArc* r) override {
    return serve("TPlaceArc", c, r);
  }
  int32_t TPlaceVia(DBX::TConversation* c, DBX::TVia* r) override {
    return serve("TPlaceVia", c, r);
  }
  int32_t TPlacePolygon(DBX::TConversation* c, DBX::TPolygon* r) override {
    return serve("TPlacePolygon", c, r);
  }
  int32_t TDeleteItem(DBX::TConversation* c, DBX::TItem* r) override {
    return serve("TDeleteItem", c, r);
  }
  int32_t TGetFirstCompAttribute(DBX::TConversation* c, const char* refDes,
                                 DBX::TAttribute* r) override {
    return serve("TGetFirstCompAttribute", c, r, {}, {refDes});
  }
  int32_t TGetNextCompAttribute(DBX::TConversation* c, DBX::TAttribute* r) override {
    return serve("TGetNextCompAttribute", c, r);
  }
  int32_t TModifyCompAttribute(DBX::TConversation* c, const char* refDes,
                               DBX::TAttribute* r) override {
    return serve("TModifyCompAttribute", c, r, {}, {refDes});
  }

 private:
  bool admits(const DBX::TConversation* context) const {
    return (context->tool == DBX::kToolPcb || context->tool == DBX::kToolSch) &&
           context->handle != 0 && holder_[context->tool] == context->handle;
  }

  template <class Record>
  int32_t serve(const char* name, DBX::TConversation* context, Record* record,
                std::vector<int32_t> numbers = {}, std::vector<std::string> texts = {}) {
    std::lock_guard lock(mutex_);
    last_ = {name, context->handle, std::move(numbers), std::move(texts), bytesOf(*record)};
    if (!admits(context)) return DBX::DBX_NO_CONNECTION;
    if (status_ != DBX::DBX_OK) {
      // A failing engine may scribble on the buffer; the caller must not see it.
      *record = patterned<Record>(kAnswerSeed + 1);
      return status_;
    }
    *record = patterned<Record>(kAnswerSeed);
    return DBX::DBX_OK;
  }

  mutable std::mutex mutex_;
  Call last_;
  int32_t status_ = DBX::DBX_OK;
  uint32_t holder_[3] = {};  // by tool code
  uint32_t nextHandle_ = 1;
  int closes_ = 0;
};

}  // namespace transporttest
