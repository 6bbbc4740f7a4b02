#include "engine/hostcontrol.h"

#include <algorithm>
#include <charconv>
#include <sstream>
#include <vector>

#include "storage/filechangederror.h"

namespace dbxhost {

namespace {

std::vector<std::string> splitWords(std::string_view line) {
  std::vector<std::string> words;
  std::istringstream in{std::string(line)};
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

bool parseInt(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

std::optional<DBX::Tool> parseTool(const std::string& word) {
  if (word == DBX::kToolNamePcb) return DBX::kToolPcb;
  if (word == DBX::kToolNameSch) return DBX::kToolSch;
  return std::nullopt;
}

std::string error(const std::string& reason) { return "error: " + reason; }

// Sets the highlight of a PCB component or a schematic symbol; false when
// there is none of that designator.
bool setHighlight(Design& d, DBX::Tool tool, const std::string& refDes, int32_t colour) {
  if (tool == DBX::kToolPcb) {
    for (PcbComponent& c : d.pcb.components) {
      if (c.refDes != refDes) continue;
      c.highlight = colour;
      return true;
    }
    return false;
  }
  for (Symbol& s : d.sch.symbols) {
    if (s.refDes != refDes) continue;
    s.highlight = colour;
    return true;
  }
  return false;
}

bool removeComponent(Design& d, DBX::Tool tool, const std::string& refDes) {
  if (tool == DBX::kToolPcb) {
    return std::erase_if(d.pcb.components,
                         [&](const PcbComponent& c) { return c.refDes == refDes; }) > 0;
  }
  auto& comps = d.sch.components;
  auto it = std::find_if(comps.begin(), comps.end(),
                         [&](const SchComponent& c) { return c.refDes == refDes; });
  if (it == comps.end()) return false;
  const std::size_t removed = static_cast<std::size_t>(it - comps.begin());
  comps.erase(it);
  std::erase_if(d.sch.symbols, [&](const Symbol& s) { return s.component == removed; });
  for (Symbol& s : d.sch.symbols) {
    if (s.component > removed) --s.component;
  }
  return true;
}

}  // namespace

std::string summarizeDesign(const Design& d) {
  std::size_t pads = 0;
  for (const PcbComponent& c : d.pcb.components) pads += c.padNets.size();
  std::ostringstream out;
  out << d.sch.sheets.size() << " sheets, " << d.sch.components.size() << " schematic components, "
      << d.sch.symbols.size() << " symbols, " << d.pcb.components.size() << " PCB components, "
      << pads << " connected pads, " << d.nets.size() << " nets";
  return out.str();
}

std::string describeHistoryStep(const HostDbx::HistoryStep& step, bool undo) {
  const std::string what = undo ? "undo" : "redo";
  switch (step.outcome) {
    case HostDbx::HistoryStep::Outcome::kDone:
      return (undo ? "undone: " : "redone: ") + std::to_string(step.parts) +
             (step.parts == 1 ? " part" : " parts");
    case HostDbx::HistoryStep::Outcome::kClientHolds:
      return std::string("a client holds the ") +
             (step.holder == DBX::kToolPcb ? "PCB" : "schematic") + " editor; " + what +
             " waits until its conversation ends";
    case HostDbx::HistoryStep::Outcome::kNothingToDo:
      break;
  }
  return "nothing to " + what;
}

HostControl::HostControl(HostDbx& host, std::filesystem::path file,
                         std::shared_ptr<const DesignStorage> storage,
                         std::optional<FileStamp> stamp)
    : host_(host), file_(std::move(file)), storage_(std::move(storage)), stamp_(std::move(stamp)) {}

void HostControl::save(const std::filesystem::path& target) {
  if (target.empty()) throw DesignFileError("no file to save to");
  if (stamp_ && namesTheFile(target) && FileStamp::of(target).value_or(*stamp_) != *stamp_) {
    throw FileChangedError(target.string() +
                           ": not saved: the file was changed on disk since it was read; save to "
                           "another file (save PATH) or read it again (reload)");
  }
  host_.readDesign([&](const Design& d) { storage_->save(d, target); });
  file_ = target;
  stamp_ = FileStamp::of(target);
}

bool HostControl::namesTheFile(const std::filesystem::path& target) const {
  if (target == file_) return true;
  // Another spelling, a hard link or a symbolic link to it.
  std::error_code error;
  if (std::filesystem::equivalent(target, file_, error)) return true;
  const std::filesystem::path resolved = std::filesystem::weakly_canonical(target, error);
  return !error && resolved == std::filesystem::weakly_canonical(file_, error) && !error;
}

void HostControl::reload() {
  if (file_.empty()) throw DesignFileError("no file to read again");
  OpenedDesign opened = openDesign(file_);
  host_.replaceDesign(std::move(opened.design));
  storage_ = std::move(opened.storage);
  stamp_ = std::move(opened.stamp);
}

std::string HostControl::execute(std::string_view line) {
  const std::vector<std::string> w = splitWords(line);
  if (w.empty()) return error("empty command");
  const std::string& command = w[0];

  if (command == "quit" && w.size() == 1) {
    quitRequested_ = true;
    return "ok";
  }
  if (command == "summary" && w.size() == 1) {
    return "ok " + host_.readDesign([](const Design& d) { return summarizeDesign(d); });
  }
  if (command == "save" && w.size() <= 2) {
    const std::filesystem::path target = w.size() == 2 ? std::filesystem::path(w[1]) : file_;
    try {
      save(target);
    } catch (const std::exception& e) {
      return error(e.what());
    }
    return "ok " + target.string();
  }
  if (command == "reload" && w.size() == 1) {
    try {
      reload();
    } catch (const std::exception& e) {
      return error(e.what());
    }
    return "ok " + file_.string();
  }

  if ((command == "undo" || command == "redo") && w.size() == 1) {
    const bool undo = command == "undo";
    const HostDbx::HistoryStep step = undo ? host_.undoClientEdits() : host_.redoClientEdits();
    const std::string said = describeHistoryStep(step, undo);
    return step.outcome == HostDbx::HistoryStep::Outcome::kDone ? "ok " + said : error(said);
  }

  if (w.size() < 2) return error("unknown command: " + std::string(line));
  const std::optional<DBX::Tool> tool = parseTool(w[1]);
  if (!tool) return error("unknown tool '" + w[1] + "' (pcb or sch)");

  int n = 0, status = 0;
  if (command == "highlight" && w.size() == 4) {
    if (!parseInt(w[3], n) || n < 1 || n > DBX::kLastColor) {
      return error("colour must be 1 to " + std::to_string(DBX::kLastColor));
    }
    const bool found = host_.withDesign([&](Design& d) { return setHighlight(d, *tool, w[2], n); });
    return found ? "ok" : error("no component " + w[2]);
  }
  if (command == "unhighlight" && w.size() == 3) {
    const bool found = host_.withDesign([&](Design& d) { return setHighlight(d, *tool, w[2], 0); });
    return found ? "ok" : error("no component " + w[2]);
  }
  if (command == "clear-highlights" && w.size() == 2) {
    host_.withDesign([&](Design& d) {
      if (*tool == DBX::kToolPcb) {
        for (PcbComponent& c : d.pcb.components) c.highlight = 0;
      } else {
        for (Symbol& s : d.sch.symbols) s.highlight = 0;
      }
      for (Net& net : d.nets) net.highlight = 0;
    });
    return "ok";
  }
  if (command == "remove" && w.size() == 3) {
    const bool found = host_.withDesign([&](Design& d) { return removeComponent(d, *tool, w[2]); });
    return found ? "ok" : error("no component " + w[2]);
  }
  if (command == "inject" && w.size() == 4) {
    if (!parseInt(w[2], n) || n < 1) return error("call number must be 1 or more");
    if (!parseInt(w[3], status)) return error("status must be a number");
    host_.injectStatus(*tool, n, status);
    return "ok";
  }
  if (command == "drop" && w.size() == 3) {
    if (!parseInt(w[2], n) || n < 0) return error("call count must be 0 or more");
    host_.dropAfter(*tool, n);
    return "ok";
  }
  if (command == "busy" && w.size() == 3 && (w[2] == "on" || w[2] == "off")) {
    host_.setBusy(*tool, w[2] == "on");
    return "ok";
  }
  if (command == "calls" && w.size() == 2) {
    return "ok " + std::to_string(host_.callCount(*tool));
  }
  return error("unknown command: " + std::string(line));
}

}  // namespace dbxhost
