// The fixed texts of the placement page: captions, field labels and hints of
// its controls, and the pieces of the texts it composes at run time.
#pragma once

#include <cstddef>
#include <string_view>

namespace placement {

struct ControlText {
  std::string_view name;     // the control's name on the page
  std::string_view caption;  // caption or field label; empty when it has none
  std::string_view hint;     // shown as a tooltip; empty when it has none
};

inline constexpr ControlText kPlacerControls[] = {
    {"Label1", "Main Group:", ""},
    {"GroupsList", "", "List of available Groups (selected Group will be Main/template group)"},
    {"TabSheet1", "Place", ""},
    {"GroupBox1", "Placement Grid Configuration", ""},
    {"Pl_LT", "", "Position of Main (template) group in generated grid"},
    {"Pl_RT", "", "Position of Main (template) group in generated grid"},
    {"Pl_LB", "", "Position of Main (template) group in generated grid"},
    {"Pl_RB", "", "Position of Main (template) group in generated grid"},
    {"Panel2", "", "Generated grip"},
    {"Pl_Any", "Unrelated", "Main (template) group placed not in generated grid"},
    {"PointerLabel", "=>", ""},
    {"Coord_X", "X: ", "X coordinate of left edge of generated grid"},
    {"Coord_Y", "Y: ", "Y coordinate of bottom edge of generated grid"},
    {"GridInfoRows", "Rows: ", "Number of Rows in generated grid"},
    {"GridInfoCols", "Cols: ", "Number of Columns in generated grid"},
    {"GridInfoGapX", "Gap X: ", "Spacing between columns"},
    {"GridInfoGapY", "Gap Y: ", "Spacing between rows"},
    {"GridInfoDeltaX", "Delta X: ", "Column to Column distance (by center)"},
    {"GridInfoDeltaY", "Delta Y: ", "Row to Row distance (by center)"},
    {"ItemMSG", "Item size - 123x345", "Size of one Group"},
    {"GridMSG", "Grid size - 123x345 (123,345-567,456)", "Size (and placement) of whole grid"},
    {"Button5", "Update", "Update dimensions from Design"},
    {"PlaceButton", "Place", "Place Groups by Grid"},
    {"UndoPlaceButton", "Undo Place", "Put the components moved by the last Place or Group back"},
    {"TabSheet2", "Others", ""},
    {"GroupBox2", "Group Current", ""},
    {"GrpX", "X: ", "X coordinate of left edge of grouping"},
    {"GrpY", "Y: ", "Y coordinate of bottom edge of grouping"},
    {"GrGap", "Gap: ", "Distance between Components in generated group"},
    {"Button2", "Group", "Group Main (template) group in one place"},
    {"Button3", "Highlight Current",
     "Highlight Components from currently selected Group (from list)"},
    {"Button4", "UnHighlight", "Turn off highlighting"},
    {"CheckBox1", "Highlight automatic",
     "Automaticly highlight Components in selected Group (from list)"},
    {"CopyRouting", "Copy routing and texts",
     "Repeat the Main group's tracks, vias, zones and component texts in every Group, on the "
     "Group's own nets"},
    {"ReplaceRouting", "Replace the copies' routing",
     "Delete the copper lying where each Group stood and where it goes, on the nets the copied "
     "routing takes there, before copying"},
    {"PlaceMSG", "", "What the last Place did"},
    {"ArrangeGrid", "Grid", "Place the Groups in a grid of cells around the Main group"},
    {"ArrangeAnchors", "Anchors",
     "Place each Group where its anchor part stands, turned and mirrored like it"},
    {"AnchorPart", "Anchor: ", "The Main group's part that every Group follows"},
    {"RoutingMargin",
     "Margin: ", "How far the Main group's routing may reach beyond its Components"},
};

// The texts of a control by its name; throws std::out_of_range for a name
// the page does not have.
const ControlText& PlacerControlText(std::string_view name);

inline constexpr std::string_view kItemMessagePrefix = "Item size - ";
inline constexpr std::string_view kGridMessagePrefix = "Grid size - ";
inline constexpr std::string_view kEmptyGroupLine = "<Empty>";
// Each takes one %s: designators joined by ", ".
inline constexpr std::string_view kLockedParts =
    "Locked parts cannot be moved: %s\nUnlock them in the PCB editor or leave them out of the "
    "groups. Nothing was moved.";
inline constexpr std::string_view kBeyondWorkspace =
    "The host cannot place these parts outside its workspace: %s\nChoose another grid. Nothing "
    "was moved.";
inline constexpr std::string_view kChangedSincePlace =
    "Changed in the PCB editor since they were placed, so left as they are: %s";
// The question before parts leave the board or land on parts outside the
// groups: each heading takes the count of its parts, then one line per group
// ("G2: R1, R2 (on J1)"), then the question itself.
inline constexpr std::string_view kOffBoardHeading = "Parts that would lie outside the board: ";
inline constexpr std::string_view kOverlapHeading =
    "Parts that would overlap parts outside the groups: ";
inline constexpr std::string_view kOverlapOn = "on ";
inline constexpr std::string_view kMoveAnyway = "Move them anyway?";
// Lists cut short end in "and 4 more" or "and 2 more groups".
inline constexpr std::string_view kAndMore = "and ";
inline constexpr std::string_view kMoreSuffix = " more";
inline constexpr std::string_view kMoreGroupsSuffix = " more groups";
inline constexpr std::size_t kPartsNamed = 6;       // per group line
inline constexpr std::size_t kObstaclesNamed = 2;   // per overlapping part
inline constexpr std::size_t kGroupLinesNamed = 8;  // per heading
inline constexpr std::string_view kNoTemplateOnPcb =
    "The Main group has no component on the PCB: nothing was placed.";
inline constexpr std::string_view kNoAnchorInTemplate =
    "The Main group has no anchor part on the PCB: nothing was placed.";
// %s: the groups without a part at the anchor's item ("G2, G3").
inline constexpr std::string_view kNoPartAtAnchor =
    "These groups have no part at the anchor's item: %s\nNothing was moved.";
inline constexpr std::string_view kRoutingSkipped =
    "Routing on these nets was not copied, because each has no single net in the copy:\n%s";

}  // namespace placement
