// The Debian unstable tree with KiCad 10 that scripts/test keeps per machine
// (scripts/lib/kicad10.sh): its demo projects, and its python3 with KiCad
// 10's pcbnew module run on copies of boards inside the tree.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tandrel::testing {

class KicadTenTree {
 public:
  // TANDREL_KICAD10_ROOT from the environment, else the place scripts/test
  // builds the tree.
  static std::filesystem::path root();
  // Why the tree's demos cannot be read; empty when they can.
  static std::string demosMissing();
  // Why the tree's pcbnew cannot be run (no tree, not root, no KiCad 10);
  // empty when it can. Checked once per process.
  static std::string pcbnewMissing();
  static std::filesystem::path demos() { return root() / "usr/share/kicad/demos"; }
  // Whether the tests must fail rather than skip without the tree: scripts/test
  // sets TANDREL_KICAD10_REQUIRED=1 once it has built the tree, so that CI
  // never passes with KiCad 10's checks skipped.
  static bool required();

  // A private folder inside the tree for copies of boards and of the
  // judges' scripts (every .py beside this file), removed with the object.
  KicadTenTree();
  ~KicadTenTree();
  KicadTenTree(const KicadTenTree&) = delete;
  KicadTenTree& operator=(const KicadTenTree&) = delete;

  // The folder as seen from outside the tree, and a path in it as the
  // tree's programs see it.
  const std::filesystem::path& stage() const { return stage_; }
  std::string inside(const std::filesystem::path& staged) const;

  struct Run {
    int status = -1;
    std::string output;      // standard output and error
    long peakKilobytes = 0;  // the process's largest resident set
  };
  // Runs the tree's python3 on the script (a file name of the stage) with
  // the arguments; paths among them must be inside() paths.
  Run script(const std::string& name, const std::vector<std::string>& arguments) const;
  // The same on kicadten.py.
  Run python(const std::vector<std::string>& arguments) const {
    return script("kicadten.py", arguments);
  }

 private:
  std::filesystem::path stage_;
};

}  // namespace tandrel::testing
