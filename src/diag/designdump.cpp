#include "diag/designdump.h"

#include <cerrno>
#include <cstring>

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

bool writeDesignDump(const Design& design, const std::string& path) {
  std::unique_ptr<std::FILE, diag::FileCloser> file(std::fopen(path.c_str(), "w"));
  if (!file) {
    const int error = errno;
    diag::ReportMessage(diag::MessageKind::Error, "Can't create the design dump \"%s\":\n%s",
                        path.c_str(), std::strerror(error));
    return false;
  }
  FileDumper out(file.get());
  dumpDesign(design, out);
  const bool written = std::ferror(file.get()) == 0;
  const bool closed = std::fclose(file.release()) == 0;
  if (!written || !closed) {
    diag::ReportMessage(diag::MessageKind::Error, "Can't write the design dump \"%s\":\n%s",
                        path.c_str(), std::strerror(errno));
    return false;
  }
  return true;
}

}  // namespace DBX
