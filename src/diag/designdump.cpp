#include "diag/designdump.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "diag/log.h"
#include "diag/messages.h"
#include "placement/units.h"

namespace DBX {

void Component::dump(Dumper& out) const {
  out.dumpComponent(record);
  out.print("Nets:\n");
  ++out.indent;
  const Design::DPack& pack = design().pack(kind == kToolPcb ? kToolPcb : kToolSch);
  for (const auto& [pinDes, pin] : pins) {
    out.print("PidDes=%s, Net=%d(%s), Pnt=", pinDes.c_str(), pin.netId,
              std::string(pack.netName(pin.netId)).c_str());
    out.print("%s", placement::FormatPoint(pin.x, pin.y).c_str());
    out.print("\n");
  }
  --out.indent;
}

void Design::DPack::dump(Dumper& out) const {
  out.print("Components:\n");
  for (const auto& [refDes, component] : components_.left) {
    out.print("Comp '%s' {\n", refDes.c_str());
    ++out.indent;
    component->dump(out);
    --out.indent;
    out.print("}\n");
  }

  out.print("\nNets:\n");
  ++out.indent;
  for (const auto& [name, netId] : nets_.left) {
    // A net read without its information counts no nodes; the dump never
    // adds entries to the snapshot.
    const auto info = netInfo_.find(netId);
    const int32_t nodeCount = info != netInfo_.end() ? info->second.nodeCount : 0;
    out.print("Net '%s', ID=%d, Count=%d\n", name.c_str(), netId, nodeCount);
  }
  --out.indent;

  out.print("\nConnection map:\n");
  ++out.indent;
  for (const auto& [netId, connection] : connections_) {
    out.print("Net %d '%s': < Comp=%s, Pin=%s >\n", netId, std::string(netName(netId)).c_str(),
              std::string(getText(connection.first->record.refDes)).c_str(),
              connection.second.c_str());
  }
  --out.indent;
}

void dumpDesign(const Design& design, Dumper& out) {
  out.print("Design DB {\n");
  ++out.indent;
  out.print("PCB {\n");
  ++out.indent;
  design.pack(kToolPcb).dump(out);
  --out.indent;
  out.print("} // Design DB/PCB\n");
  out.print("SCH {\n");
  ++out.indent;
  design.pack(kToolSch).dump(out);
  --out.indent;
  out.print("} // Design DB/SCH\n");
  --out.indent;
  out.print("} // Design DB\n");
}

namespace {

// A new file beside the target, created exclusively (so never through a
// symbolic link); -1 with errno when none can be made.
int createTempBeside(const std::filesystem::path& target, std::string& tempPath) {
  const std::string stem = "." + target.filename().string() + "." + std::to_string(getpid());
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = (target.parent_path() / (stem + "." + std::to_string(attempt) + ".tmp")).string();
    const int fd =
        open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

// The dump is written to a file of its own beside the target and renamed over
// it: a symbolic link that someone planted at the target is replaced, not
// followed, and an earlier dump stays whole until the new one is complete.
bool writeDesignDump(const Design& design, const std::string& path) {
  std::string tempPath;
  const int fd = createTempBeside(path, tempPath);
  std::unique_ptr<std::FILE, diag::FileCloser> file(fd >= 0 ? fdopen(fd, "w") : nullptr);
  if (!file) {
    const int error = errno;
    if (fd >= 0) {
      close(fd);
      unlink(tempPath.c_str());
    }
    diag::ReportMessage(diag::MessageKind::Error, "Can't create the design dump \"%s\":\n%s",
                        path.c_str(), std::strerror(error));
    return false;
  }
  FileDumper out(file.get());
  dumpDesign(design, out);
  const bool written = std::ferror(file.get()) == 0;
  const bool closed = std::fclose(file.release()) == 0;
  if (!written || !closed || std::rename(tempPath.c_str(), path.c_str()) != 0) {
    const int error = errno;
    unlink(tempPath.c_str());
    diag::ReportMessage(diag::MessageKind::Error, "Can't write the design dump \"%s\":\n%s",
                        path.c_str(), std::strerror(error));
    return false;
  }
  return true;
}

}  // namespace DBX
