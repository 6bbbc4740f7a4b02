#include "fuzzentries.h"

#include <string>
#include <string_view>

#include "dbx/wire.h"
#include "designfile.h"
#include "hostdbx.h"
#include "kicad/kicadboard.h"
#include "syntheticdesign.h"

namespace tandrel::fuzz {

void designFileInput(const uint8_t* data, std::size_t size) {
  try {
    dbxhost::parseDesign(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz");
  } catch (const dbxhost::DesignFileError&) {
    // A refused file is the expected answer to most inputs.
  }
}

void kicadBoardInput(const uint8_t* data, std::size_t size) {
  try {
    dbxhost::kicad::parseKicadBoard(std::string(reinterpret_cast<const char*>(data), size), "fuzz");
  } catch (const dbxhost::DesignFileError&) {
    // Refused: the expected answer to most inputs.
  }
}

void frameStreamInput(const uint8_t* data, std::size_t size) {
  static const dbxhost::Design design = dbxhost::makeSyntheticDesign(2, 3, true);
  dbxhost::HostDbx host(design);
  DBX::wire::ServerConversation conversation;
  DBX::wire::FrameBuffer frames;
  frames.append(reinterpret_cast<const char*>(data), size);
  std::string payload, reason;
  while (frames.next(payload, reason) == DBX::wire::FrameBuffer::Result::kFrame) {
    if (!DBX::wire::dispatchRequest(host, conversation, payload, DBX::kToolNamePcb, reason)) break;
  }
}

}  // namespace tandrel::fuzz
