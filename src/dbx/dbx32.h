// The DBX client interface of the host tools: the records the host fills, the
// status, colour, connection and item codes, and the abstract call interface
// whose members correspond one to one to the host library's ordinals.
//
// Every call returns a 32-bit status (0 success, otherwise a DBX_ code) and
// fills records owned by the caller. Text fields are fixed-size and always
// zero-terminated.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace DBX_18 {

inline constexpr int kRefDesLen = 32;     // "U12:B"
inline constexpr int kNameLen = 64;       // types, values, pattern names
inline constexpr int kLongNameLen = 128;  // net names, sheet names, paths
inline constexpr int kMaxPolygonPoints = 1024;

// Copies text into a fixed-size field, truncating and zero-terminating.
template <std::size_t N>
void setText(char (&field)[N], std::string_view text) {
  const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
  std::memcpy(field, text.data(), n);
  std::memset(field + n, 0, N - n);
}

// The text of a fixed-size field up to its first zero byte.
template <std::size_t N>
std::string_view getText(const char (&field)[N]) {
  return std::string_view(field, strnlen(field, N));
}

// Forces the terminator of a field received from elsewhere.
template <std::size_t N>
void terminate(char (&field)[N]) {
  field[N - 1] = 0;
}

struct TPoint {
  int32_t x = 0;
  int32_t y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

// Axis-aligned rectangle: first corner left-bottom, second right-top.
struct TRect {
  TPoint lowerLeft;
  TPoint upperRight;
  friend bool operator==(const TRect&, const TRect&) = default;
};

struct TDesign {
  char designName[kLongNameLen] = {};
  TRect workspaceExtents;
  int32_t absGridId = 0;
  int32_t relGridId = 0;
  int32_t isGridAbsolute = 0;
  TPoint relGridOrigin;
  // The box around the board outline; all zero when the host knows none.
  // Parts may stand beside the board, so this is not the workspace.
  TRect boardExtents;
};

struct TGrid {
  int32_t gridId = 0;
  char gridSpacing[kNameLen] = {};  // "1.27mm", "50mil", "0.1"
};

struct TComponent {
  int32_t compId = 0;
  char refDes[kRefDesLen] = {};
  char compType[kNameLen] = {};
  char value[kNameLen] = {};
  char patternName[kNameLen] = {};
  char libraryName[kNameLen] = {};
  TPoint refPoint;
  TRect boundRect;
  int32_t rotationAng = 0;  // tenths of a degree, counter-clockwise
  int32_t numberPads = 0;
  int32_t numberPins = 0;
  int32_t numberParts = 0;
  int32_t isAlpha = 0;
  int32_t isFlipped = 0;
  int32_t isHighlighted = 0;  // 0 or a DBX_COLOR_ code
  int32_t isHetero = 0;
  int32_t connectionType = 0;  // DBX_COMPONENT_CONNECTION_ code
  int32_t isFixed = 0;
  int32_t numberGraphics = 0;
  char currentGraphicName[kNameLen] = {};
  char defaultGraphicName[kNameLen] = {};
  int32_t isAutoSwapGraphic = 0;
};

struct TSymbol {
  int32_t symbolId = 0;
  char refDes[kRefDesLen] = {};  // with part suffix: "U1:A"
  int32_t partNumber = 0;
  TPoint refPoint;
  TRect boundRect;
  int32_t rotationAng = 0;
  int32_t isFlipped = 0;
  int32_t isHighlighted = 0;
  int32_t layerId = 0;  // the sheet
};

struct TCompPin {
  char pinDes[kRefDesLen] = {};
  int32_t gateNumber = 0;
  char pinName[kNameLen] = {};
};

struct TPad {
  int32_t padId = 0;
  int32_t netId = 0;  // 0: on no net
  TPoint center;
  int32_t layerId = 0;
  TCompPin compPin;
};

struct TPin {
  int32_t pinId = 0;
  int32_t netId = 0;
  TPoint refPoint;
  TCompPin compPin;
};

struct TNet {
  int32_t netId = 0;
  char netName[kLongNameLen] = {};
  int32_t nodeCount = 0;
};

struct TLayer {
  int32_t layerId = 0;
  char layerName[kLongNameLen] = {};
  int32_t layerType = 0;
};

// A straight track.
struct TLine {
  int32_t lineId = 0;
  int32_t layerId = 0;
  int32_t width = 0;
  TPoint startPt;
  TPoint endPt;
  int32_t netId = 0;              // 0: on no net
  char groupName[kNameLen] = {};  // the host group the item belongs to; "" none
  int32_t isCreatedByClient = 0;  // set by the host for items a client placed
  // The item read from the design file whose attributes beyond shape, net and
  // id this one carries (its own id for such an item; 0 none). A copy keeps
  // its original's, so that the host gives it the same attributes.
  int32_t sourceItemId = 0;
};

// An arc track through three points.
struct TArc {
  int32_t arcId = 0;
  int32_t layerId = 0;
  int32_t width = 0;
  TPoint startPt;
  TPoint midPt;
  TPoint endPt;
  int32_t netId = 0;
  char groupName[kNameLen] = {};
  int32_t isCreatedByClient = 0;
  int32_t sourceItemId = 0;
};

enum ViaType : int32_t {
  kViaThrough = 0,
  kViaBlindBuried = 1,
  kViaMicro = 2,
};

struct TVia {
  int32_t viaId = 0;
  TPoint location;
  int32_t diameter = 0;
  int32_t drill = 0;
  int32_t startLayerId = 0;
  int32_t endLayerId = 0;
  int32_t viaType = kViaThrough;
  int32_t netId = 0;
  char groupName[kNameLen] = {};
  int32_t isCreatedByClient = 0;
  int32_t sourceItemId = 0;
};

// The outline of a copper zone or keepout area on one layer (no fill).
struct TPolygon {
  int32_t polygonId = 0;
  int32_t layerId = 0;
  int32_t netId = 0;
  int32_t priority = 0;
  int32_t isKeepout = 0;
  int32_t numberPoints = 0;  // 0 to kMaxPolygonPoints
  TPoint points[kMaxPolygonPoints];
  char groupName[kNameLen] = {};
  int32_t isCreatedByClient = 0;
  int32_t sourceItemId = 0;
};

enum AttrType : int32_t {
  kAttrRefDes = 1,
  kAttrValue = 2,
};

// A component's reference or value text.
struct TAttribute {
  int32_t attrType = 0;     // kAttrRefDes or kAttrValue
  TPoint refPoint;          // absolute
  int32_t rotationAng = 0;  // tenths of a degree, counter-clockwise
  int32_t isFlipped = 0;    // mirrored, on the bottom side
  int32_t layerId = 0;
  int32_t textHeight = 0;
  int32_t isVisible = 0;
};

// An item of a walk: the type code first, then the record that the type
// names (component for DBX_COMPONENT, symbol for DBX_SYMBOL, net for DBX_NET,
// line, arc, via or polygon for the copper types).
struct TItem {
  int32_t itemType = 0;
  TComponent component;
  TSymbol symbol;
  TNet net;
  TLine line;
  TArc arc;
  TVia via;
  TPolygon polygon;
};

// Forces every text terminator of a record that crossed a process boundary.
void terminateTexts(TDesign& r);
void terminateTexts(TGrid& r);
void terminateTexts(TComponent& r);
void terminateTexts(TSymbol& r);
void terminateTexts(TPad& r);
void terminateTexts(TPin& r);
void terminateTexts(TNet& r);
void terminateTexts(TLayer& r);
void terminateTexts(TLine& r);
void terminateTexts(TArc& r);
void terminateTexts(TVia& r);
void terminateTexts(TPolygon& r);
void terminateTexts(TAttribute& r);
void terminateTexts(TItem& r);

// Item type codes: highlighted items are components, symbols and nets; the
// PCB item walk serves the copper types.
enum ItemType : int32_t {
  DBX_ARC = 1,
  DBX_NET = 6,
  DBX_COMPONENT = 9,
  DBX_LINE = 12,
  DBX_POLYGON = 16,
  DBX_VIA = 25,
  DBX_SYMBOL = 35,
};

enum ConnectionType : int32_t {
  DBX_COMPONENT_CONNECTION_NORMAL = 0,
  DBX_COMPONENT_CONNECTION_POWER = 1,
  DBX_COMPONENT_CONNECTION_SHEET_CONNECTOR = 2,
  DBX_COMPONENT_CONNECTION_MODULE = 3,
  DBX_COMPONENT_CONNECTION_LINK = 4,
};

enum Color : int32_t {
  DBX_COLOR_NONE = 0,
  DBX_COLOR_BLACK = 1,
  DBX_COLOR_DARKRED,
  DBX_COLOR_DARKGREEN,
  DBX_COLOR_DARKYELLOW,
  DBX_COLOR_DARKBLUE,
  DBX_COLOR_DARKMAGENTA,
  DBX_COLOR_DARKCYAN,
  DBX_COLOR_LIGHTGRAY,
  DBX_COLOR_DARKGRAY,
  DBX_COLOR_RED,
  DBX_COLOR_GREEN,
  DBX_COLOR_YELLOW,
  DBX_COLOR_BLUE,
  DBX_COLOR_MAGENTA,
  DBX_COLOR_CYAN,
  DBX_COLOR_WHITE,
  DBX_COLOR_POWDERGREEN,
  DBX_COLOR_POWDERBLUE,
  DBX_COLOR_POWDER,
  DBX_COLOR_GRAY,
};
inline constexpr int32_t kLastColor = DBX_COLOR_GRAY;

// Layer types of the host's layer walk: schematic sheets are layers; the PCB
// serves its copper layers as signal layers and the others as non-signal.
inline constexpr int32_t kLayerTypeSheet = 1;
inline constexpr int32_t kLayerTypeSignal = 2;
inline constexpr int32_t kLayerTypeNonSignal = 3;

}  // namespace DBX_18

namespace DBX {

using namespace DBX_18;

// DBX status codes. The names are the host's; see statusName() for the text.
enum Status : int32_t {
  DBX_OK = 0,
  DBX_CONNECTION_ERROR = 32001,
  DBX_DISCONNECT_ERROR,
  DBX_BAD_SERVER_DATA,
  DBX_SERVER_ERROR,
  DBX_FATAL_ERROR,
  DBX_VERSION_INCOMPATIBLE,
  DBX_CLIENT_ERROR,
  DBX_SECURITY_ERROR,
  DBX_FLIP_ERROR,
  DBX_ROTATE_ERROR,
  DBX_MOVE_ERROR,
  DBX_HIGHLIGHT_ERROR,
  DBX_DELETE_ERROR,
  DBX_MODIFY_ERROR,
  DBX_CREATE_ERROR,
  DBX_DATABASE_ERROR,
  DBX_INVALID_CONV_HANDLE = 32101,
  DBX_SERVER_TERMINATED,
  DBX_LOW_MEMORY,
  DBX_ALREADY_CONNECTED,
  DBX_NO_CONNECTION,
  DBX_SERVER_BUSY,
  DBX_ILLEGAL_OP = 32121,
  DBX_BAD_INPUT,
  DBX_ARRAY_TOO_SMALL,
  DBX_INVALID_ITEM_ID,
  DBX_ITEM_NOT_FOUND = 32141,
  DBX_ITEM_NOT_SUPPORTED,
  DBX_ILLEGAL_ITEM,
  DBX_SHAPE_NOT_DEFINED,
  DBX_GETFIRST_NOT_CALLED,
  DBX_GETCOMP_NOT_CALLED,
  DBX_GETNET_NOT_CALLED,
  DBX_NO_MORE_LAYERS = 32161,
  DBX_NO_MORE_NETS,
  DBX_NO_MORE_ITEMS,
  DBX_NO_MORE_NETCLASSES,
  DBX_NO_MORE_CLASSTOCLASSES,
  DBX_NO_MORE_ROOMS,
  DBX_NO_MORE_ROOMPOINTS,
  DBX_NO_MORE_COMPONENTS,
  DBX_INVALID_ANGLE = 32170,
  DBX_INVALID_HIGHLIGHT_COLOR,
  DBX_INVALID_ITEM_TYPE,
  DBX_INVALID_JUSTIFICATION,
  DBX_INVALID_LAYER,
  DBX_INVALID_LOCATION,
  DBX_INVALID_NET_ID,
  DBX_INVALID_NETNAME,
  DBX_INVALID_PADSTYLE,
  DBX_INVALID_PIN_NUMBER = 32279,
  DBX_INVALID_RADIUS = 32180,
  DBX_INVALID_REFDES,
  DBX_INVALID_ROTATION_ANGLE,
  DBX_INVALID_TEXTSTYLE,
  DBX_INVALID_WIDTH,
  DBX_INVALID_LAYERNAME,
  DBX_INVALID_COMPNAME,
  DBX_NOT_SAME_NUM_PARTS,
  DBX_NOT_SAME_NUM_PINS,
  DBX_NOT_SAME_COMP_TYPE,
  DBX_NOT_SAME_HETERO,
  DBX_INVALID_LINESTYLE,
  DBX_INVALID_PINLENGTH,
  DBX_INVALID_PINSTYLE,
  DBX_INVALID_ALTTYPE,
  DBX_INVALID_NETCLASSNAME,
  DBX_INVALID_CLASSTOCLASSID,
  DBX_INVALID_NETCLASS_ID,
  DBX_INVALID_LAYER_ID,
  DBX_INVALID_ROOMNAME,
  DBX_INVALID_ATTRIBUTE_VALUE,
  DBX_INVALID_ATTRIBUTE_NAME,
  DBX_INVALID_LAYER_BIAS,
  DBX_INVALID_VARIANT_NAME,
  DBX_DUPLICATE_ATTRIBUTE = 32205,
  DBX_DUPLICATE_NETNAME,
  DBX_DUPLICATE_NETCLASSNAME,
  DBX_DUPLICATE_CLASSTOCLASSNAME,
  DBX_DUPLICATE_REFDES,
  DBX_COMPONENT_NOT_FOUND = 32215,
  DBX_LAYER_NOT_FOUND,
  DBX_NET_NOT_FOUND,
  DBX_NET_NOT_EMPTY,
  DBX_NET_EXISTS,
  DBX_NET_CONFLICT,
  DBX_NETCLASS_NOT_FOUND,
  DBX_NETCLASS_NOT_EMPTY,
  DBX_NETCLASS_EXISTS,
  DBX_CLASSTOCLASS_NOT_FOUND,
  DBX_ROOM_NOT_FOUND,
  DBX_POINT_NOT_FOUND,
  DBX_LAYER_EXISTS,
  DBX_COMP_CACHE_CONFLICT = 32230,
  DBX_LIBRARY_NOT_OPEN,
  DBX_ITEM_OUTSIDE_WORKSPACE,
  DBX_NO_ATTACHED_PATTERN,
  DBX_TOO_FEW_PINS,
  DBX_PINDES_NOT_FOUND,
  DBX_NAME_TOO_LONG,
  DBX_PRINT_JOB_NOT_FOUND,
  DBX_NO_PRINT_JOBS_SELECTED,
  DBX_FILE_OPEN_FAILURE,
  DBX_INVALID_LIBRARY_NAME = 32250,
  DBX_LIBRARY_CANT_OPEN,
  DBX_COMP_ALREADY_OPEN,
  DBX_OPENCOMP_NOT_CALLED,
  DBX_SAVECOMP_FAILED,
  DBX_LIBRARY_READ_ONLY,
  DBX_SAVESYMBOL_FAILED,
  DBX_SAVEPATTERN_FAILED,
  DBX_INTERNAL_PARAMETER_ERROR,
  // The client's own statuses, outside the host's range: a walk that never
  // ends, and a host that does not answer a call in time.
  DBX_TOO_MANY_ITEMS = 32901,
  DBX_CALL_TIMEOUT,
};

// One row of a (name, value) table, as used for status names and the
// enumerations the design dump prints. A table ends with a row whose name is
// null.
struct EnumNameRow {
  const char* name;
  int32_t value;
};

// The 112 status names, in the host's table order.
extern const EnumNameRow kStatusNames[];
inline constexpr int kStatusNameCount = 112;
// The names of the statuses that only this client answers.
extern const EnumNameRow kClientStatusNames[];

// "NAME (CODE)" for a known status, "??? (CODE)" otherwise; the host's table
// is searched from the top for the first equal value, then the client's.
std::string statusText(int32_t status);

// The name alone, or nullptr when the status is not in the table.
const char* statusName(int32_t status);

// Tool codes of a conversation.
enum Tool : uint8_t {
  kToolNone = 0,
  kToolPcb = 1,
  kToolSch = 2,
};

// The tool names the open call takes.
inline constexpr const char* kToolNamePcb = "pcb";
inline constexpr const char* kToolNameSch = "sch";

// The arguments the program passes to the open call.
inline constexpr int32_t kOpenLanguage = 0;
inline constexpr int32_t kOpenVersion = 18000;

// The conversation context that the open call fills. Its content belongs to
// the implementation of the interface.
struct TConversation {
  uint32_t handle = 0;
  int32_t tool = 0;
};

// The host's DBX call interface. Each member is one ordinal of the host
// library (noted beside it); the first argument after the open is the
// conversation context.
class Dbx32 {
 public:
  virtual ~Dbx32() = default;

  // 282. language, version, tool name ("pcb" or "sch"), context to fill.
  virtual int32_t TOpenDesign(int32_t language, int32_t version, const char* toolName,
                              TConversation* context) = 0;
  // 25.
  virtual int32_t TCloseDesign(TConversation* context, const char* reserved) = 0;
  // 99.
  virtual int32_t TGetDesignInfo(TConversation* context, TDesign* design) = 0;
  // 116 / 169.
  virtual int32_t TGetFirstGrid(TConversation* context, TGrid* grid) = 0;
  virtual int32_t TGetNextGrid(TConversation* context, TGrid* grid) = 0;
  // 114 / 167.
  virtual int32_t TGetFirstComponent(TConversation* context, TComponent* component) = 0;
  virtual int32_t TGetNextComponent(TConversation* context, TComponent* component) = 0;
  // 143 / 196.
  virtual int32_t TGetFirstSymbol(TConversation* context, TSymbol* symbol) = 0;
  virtual int32_t TGetNextSymbol(TConversation* context, TSymbol* symbol) = 0;
  // 94. refDes without part suffix.
  virtual int32_t TGetCompByRefDes(TConversation* context, const char* refDes,
                                   TComponent* component) = 0;
  // 98. refDes with part suffix.
  virtual int32_t TGetSymbolByRefDes(TConversation* context, const char* refDes,
                                     TSymbol* symbol) = 0;
  // 109 / 162.
  virtual int32_t TGetFirstCompPad(TConversation* context, const char* refDes,
                                   const char* graphicName, TPad* pad) = 0;
  virtual int32_t TGetNextCompPad(TConversation* context, TPad* pad) = 0;
  // 112 / 165. bare refDes.
  virtual int32_t TGetFirstCompPin(TConversation* context, const char* refDes, TPin* pin) = 0;
  virtual int32_t TGetNextCompPin(TConversation* context, TPin* pin) = 0;
  // 122 / 175.
  virtual int32_t TGetFirstNet(TConversation* context, TNet* net) = 0;
  virtual int32_t TGetNextNet(TConversation* context, TNet* net) = 0;
  // 118 / 171.
  virtual int32_t TGetFirstLayer(TConversation* context, TLayer* layer) = 0;
  virtual int32_t TGetNextLayer(TConversation* context, TLayer* layer) = 0;
  // 141 / 194.
  virtual int32_t TGetFirstHighlightedItem(TConversation* context, TItem* item) = 0;
  virtual int32_t TGetNextHighlightedItem(TConversation* context, TItem* item) = 0;
  // 210. colour: a DBX_COLOR_ code.
  virtual int32_t THighlightItem(TConversation* context, int32_t color, TComponent* component) = 0;
  // 325.
  virtual int32_t TUnHighlightItem(TConversation* context, TComponent* component) = 0;
  // 265.
  virtual int32_t TMoveComponent(TConversation* context, int32_t dx, int32_t dy,
                                 TComponent* component) = 0;
  // 80.
  virtual int32_t TFlipComponent(TConversation* context, TPoint point, TComponent* component) = 0;
  // 304. angle in tenths of a degree, counter-clockwise.
  virtual int32_t TRotateComponent(TConversation* context, int32_t angle, TPoint point,
                                   TComponent* component) = 0;
  // 134 / 187. Every copper item of the PCB: lines, arcs, vias, polygons.
  virtual int32_t TGetFirstPcbItem(TConversation* context, TItem* item) = 0;
  virtual int32_t TGetNextPcbItem(TConversation* context, TItem* item) = 0;
  // 241 / 234 / 252 / 244. Create the item as given; its groupName puts it in
  // that host group. The record comes back with the new id.
  virtual int32_t TPlaceLine(TConversation* context, TLine* line) = 0;
  virtual int32_t TPlaceArc(TConversation* context, TArc* arc) = 0;
  virtual int32_t TPlaceVia(TConversation* context, TVia* via) = 0;
  virtual int32_t TPlacePolygon(TConversation* context, TPolygon* polygon) = 0;
  // 54. The item named by itemType and the id in its record.
  virtual int32_t TDeleteItem(TConversation* context, TItem* item) = 0;
  // 106 / 159. A PCB component's reference and value texts; bare refDes.
  virtual int32_t TGetFirstCompAttribute(TConversation* context, const char* refDes,
                                         TAttribute* attribute) = 0;
  virtual int32_t TGetNextCompAttribute(TConversation* context, TAttribute* attribute) = 0;
  // 256. Sets position, angle, side and visibility of the text of attrType.
  virtual int32_t TModifyCompAttribute(TConversation* context, const char* refDes,
                                       TAttribute* attribute) = 0;

  // What the user can do when an open of the tool found no host (where it
  // was looked for and how to start one) or one that did not answer. Empty
  // when there is nothing to say.
  virtual std::string connectionHelp(std::string_view toolName) const;
};

}  // namespace DBX
