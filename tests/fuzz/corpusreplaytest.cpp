// Replays the fuzzers' seed corpus and every input that once crashed a
// fuzzer, so that a fault found by fuzzing stays fixed in every build.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzzentries.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputsOf(const std::string& kind) {
  std::vector<fs::path> files;
  for (const char* set : {"corpus", "regressions"}) {
    const fs::path dir = fs::path(TANDREL_FUZZ_DIR) / set / kind;
    if (!fs::exists(dir)) continue;
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
  }
  return files;
}

std::vector<uint8_t> contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every input of the kind goes through the entry without anything escaping.
void replayAll(const std::string& kind, void (*entry)(const uint8_t*, std::size_t)) {
  const auto files = inputsOf(kind);
  ASSERT_FALSE(files.empty());
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.string());
    const auto bytes = contents(file);
    EXPECT_NO_THROW(entry(bytes.data(), bytes.size()));
  }
}

TEST(CorpusReplayTest, DesignFileInputsNeverCrashTheReader) {
  replayAll("designfile", tandrel::fuzz::designFileInput);
}

TEST(CorpusReplayTest, KicadBoardInputsNeverCrashTheReader) {
  replayAll("kicadboard", tandrel::fuzz::kicadBoardInput);
}

TEST(CorpusReplayTest, KicadSchematicInputsNeverCrashTheReader) {
  replayAll("kicadschematic", tandrel::fuzz::kicadSchematicInput);
}

TEST(CorpusReplayTest, FrameStreamsNeverCrashTheHost) {
  replayAll("frame", tandrel::fuzz::frameStreamInput);
}

TEST(CorpusReplayTest, HostRepliesNeverCrashTheDesignAccess) {
  replayAll("hostreply", tandrel::fuzz::hostReplyInput);
}

}  // namespace
