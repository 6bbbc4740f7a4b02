// The byte format of DBX calls between the program and a host process over a
// local socket.
//
// A frame is a 32-bit little-endian payload length followed by the payload;
// the length lies from 1 to kMaxFramePayload. A request payload is the 16-bit
// ordinal of the call followed by the call's arguments after the context; a
// response payload is the 32-bit status followed, on success only, by the
// call's records. Integers are little-endian; a string is a 16-bit length and
// its bytes; a record travels as its raw bytes and has its text terminators
// forced on arrival. The context never travels: the host keeps one per
// connection.
//
// Each call is described once (CallDef below); the request and response
// codecs of both ends are generated from that description.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "dbx/dbx32.h"

namespace DBX::wire {

inline constexpr std::size_t kFrameHeaderSize = 4;
inline constexpr uint32_t kMaxFramePayload = 64 * 1024;
inline constexpr std::size_t kMaxStringLength = 255;

inline constexpr uint16_t kOpenOrdinal = 282;
inline constexpr uint16_t kCloseOrdinal = 25;

// Appends little-endian values to a payload.
class Writer {
 public:
  void putU16(uint16_t v) { putLE(v, 2); }
  void putI32(int32_t v) { putLE(static_cast<uint32_t>(v), 4); }
  // False when the text is longer than kMaxStringLength.
  bool putString(std::string_view text);
  void putBytes(const void* data, std::size_t size) {
    bytes_.append(static_cast<const char*>(data), size);
  }
  std::string take() { return std::move(bytes_); }

 private:
  void putLE(uint32_t v, int n);
  std::string bytes_;
};

// Reads little-endian values from a payload; every getter fails (returns
// false) instead of reading past the end.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  Reader(std::string&&) = delete;  // would outlive its bytes
  bool getU16(uint16_t& v);
  bool getI32(int32_t& v);
  bool getString(std::string& text);
  bool getBytes(void* data, std::size_t size);
  bool atEnd() const { return pos_ == bytes_.size(); }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

// How one argument after the context crosses the wire. Value is what the
// receiving end decodes into; pass() turns it back into the argument type.
// Records are in/out: sent with the request and, on success, returned.
template <class Arg>
struct ArgCodec;

template <>
struct ArgCodec<int32_t> {
  using Value = int32_t;
  static constexpr bool kIsRecord = false;
  static bool put(Writer& w, int32_t v) {
    w.putI32(v);
    return true;
  }
  static bool get(Reader& r, Value& v) { return r.getI32(v); }
  static int32_t pass(Value& v) { return v; }
};

template <>
struct ArgCodec<const char*> {
  using Value = std::string;
  static constexpr bool kIsRecord = false;
  static bool put(Writer& w, const char* text) { return text != nullptr && w.putString(text); }
  static bool get(Reader& r, Value& v) { return r.getString(v); }
  static const char* pass(Value& v) { return v.c_str(); }
};

template <>
struct ArgCodec<TPoint> {
  using Value = TPoint;
  static constexpr bool kIsRecord = false;
  static bool put(Writer& w, TPoint p) {
    w.putI32(p.x);
    w.putI32(p.y);
    return true;
  }
  static bool get(Reader& r, Value& p) { return r.getI32(p.x) && r.getI32(p.y); }
  static TPoint pass(Value& p) { return p; }
};

template <class Record>
struct ArgCodec<Record*> {
  static_assert(std::is_trivially_copyable_v<Record>);
  using Value = Record;
  static constexpr bool kIsRecord = true;
  static bool put(Writer& w, const Record* record) {
    if (record == nullptr) return false;
    w.putBytes(record, sizeof(Record));
    return true;
  }
  static bool get(Reader& r, Value& record) {
    if (!r.getBytes(&record, sizeof(Record))) return false;
    terminateTexts(record);
    return true;
  }
  static Record* pass(Value& record) { return &record; }
};

// The argument types after the context of a Dbx32 member.
template <class Member>
struct Signature;
template <class... Args>
struct Signature<int32_t (Dbx32::*)(TConversation*, Args...)> {
  using ArgTuple = std::tuple<Args...>;
};

// One call that takes the context first: its member and its host ordinal.
template <auto Member, uint16_t Ordinal>
struct CallDef {
  static constexpr auto kMember = Member;
  static constexpr uint16_t kOrdinal = Ordinal;
  using ArgTuple = typename Signature<decltype(Member)>::ArgTuple;
};

// Every call after the open.
using ContextCalls =
    std::tuple<CallDef<&Dbx32::TCloseDesign, kCloseOrdinal>, CallDef<&Dbx32::TGetDesignInfo, 99>,
               CallDef<&Dbx32::TGetFirstGrid, 116>, CallDef<&Dbx32::TGetNextGrid, 169>,
               CallDef<&Dbx32::TGetFirstComponent, 114>, CallDef<&Dbx32::TGetNextComponent, 167>,
               CallDef<&Dbx32::TGetFirstSymbol, 143>, CallDef<&Dbx32::TGetNextSymbol, 196>,
               CallDef<&Dbx32::TGetCompByRefDes, 94>, CallDef<&Dbx32::TGetSymbolByRefDes, 98>,
               CallDef<&Dbx32::TGetFirstCompPad, 109>, CallDef<&Dbx32::TGetNextCompPad, 162>,
               CallDef<&Dbx32::TGetFirstCompPin, 112>, CallDef<&Dbx32::TGetNextCompPin, 165>,
               CallDef<&Dbx32::TGetFirstNet, 122>, CallDef<&Dbx32::TGetNextNet, 175>,
               CallDef<&Dbx32::TGetFirstLayer, 118>, CallDef<&Dbx32::TGetNextLayer, 171>,
               CallDef<&Dbx32::TGetFirstHighlightedItem, 141>,
               CallDef<&Dbx32::TGetNextHighlightedItem, 194>, CallDef<&Dbx32::THighlightItem, 210>,
               CallDef<&Dbx32::TUnHighlightItem, 325>, CallDef<&Dbx32::TMoveComponent, 265>,
               CallDef<&Dbx32::TFlipComponent, 80>, CallDef<&Dbx32::TRotateComponent, 304>,
               CallDef<&Dbx32::TGetFirstPcbItem, 134>, CallDef<&Dbx32::TGetNextPcbItem, 187>,
               CallDef<&Dbx32::TPlaceLine, 241>, CallDef<&Dbx32::TPlaceArc, 234>,
               CallDef<&Dbx32::TPlaceVia, 252>, CallDef<&Dbx32::TPlacePolygon, 244>,
               CallDef<&Dbx32::TDeleteItem, 54>, CallDef<&Dbx32::TGetFirstCompAttribute, 106>,
               CallDef<&Dbx32::TGetNextCompAttribute, 159>,
               CallDef<&Dbx32::TModifyCompAttribute, 256>>;

namespace detail {
template <auto V>
struct ValueTag {};

template <auto Member, class... Defs>
constexpr uint16_t findOrdinal(std::tuple<Defs...>*) {
  uint16_t found = 0;
  ((std::is_same_v<ValueTag<Defs::kMember>, ValueTag<Member>> ? (found = Defs::kOrdinal) : 0), ...);
  return found;
}
}  // namespace detail

// The ordinal of a call that takes the context first.
template <auto Member>
inline constexpr uint16_t kOrdinalOf =
    detail::findOrdinal<Member>(static_cast<ContextCalls*>(nullptr));

// The request of a call; nullopt when an argument cannot be sent (a null
// pointer or an overlong string).
template <class... Args>
std::optional<std::string> encodeRequest(uint16_t ordinal, Args... args) {
  Writer w;
  w.putU16(ordinal);
  if (!(ArgCodec<Args>::put(w, args) && ...)) return std::nullopt;
  return w.take();
}

// Whether a host's record can be used as it came: a polygon's point count
// must lie within its array, or reading its points would run past it.
inline bool withinBounds(const TPolygon& polygon) {
  return polygon.numberPoints >= 0 && polygon.numberPoints <= kMaxPolygonPoints;
}
inline bool withinBounds(const TItem& item) { return withinBounds(item.polygon); }
template <class Record>
bool withinBounds(const Record&) {
  return true;
}

// Decodes a response into status and, when the status is 0, the call's
// records. The records are written only if the whole response is well formed
// and every record within its bounds; false for a malformed response.
template <class... Args>
bool decodeResponse(std::string_view payload, int32_t& status, Args... args) {
  Reader r(payload);
  if (!r.getI32(status)) return false;
  if (status != DBX_OK) return r.atEnd();
  auto received = std::tuple<typename ArgCodec<Args>::Value...>();
  const bool ok = std::apply(
      [&](auto&... values) {
        return ((!ArgCodec<Args>::kIsRecord ||
                 (ArgCodec<Args>::get(r, values) && withinBounds(values))) &&
                ...);
      },
      received);
  if (!ok || !r.atEnd()) return false;
  std::apply(
      [&](auto&... values) {
        (
            [&](auto& value, auto arg) {
              if constexpr (ArgCodec<decltype(arg)>::kIsRecord) *arg = value;
            }(values, args),
            ...);
      },
      received);
  return true;
}

// Frames a payload: length header, then the bytes.
std::string frame(std::string_view payload);

// The payload length of a frame header, or nullopt (with the reason) when it
// is 0 or over kMaxFramePayload.
std::optional<uint32_t> frameLength(const char (&header)[kFrameHeaderSize], std::string* reason);

// Collects a byte stream and cuts it into frame payloads.
class FrameBuffer {
 public:
  enum class Result { kNeedMore, kFrame, kBadFrame };
  void append(const char* data, std::size_t size) { pending_.append(data, size); }
  // kFrame: payload holds the next frame; kBadFrame: reason says why the
  // stream cannot go on. The bad length is noticed as soon as its header is
  // in, before any payload is collected.
  Result next(std::string& payload, std::string& reason);
  bool empty() const { return pending_.empty(); }

 private:
  std::string pending_;
};

// The host side of one connection: its context and whether its conversation
// is open.
struct ServerConversation {
  TConversation context;
  bool open = false;
};

struct Response {
  int32_t status = 0;
  std::string payload;
};

// Decodes a request, calls the target and encodes its answer. socketTool is
// the tool the connection's socket serves: an open naming another tool is
// answered DBX_BAD_INPUT, a second open DBX_ALREADY_CONNECTED. Returns nullopt
// with the reason for a malformed request (unknown ordinal, truncated payload,
// trailing bytes, overlong string); safe on any input.
std::optional<Response> dispatchRequest(Dbx32& target, ServerConversation& conversation,
                                        std::string_view payload, std::string_view socketTool,
                                        std::string& reason);

}  // namespace DBX::wire
