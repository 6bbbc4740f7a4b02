// A user interface for tests: records every box and cursor change and
// answers questions from a prepared list. Installed for its lifetime.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "diag/ui.h"

namespace testing_diag {

class ScriptedUi : public diag::Ui {
 public:
  struct Box {
    diag::MessageKind kind;
    std::string text;
  };

  ScriptedUi() : previous_(diag::installUi(this)) {}
  ~ScriptedUi() override { diag::installUi(previous_); }
  ScriptedUi(const ScriptedUi&) = delete;
  ScriptedUi& operator=(const ScriptedUi&) = delete;

  void showMessage(diag::MessageKind kind, const std::string& text) override {
    boxes.push_back({kind, text});
  }
  bool confirm(const std::string& question) override {
    questions.push_back(question);
    if (answers.empty()) return false;  // an unexpected question is closed
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void pushWaitCursor() override { ++waitDepth, ++waitShown; }
  void popWaitCursor() override { --waitDepth; }
  bool shiftPressed() override { return shift; }

  std::vector<Box> boxes;
  std::vector<std::string> questions;
  std::deque<bool> answers;
  int waitDepth = 0;  // hourglass guards currently alive
  int waitShown = 0;  // hourglass guards created
  bool shift = false;

 private:
  diag::Ui* previous_;
};

}  // namespace testing_diag
