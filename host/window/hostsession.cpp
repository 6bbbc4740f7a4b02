#include "window/hostsession.h"

#include "storage/designfile.h"

namespace dbxhost {

namespace {

std::string_view commandName(std::string_view line) {
  const auto start = line.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  line.remove_prefix(start);
  return line.substr(0, line.find_first_of(" \t\r"));
}

}  // namespace

HostSession::HostSession(HostDbx& host, std::filesystem::path file,
                         std::shared_ptr<const DesignStorage> storage,
                         std::optional<FileStamp> stamp)
    : host_(host), savedRevision_(host.revision()) {
  control_.emplace(host_, std::move(file), std::move(storage), std::move(stamp));
}

std::string HostSession::execute(std::string_view line) {
  std::lock_guard lock(mutex_);
  // Taken before the command, so that a change made while saving stays unsaved.
  const uint64_t revision = host_.revision();
  std::string answer = control_->execute(line);
  if (answer.starts_with("ok")) {
    if (commandName(line) == "save") savedRevision_ = revision;
    if (commandName(line) == "reload") savedRevision_ = host_.revision();
  }
  quitRequested_ = quitRequested_ || control_->quitRequested();
  return answer;
}

bool HostSession::quitRequested() const {
  std::lock_guard lock(mutex_);
  return quitRequested_;
}

void HostSession::open(const std::filesystem::path& file) {
  OpenedDesign opened = openDesign(file);
  std::lock_guard lock(mutex_);
  savedRevision_ = host_.replaceDesign(std::move(opened.design));
  control_.emplace(host_, file, std::move(opened.storage), std::move(opened.stamp));
}

void HostSession::reload() {
  std::lock_guard lock(mutex_);
  control_->reload();
  savedRevision_ = host_.revision();
}

void HostSession::save() {
  std::lock_guard lock(mutex_);
  saveLocked(control_->file());
}

void HostSession::saveAs(const std::filesystem::path& file) {
  std::lock_guard lock(mutex_);
  saveLocked(file);
}

void HostSession::saveLocked(const std::filesystem::path& file) {
  const uint64_t revision = host_.revision();
  control_->save(file);
  savedRevision_ = revision;
}

bool HostSession::modified() const {
  std::lock_guard lock(mutex_);
  return host_.revision() != savedRevision_;
}

std::filesystem::path HostSession::file() const {
  std::lock_guard lock(mutex_);
  return control_->file();
}

std::string HostSession::statusLine() const {
  auto client = [&](DBX::Tool tool) {
    return host_.isHeld(tool) ? "client connected" : "no client";
  };
  std::lock_guard lock(mutex_);
  std::string line = std::string("PCB editor: ") + client(DBX::kToolPcb) +
                     "  |  Schematic editor: " + client(DBX::kToolSch) + "  |  ";
  line += control_->file().empty() ? std::string("no file") : control_->file().string();
  if (host_.revision() != savedRevision_) line += " (unsaved changes)";
  return line;
}

}  // namespace dbxhost
