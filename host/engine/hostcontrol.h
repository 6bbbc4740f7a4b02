// Text commands that drive a running host from outside: saving, highlighting
// as a user would in the editor, removing components, and the test hooks of
// the DBX engine. One command per line, one answer line per command.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/hostdbx.h"
#include "storage/designstorage.h"

namespace dbxhost {

class HostControl {
 public:
  // file: where "save" writes; empty until a file is known. storage: how the
  // design is written (to a KiCad board only when it came from one). stamp:
  // the file as it was read; a save over it is refused once it has changed.
  HostControl(HostDbx& host, std::filesystem::path file,
              std::shared_ptr<const DesignStorage> storage = designFileStorage(),
              std::optional<FileStamp> stamp = std::nullopt);

  // Runs one command. The answer is "ok" with an optional text after a
  // blank, or "error: " and the reason. Commands:
  //   save [PATH]                 write the design (atomically): a KiCad board for
  //                               .kicad_pcb, else a design file; PATH becomes the file.
  //                               Refused when the file changed on disk since it was read
  //   reload                      read the file again in place of the design
  //   summary                     counts of the design
  //   highlight pcb|sch REF COLOUR    highlight a PCB component or a symbol (U1:A)
  //   unhighlight pcb|sch REF
  //   clear-highlights pcb|sch
  //   remove pcb|sch REF          delete a PCB component, or a schematic component
  //                               (bare designator) with all its symbols
  //   inject pcb|sch N STATUS     the N-th call from now answers STATUS
  //   drop pcb|sch N              the conversation ends after N more calls
  //   busy pcb|sch on|off         opens answer DBX_SERVER_BUSY while on
  //   calls pcb|sch               calls served so far
  //   undo                        takes back the edits of the last client
  //                               conversation (refused while a client holds one)
  //   redo                        does them again
  //   quit                        ask the host to stop
  std::string execute(std::string_view line);

  // Writes the design to target, which then becomes the file. Throws
  // FileChangedError when target is the file (by any name) and it changed on disk since it
  // was read or saved, DesignFileError when it cannot be written; the file
  // and the control stay as they were then.
  void save(const std::filesystem::path& target);
  // Reads the file again and gives its design to the host. Throws
  // DesignFileError; the host keeps its design then.
  void reload();

  bool quitRequested() const { return quitRequested_; }
  const std::filesystem::path& file() const { return file_; }
  const std::shared_ptr<const DesignStorage>& storage() const { return storage_; }

 private:
  // Whether target is the file under any of its names: another spelling of
  // the path, a hard link or a symbolic link to it.
  bool namesTheFile(const std::filesystem::path& target) const;

  HostDbx& host_;
  std::filesystem::path file_;
  std::shared_ptr<const DesignStorage> storage_;
  std::optional<FileStamp> stamp_;
  bool quitRequested_ = false;
};

// One line with the design's counts: "3 sheets, 40 symbols, ...".
std::string summarizeDesign(const Design& design);

// What an undo or redo did, or why it did nothing: "undone: 28 parts",
// "nothing to redo", "a client holds the PCB editor; undo waits ...".
std::string describeHistoryStep(const HostDbx::HistoryStep& step, bool undo);

}  // namespace dbxhost
