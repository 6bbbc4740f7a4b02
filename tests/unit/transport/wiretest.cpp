#include "dbx/wire.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <random>
#include <set>

#include "fakedbx.h"

using namespace DBX;
using namespace DBX::wire;
using transporttest::bytesOf;
using transporttest::FakeDbx;
using transporttest::kAnswerSeed;
using transporttest::patterned;
using transporttest::terminated;

namespace {

std::string header(uint32_t length) {
  Writer w;
  w.putI32(static_cast<int32_t>(length));
  return w.take();
}

std::string openRequest(const char* tool) {
  return *encodeRequest(kOpenOrdinal, int32_t{0}, int32_t{18000}, tool);
}

std::optional<std::string> frameLengthOf(const std::string& bytes) {
  char h[kFrameHeaderSize];
  std::memcpy(h, bytes.data(), kFrameHeaderSize);
  std::string reason;
  if (frameLength(h, &reason)) return std::nullopt;
  return reason;
}

TEST(WireTest, FrameHeaderIsLittleEndianLength) {
  EXPECT_EQ(frame("abc"), std::string("\x03\x00\x00\x00"
                                      "abc",
                                      7));
  const std::string big(300, 'x');
  EXPECT_EQ(frame(big).substr(0, 4), std::string("\x2c\x01\x00\x00", 4));
}

TEST(WireTest, FrameLengthBounds) {
  EXPECT_EQ(frameLengthOf(header(1)), std::nullopt);
  EXPECT_EQ(frameLengthOf(header(kMaxFramePayload)), std::nullopt);
  EXPECT_EQ(frameLengthOf(header(0)), "empty frame");
  EXPECT_NE(frameLengthOf(header(kMaxFramePayload + 1))->find("exceeds the limit"),
            std::string::npos);
  EXPECT_TRUE(frameLengthOf(header(0xffffffffu)).has_value());
}

TEST(WireTest, FrameBufferCutsFramesDeliveredByteByByte) {
  const std::string stream = frame("first") + frame(std::string(1000, 'b'));
  FrameBuffer buffer;
  std::vector<std::string> frames;
  std::string payload, reason;
  for (char c : stream) {
    buffer.append(&c, 1);
    while (buffer.next(payload, reason) == FrameBuffer::Result::kFrame) frames.push_back(payload);
  }
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0], "first");
  EXPECT_EQ(frames[1], std::string(1000, 'b'));
  EXPECT_TRUE(buffer.empty());
}

TEST(WireTest, FrameBufferRejectsOversizeFromHeaderAlone) {
  FrameBuffer buffer;
  const std::string h = header(kMaxFramePayload + 1);
  std::string payload, reason;
  buffer.append(h.data(), 3);
  EXPECT_EQ(buffer.next(payload, reason), FrameBuffer::Result::kNeedMore);
  buffer.append(h.data() + 3, 1);
  EXPECT_EQ(buffer.next(payload, reason), FrameBuffer::Result::kBadFrame);
  EXPECT_FALSE(reason.empty());
}

TEST(WireTest, StringsAreBoundedBothWays) {
  Writer w;
  EXPECT_TRUE(w.putString(std::string(kMaxStringLength, 'a')));
  EXPECT_FALSE(w.putString(std::string(kMaxStringLength + 1, 'a')));
  std::string text;
  const std::string maxText = w.take();
  EXPECT_TRUE(Reader(maxText).getString(text));
  EXPECT_EQ(text.size(), kMaxStringLength);

  // A length over the bound is refused even when the bytes are there.
  Writer hostile;
  hostile.putU16(kMaxStringLength + 1);
  hostile.putBytes(std::string(kMaxStringLength + 1, 'a').data(), kMaxStringLength + 1);
  const std::string hostileBytes = hostile.take();
  EXPECT_FALSE(Reader(hostileBytes).getString(text));
  // A length past the end is refused.
  Writer shortText;
  shortText.putU16(10);
  shortText.putBytes("abc", 3);
  const std::string shortBytes = shortText.take();
  EXPECT_FALSE(Reader(shortBytes).getString(text));
}

TEST(WireTest, IntegersRoundTripIncludingNegatives) {
  Writer w;
  w.putI32(-1);
  w.putI32(INT32_MIN);
  w.putI32(123456789);
  const std::string bytes = w.take();
  Reader r(bytes);
  int32_t a, b, c, d;
  ASSERT_TRUE(r.getI32(a) && r.getI32(b) && r.getI32(c));
  EXPECT_EQ(a, -1);
  EXPECT_EQ(b, INT32_MIN);
  EXPECT_EQ(c, 123456789);
  EXPECT_TRUE(r.atEnd());
  EXPECT_FALSE(r.getI32(d));
}

TEST(WireTest, RequestLayoutOfMove) {
  TComponent component = terminated(patterned<TComponent>(3));
  const std::string request = *encodeRequest(kOrdinalOf<&Dbx32::TMoveComponent>, int32_t{-2},
                                             int32_t{0x01020304}, &component);
  const std::string expectedHead(
      "\x09\x01"
      "\xfe\xff\xff\xff"
      "\x04\x03\x02\x01",
      10);
  EXPECT_EQ(request.substr(0, 10), expectedHead);
  EXPECT_EQ(request.substr(10), bytesOf(component));
}

TEST(WireTest, RequestRefusesNullsAndLongTexts) {
  TComponent component;
  EXPECT_FALSE(encodeRequest(94, static_cast<const char*>(nullptr), &component));
  EXPECT_FALSE(encodeRequest(94, "U1", static_cast<TComponent*>(nullptr)));
  const std::string longName(kMaxStringLength + 1, 'U');
  EXPECT_FALSE(encodeRequest(94, longName.c_str(), &component));
  EXPECT_TRUE(encodeRequest(94, "U1", &component));
}

TEST(WireTest, OrdinalsAreDistinct) {
  std::set<uint16_t> ordinals;
  std::apply([&](auto... def) { (ordinals.insert(decltype(def)::kOrdinal), ...); }, ContextCalls{});
  EXPECT_EQ(ordinals.size(), std::tuple_size_v<ContextCalls>);
  EXPECT_EQ(ordinals.size(), 35u);
  EXPECT_FALSE(ordinals.contains(kOpenOrdinal));
  EXPECT_EQ(kOrdinalOf<&Dbx32::TGetCompByRefDes>, 94);
  EXPECT_EQ(kOrdinalOf<&Dbx32::TRotateComponent>, 304);
  EXPECT_EQ(kOrdinalOf<&Dbx32::TGetFirstPcbItem>, 134);
  EXPECT_EQ(kOrdinalOf<&Dbx32::TGetNextPcbItem>, 187);
  EXPECT_EQ(kOrdinalOf<&Dbx32::TDeleteItem>, 54);
}

class ResponseTest : public ::testing::Test {
 protected:
  static std::string response(int32_t status, const std::string& tail = "") {
    Writer w;
    w.putI32(status);
    w.putBytes(tail.data(), tail.size());
    return w.take();
  }
  TPad caller = patterned<TPad>(5);
  const std::string before = bytesOf(caller);
};

TEST_F(ResponseTest, SuccessCopiesTheTerminatedRecord) {
  const TPad sent = patterned<TPad>(kAnswerSeed);
  int32_t status = -1;
  ASSERT_TRUE(decodeResponse(response(0, bytesOf(sent)), status, &caller));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(bytesOf(caller), bytesOf(terminated(sent)));
  EXPECT_EQ(caller.compPin.pinDes[sizeof caller.compPin.pinDes - 1], 0);
}

TEST_F(ResponseTest, FailureLeavesTheRecord) {
  int32_t status = 0;
  ASSERT_TRUE(decodeResponse(response(DBX_COMPONENT_NOT_FOUND), status, &caller));
  EXPECT_EQ(status, DBX_COMPONENT_NOT_FOUND);
  EXPECT_EQ(bytesOf(caller), before);
}

TEST_F(ResponseTest, MalformedResponsesLeaveTheRecord) {
  int32_t status = 0;
  const std::string record = bytesOf(patterned<TPad>(9));
  EXPECT_FALSE(decodeResponse(std::string("\x00\x00", 2), status, &caller));
  EXPECT_FALSE(decodeResponse(response(0, record.substr(1)), status, &caller));
  EXPECT_FALSE(decodeResponse(response(0, record + "x"), status, &caller));
  EXPECT_FALSE(decodeResponse(response(DBX_NO_MORE_ITEMS, "x"), status, &caller));
  EXPECT_EQ(bytesOf(caller), before);
}

TEST_F(ResponseTest, PolygonCountsBeyondTheirArrayAreMalformed) {
  auto polygon = std::make_unique<TPolygon>();
  auto item = std::make_unique<TItem>();
  const std::string polygonBefore = bytesOf(*polygon), itemBefore = bytesOf(*item);
  int32_t status = 0;
  for (int32_t count : {-1, kMaxPolygonPoints + 1, std::numeric_limits<int32_t>::max()}) {
    auto sent = std::make_unique<TPolygon>();
    sent->numberPoints = count;
    EXPECT_FALSE(decodeResponse(response(0, bytesOf(*sent)), status, polygon.get())) << count;
    auto sentItem = std::make_unique<TItem>();
    sentItem->itemType = DBX_POLYGON;
    sentItem->polygon.numberPoints = count;
    EXPECT_FALSE(decodeResponse(response(0, bytesOf(*sentItem)), status, item.get())) << count;
  }
  EXPECT_EQ(bytesOf(*polygon), polygonBefore);
  EXPECT_EQ(bytesOf(*item), itemBefore);
  // A full outline is an outline.
  auto full = std::make_unique<TPolygon>();
  full->numberPoints = kMaxPolygonPoints;
  full->points[kMaxPolygonPoints - 1] = {7, 9};
  ASSERT_TRUE(decodeResponse(response(0, bytesOf(*full)), status, polygon.get()));
  EXPECT_EQ(polygon->points[kMaxPolygonPoints - 1], (TPoint{7, 9}));
}

class DispatchTest : public ::testing::Test {
 protected:
  std::optional<Response> dispatch(const std::string& payload, std::string_view tool = "pcb") {
    reason.clear();
    return dispatchRequest(engine, conversation, payload, tool, reason);
  }
  void open() { ASSERT_EQ(dispatch(openRequest("pcb"))->status, DBX_OK); }

  FakeDbx engine;
  ServerConversation conversation;
  std::string reason;
};

TEST_F(DispatchTest, OpenTracksTheConversation) {
  open();
  EXPECT_TRUE(conversation.open);
  EXPECT_EQ(engine.lastCall().numbers, (std::vector<int32_t>{0, 18000}));
  const std::optional<Response> again = dispatch(openRequest("pcb"));
  EXPECT_EQ(again->status, DBX_ALREADY_CONNECTED);
  EXPECT_EQ(again->payload, std::string("\x68\x7d\x00\x00", 4));  // 32104, no record

  ASSERT_EQ(dispatch(*encodeRequest(kCloseOrdinal, ""))->status, DBX_OK);
  EXPECT_FALSE(conversation.open);
  EXPECT_FALSE(engine.held(kToolPcb));
}

TEST_F(DispatchTest, OpenOfAnotherToolThanTheSocketsIsBadInput) {
  EXPECT_EQ(dispatch(openRequest("sch"), "pcb")->status, DBX_BAD_INPUT);
  EXPECT_EQ(dispatch(openRequest("nope"), "pcb")->status, DBX_BAD_INPUT);
  EXPECT_FALSE(conversation.open);
  EXPECT_FALSE(engine.held(kToolSch));
}

TEST_F(DispatchTest, CallCarriesArgumentsAndTerminatedRecordBothWays) {
  open();
  const TComponent unterminated = patterned<TComponent>(11);
  const std::optional<Response> answer = dispatch(*encodeRequest(
      kOrdinalOf<&Dbx32::TRotateComponent>, int32_t{900}, TPoint{-5, 7}, &unterminated));
  ASSERT_TRUE(answer) << reason;
  const FakeDbx::Call seen = engine.lastCall();
  EXPECT_EQ(seen.name, "TRotateComponent");
  EXPECT_EQ(seen.numbers, (std::vector<int32_t>{900, -5, 7}));
  EXPECT_EQ(seen.recordIn, bytesOf(terminated(unterminated)));
  // The answer is the engine's record, terminated by the receiver.
  EXPECT_EQ(answer->payload.size(), 4 + sizeof(TComponent));
  TComponent received;
  int32_t status = -1;
  ASSERT_TRUE(decodeResponse(answer->payload, status, &received));
  EXPECT_EQ(bytesOf(received), bytesOf(terminated(patterned<TComponent>(kAnswerSeed))));
}

TEST_F(DispatchTest, FailedCallAnswersStatusOnly) {
  open();
  engine.answerWith(DBX_COMPONENT_NOT_FOUND);
  TComponent component;
  const std::optional<Response> answer =
      dispatch(*encodeRequest(kOrdinalOf<&Dbx32::TGetCompByRefDes>, "U1", &component));
  EXPECT_EQ(answer->status, DBX_COMPONENT_NOT_FOUND);
  EXPECT_EQ(answer->payload.size(), 4u);
  EXPECT_TRUE(conversation.open);
}

TEST_F(DispatchTest, TerminatedByEngineEndsTheConversation) {
  open();
  engine.answerWith(DBX_SERVER_TERMINATED);
  TDesign design;
  EXPECT_EQ(dispatch(*encodeRequest(99, &design))->status, DBX_SERVER_TERMINATED);
  EXPECT_FALSE(conversation.open);
}

TEST_F(DispatchTest, MalformedRequestsAreRefusedWithoutCallingTheEngine) {
  open();
  TComponent component;
  const std::string getComp = *encodeRequest(94, "U1", &component);
  Writer overlong;
  overlong.putU16(94);
  overlong.putU16(300);
  overlong.putBytes(std::string(300, 'U').data(), 300);
  overlong.putBytes(&component, sizeof component);
  const struct {
    std::string payload;
    std::string reasonPart;
  } cases[] = {
      {std::string(), "too short"},
      {std::string("\x5e", 1), "too short"},
      {std::string("\x07\x00", 2), "unknown ordinal 7"},
      {std::string("\xff\xff", 2) + std::string(100, 'x'), "unknown ordinal 65535"},
      {getComp.substr(0, getComp.size() - 1), "truncated"},
      {getComp + "!", "trailing"},
      {openRequest("pcb") + "!", "trailing"},
      {overlong.take(), "overlong"},
  };
  const FakeDbx::Call before = engine.lastCall();
  for (const auto& c : cases) {
    EXPECT_FALSE(dispatch(c.payload)) << c.reasonPart;
    EXPECT_NE(reason.find(c.reasonPart), std::string::npos) << reason;
  }
  EXPECT_EQ(engine.lastCall().name, before.name);
  EXPECT_TRUE(conversation.open);
}

// Whatever arrives, the answer is either a refusal with a reason or a
// well-formed response whose status matches.
TEST_F(DispatchTest, RandomPayloadsNeverBreakTheDispatcher) {
  std::mt19937 random(12345);
  const uint16_t ordinals[] = {282, 25, 99, 94, 98, 109, 210, 265, 80, 304, 141, 1};
  for (int i = 0; i < 3000; ++i) {
    std::string payload(random() % 700, '\0');
    for (char& c : payload) c = static_cast<char>(random());
    if (payload.size() >= 2 && i % 2 == 0) {
      const uint16_t ordinal = ordinals[random() % std::size(ordinals)];
      payload[0] = static_cast<char>(ordinal & 0xff);
      payload[1] = static_cast<char>(ordinal >> 8);
    }
    const std::optional<Response> answer = dispatch(payload, i % 3 ? "pcb" : "sch");
    if (!answer) {
      EXPECT_FALSE(reason.empty());
      continue;
    }
    int32_t status = 0;
    ASSERT_GE(answer->payload.size(), 4u);
    Reader(answer->payload).getI32(status);
    EXPECT_EQ(status, answer->status);
  }
}

}  // namespace
