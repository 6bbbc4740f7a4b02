#include "storage/kicad/sexpr.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace dbxhost::kicad {
namespace {

std::string refusal(const std::string& text) {
  try {
    parseSexpr(text, "board.kicad_pcb");
  } catch (const KicadFileError& error) {
    return error.what();
  }
  return "accepted";
}

TEST(SexprTest, ReadsListsAtomsAndStringsWithTheirPlaceInTheText) {
  const std::string text =
      "(kicad_pcb (version 20240108)\n  (net 1 \"/A \\\"q\\\" \\\\ b\")\n  (at -1.5 2))";
  const SexprTree root = parseSexpr(text, "f");
  EXPECT_EQ(root.head(), "kicad_pcb");
  ASSERT_EQ(root.children().size(), 4u);
  const Sexpr* net = root.list("net");
  ASSERT_NE(net, nullptr);
  EXPECT_EQ(net->line, 2);
  EXPECT_EQ(net->children()[2].kind, Sexpr::Kind::String);
  EXPECT_EQ(net->children()[2].text(), "/A \"q\" \\ b");
  // Offsets cover the node as written, so a writer can replace it in place.
  EXPECT_EQ(text.substr(net->begin, net->end - net->begin), "(net 1 \"/A \\\"q\\\" \\\\ b\")");
  EXPECT_EQ(
      quoteSexprString(net->children()[2].text()),
      text.substr(net->children()[2].begin, net->children()[2].end - net->children()[2].begin));
  const Sexpr& x = root.list("at")->children()[1];
  EXPECT_EQ(text.substr(x.begin, x.end - x.begin), "-1.5");
  EXPECT_EQ(root.lists("at").size(), 1u);
  EXPECT_EQ(root.list("missing"), nullptr);
}

TEST(SexprTest, RefusesMalformedTextWithTheLine) {
  EXPECT_EQ(refusal(""), "board.kicad_pcb: line 1: the file is empty");
  EXPECT_EQ(refusal("kicad_pcb"), "board.kicad_pcb: line 1: the file does not start with \"(\"");
  EXPECT_EQ(refusal("(a\n(b)\n"),
            "board.kicad_pcb: line 3: unexpected end of file: 1 parenthesis(es) left open");
  EXPECT_EQ(refusal("(a)\n)"), "board.kicad_pcb: line 2: text after the closing parenthesis");
  EXPECT_EQ(refusal("(a\n \"open)"), "board.kicad_pcb: line 2: string not terminated");
  EXPECT_EQ(refusal(std::string(kMaxDepth + 1, '(') + std::string(kMaxDepth + 1, ')')),
            "board.kicad_pcb: line 1: lists nested deeper than 256");
  EXPECT_EQ(refusal(std::string(kMaxDepth, '(') + std::string(kMaxDepth, ')')), "accepted");
}

TEST(SexprTest, ARefusalQuotesAtMostTwoHundredBytesOfTheInput) {
  const std::string huge(100'000, '7');
  const std::string text = "(at " + huge + "x)";
  const SexprTree root = parseSexpr(text, "f");
  const SexprReader reader("f");
  try {
    reader.nanometres(root, 1);
    ADD_FAILURE() << "accepted";
  } catch (const KicadFileError& error) {
    EXPECT_EQ(std::string(error.what()), "f: line 1: (at): \"" + huge.substr(0, 200) +
                                             "\"... (99801 more bytes) is not a number");
  }
  // Quoted texts of any reader's message, escapes and all.
  try {
    reader.fail(root, "net name " + quoteSexprString("a\"b" + huge) + " is too long, \"x\" short");
    ADD_FAILURE() << "no refusal";
  } catch (const KicadFileError& error) {
    EXPECT_EQ(std::string(error.what()), "f: line 1: net name \"a\\\"b" + huge.substr(0, 196) +
                                             "\"... (99804 more bytes) is too long, \"x\" short");
  }
}

// KiCad 9 saves boards with "(curved_edges no)filter_ratio 0.9)" and opens
// them: a teardrop setting without its "(" is the list it stands for.
TEST(SexprTest, TeardropSettingsWithoutTheirOpeningParenthesisAreTheirLists) {
  const std::string text =
      "(pad \"1\"\n (teardrops (max_width 2) (curved_edges no)filter_ratio 0.9)\n"
      " (enabled yes))\n (uuid \"u\"))";
  const SexprTree root = parseSexpr(text, "f");
  const Sexpr* teardrops = root.list("teardrops");
  ASSERT_NE(teardrops, nullptr);
  EXPECT_EQ(teardrops->children().size(), 5u);
  const Sexpr* ratio = teardrops->list("filter_ratio");
  ASSERT_NE(ratio, nullptr);
  EXPECT_EQ(ratio->children().at(1).text(), "0.9");
  EXPECT_EQ(text.substr(ratio->begin, ratio->end - ratio->begin), "filter_ratio 0.9)");
  EXPECT_NE(teardrops->list("enabled"), nullptr);
  EXPECT_NE(root.list("uuid"), nullptr);

  // Only where KiCad reads it so, and with exactly one value.
  EXPECT_EQ(refusal("(pad (teardrops filter_ratio 0.9 1)))"),
            "board.kicad_pcb: line 1: filter_ratio takes one value");
  EXPECT_EQ(refusal("(pad (teardrops (enabled yes)\nmax_width))"),
            "board.kicad_pcb: line 2: max_width takes one value");
  EXPECT_EQ(refusal("(pad (zone filter_ratio 0.9)))"),
            "board.kicad_pcb: line 1: text after the closing parenthesis");
  EXPECT_EQ(refusal("(pad (teardrops (enabled yes) enabled 0.9)))"),
            "board.kicad_pcb: line 1: text after the closing parenthesis");
  EXPECT_EQ(refusal("(teardrops filter_ratio)"),
            "board.kicad_pcb: line 1: filter_ratio takes one value");
  EXPECT_EQ(refusal("(filter_ratio 0.9 (teardrops (filter_ratio 0.9)))"), "accepted");
}

// Nodes refer to the text: atoms and plain strings are views into it, a
// string with escapes is unescaped once; every node keeps its offsets and
// line, however many children its list has.
TEST(SexprTest, NodesViewTheTextAndKeepTheirOffsetsAndLines) {
  std::string text = "(kicad_pcb\n (net 7 \"plain\")\n (net 8 \"tab\\tq\\\"\\x\")\n (wide";
  for (int i = 0; i < 40000; ++i) text += " a" + std::to_string(i);
  text += ")\n \"\")";
  const SexprTree root = parseSexpr(text, "f");
  ASSERT_EQ(root.children().size(), 5u);
  const Sexpr& plain = root.children()[1].children()[2];
  EXPECT_EQ(plain.kind, Sexpr::Kind::String);
  EXPECT_EQ(plain.text(), "plain");
  EXPECT_EQ(plain.text().data(), text.data() + plain.begin + 1);  // not copied
  const Sexpr& escaped = root.children()[2].children()[2];
  EXPECT_EQ(escaped.text(), "tab\tq\"\\x");
  EXPECT_EQ(escaped.line, 3u);
  EXPECT_EQ(text.substr(escaped.begin, escaped.end - escaped.begin), "\"tab\\tq\\\"\\x\"");
  const Sexpr& wide = root.children()[3];
  EXPECT_EQ(wide.head(), "wide");
  ASSERT_EQ(wide.children().size(), 40001u);
  const Sexpr& last = wide.children().back();
  EXPECT_EQ(last.text(), "a39999");
  EXPECT_EQ(last.kind, Sexpr::Kind::Atom);
  EXPECT_EQ(last.line, 4u);
  EXPECT_EQ(text.substr(last.begin, last.end - last.begin), "a39999");
  EXPECT_EQ(&wide.children()[1] + 1, &wide.children()[2]);  // side by side
  EXPECT_THROW(wide.children().at(40001), std::out_of_range);
  const Sexpr& empty = root.children().back();
  EXPECT_EQ(empty.kind, Sexpr::Kind::String);
  EXPECT_EQ(empty.text(), "");
  EXPECT_EQ(empty.line, 5u);
  // Lists hold no text, atoms no children.
  EXPECT_EQ(wide.text(), "");
  EXPECT_TRUE(last.children().empty());
  EXPECT_EQ(root.line, 1u);
  EXPECT_EQ(root.end, text.size());
}

bool skipsZonesAndFills(std::string_view head, int depth) {
  return head != "filled_polygon" && !(depth == 1 && head == "zone");
}

// A list the parse leaves unbuilt keeps its place and its head; its text is
// checked as strictly as the rest, and parseSexprList reads it in full.
TEST(SexprTest, UnbuiltListsKeepTheirPlaceAndHeadAndAreCheckedAllTheSame) {
  const std::string text =
      "(kicad_pcb (zone (net 1)\n (pts (xy 1 2)))\n (segment (filled_polygon (xy 3 4)) (w 1))\n"
      " (via (teardrops filter_ratio 0.9))))";
  const SexprTree root = parseSexpr(text, "f", skipsZonesAndFills);
  ASSERT_EQ(root.children().size(), 4u);
  const Sexpr& zone = root.children()[1];
  EXPECT_EQ(zone.head(), "zone");
  EXPECT_EQ(zone.children().size(), 1u);
  EXPECT_EQ(text.substr(zone.begin, zone.end - zone.begin), "(zone (net 1)\n (pts (xy 1 2)))");
  const Sexpr& segment = root.children()[2];
  EXPECT_EQ(segment.line, 3u);
  ASSERT_EQ(segment.children().size(), 3u);
  EXPECT_EQ(segment.children()[1].head(), "filled_polygon");
  EXPECT_EQ(segment.children()[1].children().size(), 1u);
  EXPECT_NE(segment.list("w"), nullptr);
  EXPECT_EQ(root.children()[3].list("teardrops")->list("filter_ratio")->children().size(), 2u);

  const SexprTree whole = parseSexprList(text, zone, "f");
  EXPECT_EQ(whole.begin, zone.begin);
  EXPECT_EQ(whole.end, zone.end);
  const Sexpr* xy = whole.list("pts")->list("xy");
  ASSERT_NE(xy, nullptr);
  EXPECT_EQ(xy->line, 2u);
  EXPECT_EQ(text.substr(xy->begin, xy->end - xy->begin), "(xy 1 2)");

  const auto refusalWithin = [](const std::string& zoneText) {
    const std::string board = "(kicad_pcb\n" + zoneText + ")";
    try {
      parseSexpr(board, "f", skipsZonesAndFills);
    } catch (const KicadFileError& error) {
      return std::string(error.what());
    }
    return std::string("accepted");
  };
  EXPECT_EQ(refusalWithin("(zone (a \"open)"), "f: line 2: string not terminated");
  EXPECT_EQ(refusalWithin("(zone\n (teardrops filter_ratio 1 2))"),
            "f: line 3: filter_ratio takes one value");
  // The bare setting takes its ")" also where nothing is built.
  EXPECT_EQ(refusalWithin("(zone (teardrops filter_ratio 1))"),
            "f: line 2: unexpected end of file: 1 parenthesis(es) left open");
  EXPECT_EQ(
      refusalWithin("(zone " + std::string(kMaxDepth, '(') + std::string(kMaxDepth, ')') + ")"),
      "f: line 2: lists nested deeper than 256");
  EXPECT_EQ(refusalWithin("(zone (a)"),
            "f: line 2: unexpected end of file: 1 parenthesis(es) left open");
}

TEST(SexprTest, DecimalsBecomeExactFixedPointNumbers) {
  const SexprTree root = parseSexpr(
      "(at 1.27 -0.0000005 123456.123456 90 1e-3 0.1234565 x 1.2.3 99999999999 7.5 +2)", "f");
  const SexprReader reader("f");
  EXPECT_EQ(reader.nanometres(root, 1), 1270000);
  EXPECT_EQ(reader.nanometres(root, 2), -1);  // half away from zero
  EXPECT_EQ(reader.nanometres(root, 3), 123456123456);
  EXPECT_EQ(reader.milliDegrees(root, 4), 90000);
  EXPECT_EQ(reader.nanometres(root, 5), 1000);
  EXPECT_EQ(reader.nanometres(root, 6), 123457);
  EXPECT_THROW(reader.nanometres(root, 7), KicadFileError);
  EXPECT_THROW(reader.nanometres(root, 8), KicadFileError);
  EXPECT_THROW(reader.nanometres(root, 9), KicadFileError);  // out of range
  EXPECT_EQ(reader.integer(root, 4), 90);
  EXPECT_THROW(reader.integer(root, 10), KicadFileError);
  EXPECT_EQ(reader.integer(root, 11), 2);
  EXPECT_EQ(reader.optionalMilliDegrees(root, 12), std::nullopt);
  try {
    reader.text(root, 12);
    FAIL() << "a missing value was read";
  } catch (const KicadFileError& error) {
    EXPECT_STREQ(error.what(), "f: line 1: (at) has too few values");
  }
}

}  // namespace
}  // namespace dbxhost::kicad
