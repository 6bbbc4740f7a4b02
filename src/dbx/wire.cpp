#include "dbx/wire.h"

#include <array>
#include <cstring>

namespace DBX::wire {

void Writer::putLE(uint32_t v, int n) {
  for (int i = 0; i < n; ++i) bytes_.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

bool Writer::putString(std::string_view text) {
  if (text.size() > kMaxStringLength) return false;
  putU16(static_cast<uint16_t>(text.size()));
  bytes_.append(text);
  return true;
}

bool Reader::getU16(uint16_t& v) {
  unsigned char b[2];
  if (!getBytes(b, sizeof b)) return false;
  v = static_cast<uint16_t>(b[0] | (b[1] << 8));
  return true;
}

bool Reader::getI32(int32_t& v) {
  unsigned char b[4];
  if (!getBytes(b, sizeof b)) return false;
  const uint32_t u =
      uint32_t{b[0]} | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) | (uint32_t{b[3]} << 24);
  v = static_cast<int32_t>(u);
  return true;
}

bool Reader::getString(std::string& text) {
  uint16_t size = 0;
  if (!getU16(size) || size > kMaxStringLength || bytes_.size() - pos_ < size) return false;
  text.assign(bytes_.substr(pos_, size));
  pos_ += size;
  return true;
}

bool Reader::getBytes(void* data, std::size_t size) {
  if (bytes_.size() - pos_ < size) return false;
  std::memcpy(data, bytes_.data() + pos_, size);
  pos_ += size;
  return true;
}

std::string frame(std::string_view payload) {
  Writer w;
  w.putI32(static_cast<int32_t>(payload.size()));
  w.putBytes(payload.data(), payload.size());
  return w.take();
}

std::optional<uint32_t> frameLength(const char (&header)[kFrameHeaderSize], std::string* reason) {
  int32_t length = 0;
  Reader(std::string_view(header, kFrameHeaderSize)).getI32(length);
  const auto size = static_cast<uint32_t>(length);
  if (size == 0 || size > kMaxFramePayload) {
    if (reason != nullptr)
      *reason = size == 0 ? "empty frame"
                          : "frame of " + std::to_string(size) + " bytes exceeds the limit of " +
                                std::to_string(kMaxFramePayload);
    return std::nullopt;
  }
  return size;
}

FrameBuffer::Result FrameBuffer::next(std::string& payload, std::string& reason) {
  if (pending_.size() < kFrameHeaderSize) return Result::kNeedMore;
  char header[kFrameHeaderSize];
  std::memcpy(header, pending_.data(), kFrameHeaderSize);
  const std::optional<uint32_t> size = frameLength(header, &reason);
  if (!size) return Result::kBadFrame;
  if (pending_.size() - kFrameHeaderSize < *size) return Result::kNeedMore;
  payload.assign(pending_, kFrameHeaderSize, *size);
  pending_.erase(0, kFrameHeaderSize + *size);
  return Result::kFrame;
}

namespace {

// Decodes the arguments of Args from the reader; false when they are
// truncated, overlong or followed by trailing bytes.
template <class... Args>
bool decodeArgs(Reader& r, std::tuple<typename ArgCodec<Args>::Value...>& values,
                std::string& reason) {
  const bool ok =
      std::apply([&](auto&... v) { return (ArgCodec<Args>::get(r, v) && ...); }, values);
  if (!ok) {
    reason = "truncated request or overlong string";
    return false;
  }
  if (!r.atEnd()) {
    reason = "trailing bytes after the request";
    return false;
  }
  return true;
}

Response statusOnly(int32_t status) {
  Writer w;
  w.putI32(status);
  return {status, w.take()};
}

template <class Def, class... Args>
std::optional<Response> serveCall(Dbx32& target, ServerConversation& conversation, Reader& r,
                                  std::string& reason, std::tuple<Args...>*) {
  std::tuple<typename ArgCodec<Args>::Value...> values;
  if (!decodeArgs<Args...>(r, values, reason)) return std::nullopt;
  const int32_t status = std::apply(
      [&](auto&... v) {
        return (target.*Def::kMember)(&conversation.context, ArgCodec<Args>::pass(v)...);
      },
      values);
  if (Def::kOrdinal == kCloseOrdinal || status == DBX_SERVER_TERMINATED) conversation.open = false;
  if (status != DBX_OK) return statusOnly(status);
  Writer w;
  w.putI32(status);
  std::apply(
      [&](auto&... v) {
        (
            [&](auto& value) {
              if constexpr (ArgCodec<Args>::kIsRecord) ArgCodec<Args>::put(w, &value);
            }(v),
            ...);
      },
      values);
  return Response{status, w.take()};
}

std::optional<Response> serveOpen(Dbx32& target, ServerConversation& conversation, Reader& r,
                                  std::string_view socketTool, std::string& reason) {
  std::tuple<int32_t, int32_t, std::string> values;
  if (!decodeArgs<int32_t, int32_t, const char*>(r, values, reason)) return std::nullopt;
  auto& [language, version, toolName] = values;
  if (conversation.open) return statusOnly(DBX_ALREADY_CONNECTED);
  if (toolName != socketTool) return statusOnly(DBX_BAD_INPUT);
  const int32_t status =
      target.TOpenDesign(language, version, toolName.c_str(), &conversation.context);
  conversation.open = status == DBX_OK;
  return statusOnly(status);
}

using CallHandler = std::optional<Response> (*)(Dbx32&, ServerConversation&, Reader&, std::string&);
struct DispatchEntry {
  uint16_t ordinal;
  CallHandler handler;
};

template <class... Defs>
constexpr auto makeDispatchTable(std::tuple<Defs...>*) {
  return std::array<DispatchEntry, sizeof...(Defs)>{DispatchEntry{
      Defs::kOrdinal,
      [](Dbx32& target, ServerConversation& conversation, Reader& r, std::string& reason) {
        return serveCall<Defs>(target, conversation, r, reason,
                               static_cast<typename Defs::ArgTuple*>(nullptr));
      }}...};
}

constexpr auto kDispatchTable = makeDispatchTable(static_cast<ContextCalls*>(nullptr));

}  // namespace

std::optional<Response> dispatchRequest(Dbx32& target, ServerConversation& conversation,
                                        std::string_view payload, std::string_view socketTool,
                                        std::string& reason) {
  Reader r(payload);
  uint16_t ordinal = 0;
  if (!r.getU16(ordinal)) {
    reason = "request too short for an ordinal";
    return std::nullopt;
  }
  if (ordinal == kOpenOrdinal) return serveOpen(target, conversation, r, socketTool, reason);
  for (const DispatchEntry& entry : kDispatchTable)
    if (entry.ordinal == ordinal) return entry.handler(target, conversation, r, reason);
  reason = "unknown ordinal " + std::to_string(ordinal);
  return std::nullopt;
}

}  // namespace DBX::wire
