#include "dbx/dbx32.h"

namespace DBX_18 {

void terminateTexts(TDesign& r) { terminate(r.designName); }
void terminateTexts(TGrid& r) { terminate(r.gridSpacing); }
void terminateTexts(TComponent& r) {
  terminate(r.refDes);
  terminate(r.compType);
  terminate(r.value);
  terminate(r.patternName);
  terminate(r.libraryName);
  terminate(r.currentGraphicName);
  terminate(r.defaultGraphicName);
}
void terminateTexts(TSymbol& r) { terminate(r.refDes); }
static void terminateTexts(TCompPin& r) {
  terminate(r.pinDes);
  terminate(r.pinName);
}
void terminateTexts(TPad& r) { terminateTexts(r.compPin); }
void terminateTexts(TPin& r) { terminateTexts(r.compPin); }
void terminateTexts(TNet& r) { terminate(r.netName); }
void terminateTexts(TLayer& r) { terminate(r.layerName); }
void terminateTexts(TLine& r) { terminate(r.groupName); }
void terminateTexts(TArc& r) { terminate(r.groupName); }
void terminateTexts(TVia& r) { terminate(r.groupName); }
void terminateTexts(TPolygon& r) { terminate(r.groupName); }
void terminateTexts(TAttribute&) {}
void terminateTexts(TItem& r) {
  terminateTexts(r.component);
  terminateTexts(r.symbol);
  terminateTexts(r.net);
  terminateTexts(r.line);
  terminateTexts(r.arc);
  terminateTexts(r.via);
  terminateTexts(r.polygon);
}

}  // namespace DBX_18

namespace DBX {

const EnumNameRow kStatusNames[] = {
    {"DBX_CONNECTION_ERROR", 32001},
    {"DBX_DISCONNECT_ERROR", 32002},
    {"DBX_BAD_SERVER_DATA", 32003},
    {"DBX_SERVER_ERROR", 32004},
    {"DBX_FATAL_ERROR", 32005},
    {"DBX_VERSION_INCOMPATIBLE", 32006},
    {"DBX_CLIENT_ERROR", 32007},
    {"DBX_SECURITY_ERROR", 32008},
    {"DBX_FLIP_ERROR", 32009},
    {"DBX_ROTATE_ERROR", 32010},
    {"DBX_MOVE_ERROR", 32011},
    {"DBX_HIGHLIGHT_ERROR", 32012},
    {"DBX_DELETE_ERROR", 32013},
    {"DBX_MODIFY_ERROR", 32014},
    {"DBX_CREATE_ERROR", 32015},
    {"DBX_DATABASE_ERROR", 32016},
    {"DBX_INVALID_CONV_HANDLE", 32101},
    {"DBX_SERVER_TERMINATED", 32102},
    {"DBX_LOW_MEMORY", 32103},
    {"DBX_ALREADY_CONNECTED", 32104},
    {"DBX_NO_CONNECTION", 32105},
    {"DBX_SERVER_BUSY", 32106},
    {"DBX_ILLEGAL_OP", 32121},
    {"DBX_BAD_INPUT", 32122},
    {"DBX_ARRAY_TOO_SMALL", 32123},
    {"DBX_INVALID_ITEM_ID", 32124},
    {"DBX_ITEM_NOT_FOUND", 32141},
    {"DBX_ITEM_NOT_SUPPORTED", 32142},
    {"DBX_ILLEGAL_ITEM", 32143},
    {"DBX_SHAPE_NOT_DEFINED", 32144},
    {"DBX_GETFIRST_NOT_CALLED", 32145},
    {"DBX_GETCOMP_NOT_CALLED", 32146},
    {"DBX_GETNET_NOT_CALLED", 32147},
    {"DBX_NO_MORE_LAYERS", 32161},
    {"DBX_NO_MORE_NETS", 32162},
    {"DBX_NO_MORE_ITEMS", 32163},
    {"DBX_NO_MORE_NETCLASSES", 32164},
    {"DBX_NO_MORE_CLASSTOCLASSES", 32165},
    {"DBX_NO_MORE_ROOMS", 32166},
    {"DBX_NO_MORE_ROOMPOINTS", 32167},
    {"DBX_NO_MORE_COMPONENTS", 32168},
    {"DBX_INVALID_ANGLE", 32170},
    {"DBX_INVALID_HIGHLIGHT_COLOR", 32171},
    {"DBX_INVALID_ITEM_TYPE", 32172},
    {"DBX_INVALID_JUSTIFICATION", 32173},
    {"DBX_INVALID_LAYER", 32174},
    {"DBX_INVALID_LOCATION", 32175},
    {"DBX_INVALID_NET_ID", 32176},
    {"DBX_INVALID_NETNAME", 32177},
    {"DBX_INVALID_PADSTYLE", 32178},
    {"DBX_INVALID_PIN_NUMBER", 32279},
    {"DBX_INVALID_RADIUS", 32180},
    {"DBX_INVALID_REFDES", 32181},
    {"DBX_INVALID_ROTATION_ANGLE", 32182},
    {"DBX_INVALID_TEXTSTYLE", 32183},
    {"DBX_INVALID_WIDTH", 32184},
    {"DBX_INVALID_LAYERNAME", 32185},
    {"DBX_INVALID_COMPNAME", 32186},
    {"DBX_NOT_SAME_NUM_PARTS", 32187},
    {"DBX_NOT_SAME_NUM_PINS", 32188},
    {"DBX_NOT_SAME_COMP_TYPE", 32189},
    {"DBX_NOT_SAME_HETERO", 32190},
    {"DBX_INVALID_LINESTYLE", 32191},
    {"DBX_INVALID_PINLENGTH", 32192},
    {"DBX_INVALID_PINSTYLE", 32193},
    {"DBX_INVALID_ALTTYPE", 32194},
    {"DBX_INVALID_NETCLASSNAME", 32195},
    {"DBX_INVALID_CLASSTOCLASSID", 32196},
    {"DBX_INVALID_NETCLASS_ID", 32197},
    {"DBX_INVALID_LAYER_ID", 32198},
    {"DBX_INVALID_ROOMNAME", 32199},
    {"DBX_INVALID_ATTRIBUTE_VALUE", 32200},
    {"DBX_INVALID_ATTRIBUTE_NAME", 32201},
    {"DBX_INVALID_LAYER_BIAS", 32202},
    {"DBX_INVALID_VARIANT_NAME", 32203},
    {"DBX_DUPLICATE_ATTRIBUTE", 32205},
    {"DBX_DUPLICATE_NETNAME", 32206},
    {"DBX_DUPLICATE_NETCLASSNAME", 32207},
    {"DBX_DUPLICATE_CLASSTOCLASSNAME", 32208},
    {"DBX_DUPLICATE_REFDES", 32209},
    {"DBX_COMPONENT_NOT_FOUND", 32215},
    {"DBX_LAYER_NOT_FOUND", 32216},
    {"DBX_NET_NOT_FOUND", 32217},
    {"DBX_NET_NOT_EMPTY", 32218},
    {"DBX_NET_EXISTS", 32219},
    {"DBX_NET_CONFLICT", 32220},
    {"DBX_NETCLASS_NOT_FOUND", 32221},
    {"DBX_NETCLASS_NOT_EMPTY", 32222},
    {"DBX_NETCLASS_EXISTS", 32223},
    {"DBX_CLASSTOCLASS_NOT_FOUND", 32224},
    {"DBX_ROOM_NOT_FOUND", 32225},
    {"DBX_POINT_NOT_FOUND", 32226},
    {"DBX_LAYER_EXISTS", 32227},
    {"DBX_COMP_CACHE_CONFLICT", 32230},
    {"DBX_LIBRARY_NOT_OPEN", 32231},
    {"DBX_ITEM_OUTSIDE_WORKSPACE", 32232},
    {"DBX_NO_ATTACHED_PATTERN", 32233},
    {"DBX_TOO_FEW_PINS", 32234},
    {"DBX_PINDES_NOT_FOUND", 32235},
    {"DBX_NAME_TOO_LONG", 32236},
    {"DBX_PRINT_JOB_NOT_FOUND", 32237},
    {"DBX_NO_PRINT_JOBS_SELECTED", 32238},
    {"DBX_FILE_OPEN_FAILURE", 32239},
    {"DBX_INVALID_LIBRARY_NAME", 32250},
    {"DBX_LIBRARY_CANT_OPEN", 32251},
    {"DBX_COMP_ALREADY_OPEN", 32252},
    {"DBX_OPENCOMP_NOT_CALLED", 32253},
    {"DBX_SAVECOMP_FAILED", 32254},
    {"DBX_LIBRARY_READ_ONLY", 32255},
    {"DBX_SAVESYMBOL_FAILED", 32256},
    {"DBX_SAVEPATTERN_FAILED", 32257},
    {"DBX_INTERNAL_PARAMETER_ERROR", 32258},
    {nullptr, 0},
};

const EnumNameRow kClientStatusNames[] = {
    {"DBX_TOO_MANY_ITEMS", 32901},
    {"DBX_CALL_TIMEOUT", 32902},
    {nullptr, 0},
};

namespace {

const char* nameIn(const EnumNameRow* table, int32_t status) {
  for (const EnumNameRow* row = table; row->name != nullptr; ++row) {
    if (row->value == status) return row->name;
  }
  return nullptr;
}

}  // namespace

const char* statusName(int32_t status) {
  const char* name = nameIn(kStatusNames, status);
  return name != nullptr ? name : nameIn(kClientStatusNames, status);
}

std::string statusText(int32_t status) {
  const char* name = statusName(status);
  return (name ? std::string(name) : std::string("???")) + " (" + std::to_string(status) + ")";
}

std::string Dbx32::connectionHelp(std::string_view) const { return {}; }

}  // namespace DBX
