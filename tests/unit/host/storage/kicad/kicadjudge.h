// KiCad itself as the judge of the host's KiCad files: checker scripts run
// by the system's python3, whose pcbnew module is KiCad 9's.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "storage/fileio.h"

namespace dbxhost::kicad::testing {

// Tests with KiCad itself as the judge: a checker script run by the system's
// python3, whose pcbnew module is KiCad 9's, in a folder of the test's own.
// Skipped without the module.
class KicadPythonTest : public ::testing::Test {
 protected:
  static constexpr const char* kPython = "/usr/bin/python3";

  void SetUp() override {
    if (std::system((std::string(kPython) + " -c 'import pcbnew' >/dev/null 2>&1").c_str()) != 0) {
      GTEST_SKIP() << "KiCad's pcbnew module cannot be imported by " << kPython;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "kicadjudge-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  // Runs a checker script; returns its exit status and leaves its output in
  // said.
  int run(const std::string& script, const std::string& arguments, std::string& said) {
    const std::filesystem::path output = dir_ / "check.txt";
    const std::string command =
        std::string(kPython) + " " + script + " " + arguments + " >" + output.string() + " 2>&1";
    const int status = std::system(command.c_str());
    said = readFileText(output);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::filesystem::path dir_;
};

// KiCad's demo projects: KiCad 9's, installed with kicad-demos, and KiCad
// 6.0.11's, which scripts/test unpacks from Debian's own package.
inline const std::filesystem::path kKicad9Demos = "/usr/share/kicad/demos";
inline const std::filesystem::path kKicad6Demos = TANDREL_KICAD6_DEMOS;

// KiCad reads a board's copper and texts with kicadcoppercheck.py.
class KicadCopperJudge : public KicadPythonTest {
 protected:
  // The demo board complex_hierarchy of the demos folder, copied into the
  // test's folder; empty (the test failed) when KiCad 9's is missing, or
  // when KiCad 6's was not unpacked (the caller skips).
  std::filesystem::path copyOfDemo(const std::filesystem::path& demos = kKicad9Demos) {
    const std::filesystem::path demo = demos / "complex_hierarchy" / "complex_hierarchy.kicad_pcb";
    if (!std::filesystem::exists(demo)) {
      if (demos == kKicad9Demos) ADD_FAILURE() << demo << " is missing: install kicad-demos";
      return {};
    }
    std::filesystem::copy_file(demo, dir_ / demo.filename());
    return dir_ / demo.filename();
  }

  // KiCad's lines for the board's copper, sorted; fails the test when KiCad
  // cannot load it.
  std::vector<std::string> kicadCopperLines(const std::filesystem::path& board) {
    return kicadLines("dump", board);
  }

  // KiCad's lines for the board's reference and value texts, sorted.
  std::vector<std::string> kicadTextLines(const std::filesystem::path& board) {
    return kicadLines("texts", board);
  }

 private:
  std::vector<std::string> kicadLines(const std::string& mode, const std::filesystem::path& board) {
    std::string said;
    EXPECT_EQ(run(TANDREL_KICAD_COPPER_CHECK, mode + " " + board.string(), said), 0) << said;
    std::vector<std::string> lines;
    std::size_t begin = 0;
    for (std::size_t end; (end = said.find('\n', begin)) != std::string::npos; begin = end + 1)
      lines.push_back(said.substr(begin, end - begin));
    std::sort(lines.begin(), lines.end());
    return lines;
  }
};

}  // namespace dbxhost::kicad::testing
