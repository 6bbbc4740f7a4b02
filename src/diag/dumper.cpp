#include "diag/dumper.h"

#include <cstdarg>

#include "diag/textformat.h"
#include "placement/units.h"

namespace DBX {

const EnumNameRow kHighlightColorNames[] = {
    {"None", DBX_COLOR_NONE},
    {"DBX_COLOR_BLACK", DBX_COLOR_BLACK},
    {"DBX_COLOR_DARKRED", DBX_COLOR_DARKRED},
    {"DBX_COLOR_DARKGREEN", DBX_COLOR_DARKGREEN},
    {"DBX_COLOR_DARKYELLOW", DBX_COLOR_DARKYELLOW},
    {"DBX_COLOR_DARKBLUE", DBX_COLOR_DARKBLUE},
    {"DBX_COLOR_DARKMAGENTA", DBX_COLOR_DARKMAGENTA},
    {"DBX_COLOR_DARKCYAN", DBX_COLOR_DARKCYAN},
    {"DBX_COLOR_LIGHTGRAY", DBX_COLOR_LIGHTGRAY},
    {"DBX_COLOR_DARKGRAY", DBX_COLOR_DARKGRAY},
    {"DBX_COLOR_RED", DBX_COLOR_RED},
    {"DBX_COLOR_GREEN", DBX_COLOR_GREEN},
    {"DBX_COLOR_YELLOW", DBX_COLOR_YELLOW},
    {"DBX_COLOR_BLUE", DBX_COLOR_BLUE},
    {"DBX_COLOR_MAGENTA", DBX_COLOR_MAGENTA},
    {"DBX_COLOR_CYAN", DBX_COLOR_CYAN},
    {"DBX_COLOR_WHITE", DBX_COLOR_WHITE},
    {"DBX_COLOR_POWDERGREEN", DBX_COLOR_POWDERGREEN},
    {"DBX_COLOR_POWDERBLUE", DBX_COLOR_POWDERBLUE},
    {"DBX_COLOR_POWDER", DBX_COLOR_POWDER},
    {"DBX_COLOR_GRAY", DBX_COLOR_GRAY},
    {nullptr, 0},
};

const EnumNameRow kConnectionTypeNames[] = {
    {"DBX_COMPONENT_CONNECTION_NORMAL", DBX_COMPONENT_CONNECTION_NORMAL},
    {"DBX_COMPONENT_CONNECTION_POWER", DBX_COMPONENT_CONNECTION_POWER},
    {"DBX_COMPONENT_CONNECTION_SHEET_CONNECTOR", DBX_COMPONENT_CONNECTION_SHEET_CONNECTOR},
    {"DBX_COMPONENT_CONNECTION_MODULE", DBX_COMPONENT_CONNECTION_MODULE},
    {"DBX_COMPONENT_CONNECTION_LINK", DBX_COMPONENT_CONNECTION_LINK},
    {nullptr, 0},
};

std::string EnumName(int32_t value, EnumNameTable table) {
  for (const EnumNameRow* row = table; row->name != nullptr; ++row) {
    if (row->value == value) return diag::formatText("%s (%d)", row->name, value);
  }
  return diag::formatText("??? (%d)", value);
}

void FileDumper::write(const char* text) { std::fputs(text != nullptr ? text : "", file_); }

void Dumper::print(const char* format, ...) {
  if (atLineStart && indent > 0) write(std::string(static_cast<std::size_t>(indent), ' ').c_str());
  atLineStart = false;
  std::va_list args;
  va_start(args, format);
  const std::string text = diag::formatTextV(format, args);
  va_end(args);
  write(text.c_str());
  if (!text.empty() && text.back() == '\n') atLineStart = true;
}

void Dumper::dumpComponent(const TComponent& record) {
  using placement::FormatPoint;
  auto number = [&](const char* name, int32_t value) { print("%-20s = %d\n", name, value); };
  auto text = [&](const char* name, std::string_view value) {
    print("%-20s = %s\n", name, std::string(value).c_str());
  };
  auto flag = [&](const char* name, int32_t value) {
    if (value != 0) print("%s\n", name);
  };

  print("TComponent {\n");
  ++indent;
  number("compId", record.compId);
  text("refDes", getText(record.refDes));
  text("compType", getText(record.compType));
  text("value", getText(record.value));
  text("patternName", getText(record.patternName));
  text("libraryName", getText(record.libraryName));
  print("%-20s = ", "refPoint");
  print("%s", FormatPoint(record.refPoint.x, record.refPoint.y).c_str());
  print("\n");
  const TRect& bound = record.boundRect;
  print("%-20s = ", "boundRect");
  print("%s - %s", FormatPoint(bound.lowerLeft.x, bound.lowerLeft.y).c_str(),
        FormatPoint(bound.upperRight.x, bound.upperRight.y).c_str());
  print("\n");
  print("%-20s = %.1f deg\n", "rotationAng", record.rotationAng * 0.1);
  number("numberPads", record.numberPads);
  number("numberPins", record.numberPins);
  number("numberParts", record.numberParts);
  flag("isAlpha", record.isAlpha);
  flag("isFlipped", record.isFlipped);
  text("isHighlighted", EnumName(record.isHighlighted, kHighlightColorNames));
  flag("isHetero", record.isHetero);
  text("connectionType", EnumName(record.connectionType, kConnectionTypeNames));
  flag("isFixed", record.isFixed);
  number("numberGraphics", record.numberGraphics);
  text("currentGraphicName", getText(record.currentGraphicName));
  text("defaultGraphicName", getText(record.defaultGraphicName));
  flag("isAutoSwapGraphic", record.isAutoSwapGraphic);
  --indent;
  print("}\n");
}

}  // namespace DBX
