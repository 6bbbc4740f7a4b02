// The design file behind a running host: which file the design belongs to,
// whether the design changed since it was read or last saved, and the
// operations that change that (open, save, save as, and the text commands,
// whose "save" writes the file too). Thread-safe: the command reader and the
// window use one session.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "engine/hostcontrol.h"
#include "engine/hostdbx.h"

namespace dbxhost {

class HostSession {
 public:
  // The host's design is the content of file, unchanged so far; storage
  // says how it is written back.
  HostSession(HostDbx& host, std::filesystem::path file,
              std::shared_ptr<const DesignStorage> storage = designFileStorage(),
              std::optional<FileStamp> stamp = std::nullopt);

  // Runs one text command (see HostControl) and answers it.
  std::string execute(std::string_view line);
  bool quitRequested() const;

  // Reads the file (a design file, or a KiCad board with its schematic) and
  // gives its design to the host, ending the clients' conversations. Throws DesignFileError when
  // the file cannot be read; the host keeps its design then.
  void open(const std::filesystem::path& file);
  // Writes the design atomically to the session's file or to another one,
  // which then becomes the session's file: a KiCad board for .kicad_pcb (only
  // for a design read from one), else a design file. Throws DesignFileError naming the
  // file and the reason; the old file and the session stay as they were.
  // A save over the file after it changed on disk since it was read or
  // saved throws FileChangedError and writes nothing.
  void save();
  void saveAs(const std::filesystem::path& file);
  // Reads the session's file again in place of the design (see open).
  void reload();

  // Whether the design changed since it was read or last saved. A change
  // made while saving counts as unsaved.
  bool modified() const;
  std::filesystem::path file() const;
  // One line for the window's status bar: which tools have a client, the
  // file, and whether it has unsaved changes.
  std::string statusLine() const;

 private:
  void saveLocked(const std::filesystem::path& file);

  HostDbx& host_;
  mutable std::mutex mutex_;
  std::optional<HostControl> control_;  // made anew for each file
  uint64_t savedRevision_ = 0;
  bool quitRequested_ = false;
};

}  // namespace dbxhost
