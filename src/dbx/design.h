// Access to the host's design over DBX: the conversation with one host tool
// at a time, the snapshot of each tool's design, and the edits written back.
//
// The conversation is open only while a Lock is held. A call on a closed
// conversation fails with a reconnect code; checkCall() then reopens it,
// verifies the stored components and lets the caller repeat its call.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dbx/bimap.h"
#include "dbx/dbx32.h"
#include "dbx/dbxexception.h"
#include "dbx/pcbitems.h"
#include "dbx/refdesstring.h"

namespace DBX {

class Design;
class Dumper;

// Where a tool argument is taken, this value stands for the current tool.
inline constexpr uint8_t kCurrentTool = 3;

// One snapshot component: a PCB component, or one part (symbol) of a
// schematic component such as U1:A with the pins of its own gate only.
class Component {
 public:
  struct PinInfo {
    int32_t netId = 0;
    int32_t x = 0;  // pad centre on the PCB, pin reference point on a sheet
    int32_t y = 0;
  };

  Component(Design& design, uint8_t kind, const TComponent& record)
      : kind(kind), record(record), design_(&design) {}
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  Design& design() const { return *design_; }

  // Colour 0 removes the highlight, any other DBX_COLOR_ code highlights.
  // Repeats the call after a reconnection, a few times at most.
  void setHighlight(int32_t color);
  // Moves the refPoint to (x, y) and, with like, gives the component like's
  // flip state and rotation. The host writes each step back into record.
  void placeAt(int32_t x, int32_t y, const Component* like);
  // The component's reference and value texts as the host holds them now.
  std::vector<TAttribute> texts();
  // Gives the component's text of text.attrType the position, angle, side
  // and visibility of text; the host writes the result back into text.
  void modifyText(TAttribute& text);
  // The same with the flip state and rotation given.
  void placeOriented(int32_t x, int32_t y, bool flipped, int32_t rotationAng);

  // Record block and pins; defined by the dump library.
  void dump(Dumper& out) const;

  uint8_t kind;  // kToolPcb or kToolSch
  // For a schematic part: compId, refDes (with part suffix), refPoint,
  // boundRect and isHighlighted come from its symbol.
  TComponent record;
  std::map<std::string, PinInfo> pins;  // by pin designator
  int32_t sheetId = 0;                  // schematic only

 private:
  // Moves the refPoint to (x, y) under the caller's lock.
  void move(int32_t x, int32_t y);

  Design* design_;
};

class Design {
 public:
  // One connection of a component's pin to a pin on the same net.
  struct NetEdge {
    std::string pin;
    std::string otherPin;
    int32_t netId = 0;
    friend bool operator==(const NetEdge&, const NetEdge&) = default;
  };
  using ConnectionsByComponent = std::multimap<Component*, NetEdge>;

  // One tool's snapshot. It owns its components; a component stays valid
  // until the snapshot is cleared.
  class DPack {
   public:
    struct NetInfo {
      int32_t nodeCount = 0;
    };
    using ComponentMap = bimap<RefDesString, Component*>;
    using NetMap = bimap<std::string, int32_t>;
    // Net id -> (component, pin designator); one net's entries in read order.
    using ConnectionMap = std::multimap<int32_t, std::pair<Component*, std::string>>;

    const ComponentMap& components() const { return components_; }
    const NetMap& nets() const { return nets_; }
    const std::map<int32_t, NetInfo>& netInfo() const { return netInfo_; }
    const ConnectionMap& connections() const { return connections_; }
    const TDesign& header() const { return header_; }
    int32_t gridStep() const { return gridStep_; }

    // The name of a net id; empty when the id is unknown.
    std::string_view netName(int32_t netId) const;

    // Components, nets and connection map; defined by the dump library.
    void dump(Dumper& out) const;

   private:
    friend class Design;
    void insert(std::unique_ptr<Component> component);
    // Drops components, nets and connections; header and grid step stay.
    void clearContents();

    std::vector<std::unique_ptr<Component>> owned_;
    ComponentMap components_;
    NetMap nets_;
    std::map<int32_t, NetInfo> netInfo_;
    ConnectionMap connections_;
    TDesign header_;
    int32_t gridStep_ = 1;
  };

  // How many items the host may hand over before a walk is taken for one
  // that never ends (DBX_TOO_MANY_ITEMS): per walk, and over all the walks
  // of one tool selection or one locked action. No real design comes near;
  // the bounds also bound the memory a broken host can make the snapshot take.
  struct WalkLimits {
    std::size_t perWalk = 1'000'000;
    std::size_t perAction = 10'000'000;
  };

  // dbx must outlive the design.
  explicit Design(Dbx32& dbx);
  ~Design();
  Design(const Design&) = delete;
  Design& operator=(const Design&) = delete;

  // Makes the tool (0 none, 1 PCB, 2 schematic, 3 current) current: the
  // first time its snapshot is read, later its components are verified.
  void selectTool(uint8_t tool);
  // Closes any conversation and opens one to the tool (0: only closes). A
  // busy host gets one message box and one more try.
  void connect(uint8_t tool);
  // Closes the conversation; the tool is kept for a later reconnection.
  void disconnect();
  // True to go on, false at the end of a list (not strict: the DBX_NO_MORE_
  // codes); any other failure raises DBXException.
  bool checkResult(int32_t status, bool strict);
  // False on success; true when the conversation was reopened and the caller
  // may repeat its call; any other failure raises DBXException.
  bool checkCall(int32_t status);
  static bool isReconnectCode(int32_t status);
  // Re-reads the current tool's header and grid step.
  void refreshHeader();
  // Refreshes every stored component of the current tool from the host and
  // reports the ones it no longer finds in one "Design was modified" box.
  void verifyComponents();
  // Drops both snapshots and closes the conversation.
  void clear();

  // Appends, for each pin of the component not on a skipped net, every pin of
  // the snapshot on the same net (the component's own pins included).
  void componentConnections(Component* component, ConnectionsByComponent& out,
                            const std::set<int32_t>& skipNets) const;
  // Appends the designators of the items highlighted in the host.
  void highlightedRefDes(std::vector<std::string>& out);

  // The PCB's copper as the host holds it now (the current tool must be
  // the PCB); nothing of it is kept in the snapshot.
  PcbItems pcbItems();
  // True when the PCB holds any copper item.
  bool hasPcbItems();
  // The PCB's layers as the host serves them, the copper ones top to bottom
  // (the current tool must be the PCB).
  std::vector<TLayer> pcbLayers();
  // Create one copper item as given, in the host group its groupName names;
  // the record comes back with the host's id.
  void placeItem(TLine& line);
  void placeItem(TArc& arc);
  void placeItem(TVia& via);
  void placeItem(TPolygon& polygon);
  // Deletes the copper item of that type and id.
  void deleteItem(int32_t itemType, int32_t itemId);
  void setWalkLimits(WalkLimits limits) { walkLimits_ = limits; }

  uint8_t tool() const { return tool_; }
  uint32_t loadedMask() const { return loadedMask_; }
  int32_t lockCount() const { return lockCount_; }
  // 1 the PCB's, 2 the schematic's, 3 the current tool's (the PCB's when the
  // current tool is 1, otherwise the schematic's).
  const DPack& pack(uint8_t tool = kCurrentTool) const;
  // Schematic sheets by name and by id.
  const bimap<std::string, int32_t>& sheets() const { return sheets_; }
  // Empty for an unknown id.
  std::string_view sheetName(int32_t sheetId) const;

 private:
  friend class Lock;
  friend class Component;

  uint8_t resolveTool(uint8_t tool) const;
  DPack& packOf(uint8_t tool);
  void acquireLock(bool verify);
  void releaseLock();
  void load(uint8_t tool);
  void readHeader(DPack& pack);
  void readPcbComponents(DPack& pack);
  void readSchComponents(DPack& pack);
  void readPads(Component& component);
  void readPins(Component& component, int32_t sheetId);
  void readNets(DPack& pack, bool withSheets);
  void refreshComponent(Component& component);
  template <class First, class Next, class Visit>
  void walk(First&& first, Next&& next, Visit&& visit);
  // Counts one item of a walk against the limits.
  void countWalkItem(std::size_t& walkItems);

  Dbx32& dbx_;
  TConversation context_;
  uint8_t tool_ = kToolNone;
  uint32_t loadedMask_ = 0;
  int32_t lockCount_ = 0;
  DPack pcb_;
  DPack sch_;
  bimap<std::string, int32_t> sheets_;
  bool verifying_ = false;
  WalkLimits walkLimits_;
  std::size_t actionItems_ = 0;
};

// Keeps the conversation open while it lives. The outermost lock re-reads the
// header (which reopens a closed conversation) and its release closes the
// conversation; with verify, every lock re-reads the header and verifies the
// stored components.
class Lock {
 public:
  Lock(Design& design, bool verify);
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  Design& design_;
};

}  // namespace DBX
