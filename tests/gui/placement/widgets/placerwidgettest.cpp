// The "Place Groups" page's widget over the quad example's PCB on the
// in-process host: the fields and their colours, the corner buttons, the
// buttons' effect in the host design, and the page's layout.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <map>

#include "app/mainwindow.h"
#include "dbx/design.h"
#include "engine/hostdbx.h"
#include "groups/widgets/groupselectorwidget.h"
#include "model/geometry.h"
#include "placement/fieldparse.h"
#include "placement/placertexts.h"
#include "placement/units.h"
#include "placement/widgets/placerwidget.h"
#include "quadgroups.h"
#include "scriptedui.h"
#include "storage/designfile.h"

using placement::Control;

namespace {

// The placement page on the quad example's four channels, as the main
// window fills it: the placer is loaded directly, the widget follows.
struct QuadPlacerPage {
  QuadPlacerPage() : widget(placer) {
    design.selectTool(DBX::kToolPcb);
    placer.LoadGroups(design, testing_placement::quadNames(), 7);
    widget.resize(1030, 660);
    widget.show();
    if (!QTest::qWaitForWindowExposed(&widget)) qFatal("the page widget was never shown");
  }

  template <class Widget>
  Widget* child(const char* name) const {
    auto* found = widget.findChild<Widget*>(name);
    if (found == nullptr) qFatal("the page has no %s", name);
    return found;
  }
  QLineEdit* edit(const char* name) const { return child<QLineEdit>(name); }
  QString text(const char* name) const { return edit(name)->text(); }
  QListWidget* groupsList() const { return child<QListWidget>("GroupsList"); }
  QPushButton* placeButton() const { return child<QPushButton>("PlaceButton"); }
  QString gridMessage() const { return child<QLabel>("GridMSG")->text(); }

  // Replaces a field's text as a user does: all selected, then typed over.
  void type(const char* name, const QString& text) const {
    QLineEdit* field = edit(name);
    field->selectAll();
    if (text.isEmpty()) {
      QTest::keyClick(field, Qt::Key_Backspace);
    } else {
      QTest::keyClicks(field, text);
    }
  }
  void clickLine(int line) const {
    QListWidget* list = groupsList();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(line)).center());
  }
  void click(const char* name) const {
    QTest::mouseClick(child<QAbstractButton>(name), Qt::LeftButton);
  }
  // Selects the first group and gathers it at (10, 10) with gaps of one
  // grid step, where its copies fit the board beside it.
  void gatherFirstGroup() const {
    clickLine(0);
    showTab(1);
    type("GrpX", "10");
    type("GrpY", "10");
    type("GrGap", "1.27");
    click("Button2");
    showTab(0);
  }
  void showTab(int tab) const {
    child<QTabWidget>("PageControl1")->setCurrentIndex(tab);
    QCoreApplication::processEvents();
  }

  dbxhost::PcbComponent hostComponent(const std::string& refDes) const {
    return host.readDesign([&](const dbxhost::Design& d) {
      for (const dbxhost::PcbComponent& c : d.pcb.components) {
        if (c.refDes == refDes) return c;
      }
      qFatal("the host has no %s", refDes.c_str());
    });
  }
  std::vector<DBX::TPoint> hostPads(const std::string& refDes) const {
    const dbxhost::PcbComponent c = hostComponent(refDes);
    return host.readDesign([&](const dbxhost::Design& d) {
      return dbxhost::padPositions(d.pcb.patterns.at(c.patternName), c.placement);
    });
  }
  // The text the page shows for a length in database units.
  static QString shown(int64_t units) {
    return QString::fromStdString(placement::FormatLength(units));
  }

  testing_diag::ScriptedUi ui;
  dbxhost::HostDbx host{dbxhost::readDesignFile(testing_placement::kQuad)};
  DBX::Design design{host};
  placement::TPlacer placer;
  PlacerWidget widget;
  const std::vector<std::string> names = testing_placement::quadNames();
};

// Whether the edit is drawn on red: most of its inside is pure red.
bool drawnRed(QLineEdit* edit) {
  const QImage image = edit->grab().toImage().convertToFormat(QImage::Format_RGB32);
  int red = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) red += image.pixelColor(x, y) == Qt::red ? 1 : 0;
  }
  return red > image.width() * image.height() / 2;
}

// The controls a user reads or clicks, visible on page, in page coordinates.
std::map<QWidget*, QRect> visibleControls(QWidget* page) {
  std::map<QWidget*, QRect> controls;
  for (QWidget* w : page->findChildren<QWidget*>()) {
    const bool control = qobject_cast<QLabel*>(w) || qobject_cast<QLineEdit*>(w) ||
                         qobject_cast<QAbstractButton*>(w) || w->objectName() == "Panel2";
    if (control && w->isVisible()) {
      controls[w] = QRect(w->mapTo(page, QPoint(0, 0)), w->size());
    }
  }
  return controls;
}

}  // namespace

class PlacerWidgetTest : public QObject {
  Q_OBJECT

 private slots:
  void loadingListsTheGroupsInASquareGridWithPlaceDisabled() {
    QuadPlacerPage page;
    QListWidget* list = page.groupsList();
    QCOMPARE(list->count(), 4);
    QCOMPARE(list->item(0)->text(), QString("J1,C1,R1,U1,R2,R3,C2"));
    QCOMPARE(list->item(3)->text(), QString("J4,C7,R10,U4,R11,R12,C8"));
    QVERIFY(list->selectedItems().isEmpty());
    QCOMPARE(page.text("GridInfoRows"), QString("2"));
    QCOMPARE(page.text("GridInfoCols"), QString("2"));
    QCOMPARE(page.text("GridInfoGapX"), QString("1"));
    QCOMPARE(page.text("GridInfoDeltaX"), QString());
    QVERIFY(!page.placeButton()->isEnabled());
    QCOMPARE(page.child<QLabel>("ItemMSG")->text(), QString());
    QCOMPARE(page.gridMessage(), QString());
    QVERIFY(page.child<QRadioButton>("Pl_LB")->isChecked());
    QVERIFY(!page.child<QCheckBox>("CheckBox1")->isChecked());

    // Selecting the template fills the messages and enables "Place".
    page.clickLine(1);
    QCOMPARE(page.placer.SelectedGroup(), std::optional<std::size_t>(1));
    const placement::DesignRect item = page.placer.SelectedFootprint();
    QCOMPARE(page.child<QLabel>("ItemMSG")->text(), "Item size - " +
                                                        QuadPlacerPage::shown(item.Width()) + "x" +
                                                        QuadPlacerPage::shown(item.Height()));
    QVERIFY(page.gridMessage().startsWith("Grid size - "));
    QVERIFY(page.placeButton()->isEnabled());
  }

  void everyControlCarriesItsCaptionAndHint() {
    QuadPlacerPage page;
    const QTabWidget* tabs = page.child<QTabWidget>("PageControl1");
    for (const placement::ControlText& control : placement::kPlacerControls) {
      const char* name = control.name.data();
      const QString caption = QString::fromUtf8(control.caption);
      QWidget* widget = page.widget.findChild<QWidget*>(name);
      QVERIFY2(widget != nullptr, name);
      QCOMPARE(widget->toolTip(), QString::fromUtf8(control.hint));
      if (qobject_cast<QLineEdit*>(widget) != nullptr) {
        QCOMPARE(page.child<QLabel>((control.name.data() + std::string("Label")).c_str())->text(),
                 caption);
      } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        QCOMPARE(button->text(), caption);
      } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        QCOMPARE(box->title(), caption);
      } else if (tabs->indexOf(widget) >= 0) {
        QCOMPARE(tabs->tabText(tabs->indexOf(widget)), caption);
      } else if (auto* label = qobject_cast<QLabel*>(widget); label && control.name != "ItemMSG" &&
                                                              control.name != "GridMSG" &&
                                                              control.name != "PlaceMSG") {
        // The messages show what the placer composes, not a caption.
        QCOMPARE(label->text(), caption);
      }
    }
  }

  void rowsAndColsFollowEachOtherAndALetterTurnsRowsRed() {
    QuadPlacerPage page;
    page.clickLine(0);
    QVERIFY(page.placeButton()->isEnabled());
    page.type("GridInfoRows", "4");
    QCOMPARE(page.text("GridInfoCols"), QString("1"));
    page.type("GridInfoCols", "3");
    QCOMPARE(page.text("GridInfoRows"), QString("2"));

    page.type("GridInfoRows", "x");
    QVERIFY(drawnRed(page.edit("GridInfoRows")));
    QCOMPARE(page.text("GridInfoRows"), QString("x"));
    QCOMPARE(page.text("GridInfoCols"), QString("1"));
    QVERIFY(!drawnRed(page.edit("GridInfoCols")));
    QVERIFY(!page.placeButton()->isEnabled());
    QCOMPARE(page.gridMessage(), QString());

    page.type("GridInfoRows", "1");
    QVERIFY(!drawnRed(page.edit("GridInfoRows")));
    QCOMPARE(page.text("GridInfoCols"), QString("4"));
    QVERIFY(page.placeButton()->isEnabled());
  }

  void theRoutingMarginCountsOnlyWhileRoutingIsCopied() {
    QuadPlacerPage page;
    page.clickLine(0);
    // The quad example has no copper, so the box starts unticked.
    auto* box = page.child<QCheckBox>("CopyRouting");
    QVERIFY(!box->isChecked());
    QVERIFY(!page.edit("RoutingMargin")->isEnabled());
    QCOMPARE(page.text("RoutingMargin"), QString("1"));

    page.click("CopyRouting");
    QVERIFY(box->isChecked());
    QVERIFY(page.placer.CopyRouting());
    QVERIFY(page.edit("RoutingMargin")->isEnabled());
    page.type("RoutingMargin", "0.5mm");
    QVERIFY(drawnRed(page.edit("RoutingMargin")));
    QVERIFY(!page.placeButton()->isEnabled());

    // Without routing the margin is not used, so it neither shows red nor
    // holds "Place" back.
    page.click("CopyRouting");
    QVERIFY(!page.placer.CopyRouting());
    QVERIFY(!drawnRed(page.edit("RoutingMargin")));
    QVERIFY(page.placeButton()->isEnabled());
    page.click("CopyRouting");
    page.type("RoutingMargin", "0.5");
    QVERIFY(!drawnRed(page.edit("RoutingMargin")));
    QVERIFY(page.placeButton()->isEnabled());
    // A later load keeps the user's choice.
    page.placer.LoadGroups(page.design, page.names, 7);
    QVERIFY(box->isChecked());
  }

  void invalidLengthsTurnRed() {
    QuadPlacerPage page;
    page.clickLine(0);
    for (const char* bad : {"-1", "1.5mm", ""}) {
      page.type("GridInfoGapY", bad);
      QVERIFY2(drawnRed(page.edit("GridInfoGapY")), bad);
      QVERIFY2(!page.placeButton()->isEnabled(), bad);
    }
    page.type("GridInfoGapY", " 0.5 ");
    QVERIFY(!drawnRed(page.edit("GridInfoGapY")));
    QVERIFY(page.placeButton()->isEnabled());
  }

  void gapXRewritesDeltaXWithoutAPassOfItsOwn() {
    QuadPlacerPage page;
    page.clickLine(0);
    const int32_t width = page.placer.SelectedFootprint().Width();
    QCOMPARE(page.text("GridInfoDeltaX"), QuadPlacerPage::shown(int64_t{width} + 100000));

    QSignalSpy deltaEdits(page.edit("GridInfoDeltaX"), &QLineEdit::textEdited);
    page.type("GridInfoGapX", "3.0");
    QCOMPARE(page.text("GridInfoDeltaX"), QuadPlacerPage::shown(int64_t{width} + 300000));
    // A pass started by Delta X would have rewritten Gap X as "3.00".
    QCOMPARE(page.text("GridInfoGapX"), QString("3.0"));
    QCOMPARE(deltaEdits.count(), 0);

    // A pitch below the item width leaves no gap.
    page.type("GridInfoDeltaX", QuadPlacerPage::shown(int64_t{width} - 1000));
    QCOMPARE(page.text("GridInfoGapX"), QString());
    QVERIFY(drawnRed(page.edit("GridInfoGapX")));
    QVERIFY(!page.placeButton()->isEnabled());
  }

  void cornerButtonsPutTheTemplateIntoTheirCorner() {
    QuadPlacerPage page;
    page.clickLine(0);
    const placement::DesignRect item = page.placer.SelectedFootprint();
    const QString leftBottom =
        "(" + QuadPlacerPage::shown(item.left) + "," + QuadPlacerPage::shown(item.bottom) + "-";
    QVERIFY2(page.gridMessage().contains(leftBottom), qPrintable(page.gridMessage()));

    page.click("Pl_RT");
    QVERIFY(page.child<QRadioButton>("Pl_RT")->isChecked());
    QVERIFY(!page.child<QRadioButton>("Pl_LB")->isChecked());
    const QString rightTop =
        "-" + QuadPlacerPage::shown(item.right) + "," + QuadPlacerPage::shown(item.top) + ")";
    QVERIFY2(page.gridMessage().endsWith(rightTop), qPrintable(page.gridMessage()));
    QVERIFY(!page.gridMessage().contains(leftBottom));
    QVERIFY(page.placeButton()->isEnabled());
  }

  void unrelatedShowsTheOriginFields() {
    QuadPlacerPage page;
    page.clickLine(0);
    for (const char* name : {"PointerLabel", "Coord_X", "Coord_Y"}) {
      QVERIFY2(!page.child<QWidget>(name)->isVisible(), name);
    }
    page.click("Pl_Any");
    for (const char* name : {"PointerLabel", "Coord_X", "Coord_Y", "Coord_XLabel"}) {
      QVERIFY2(page.child<QWidget>(name)->isVisible(), name);
    }
    // Empty coordinates are invalid.
    QVERIFY(drawnRed(page.edit("Coord_X")));
    QVERIFY(!page.placeButton()->isEnabled());
    page.type("Coord_X", "10");
    page.type("Coord_Y", "20");
    QVERIFY2(page.gridMessage().contains("(10.00,20.00-"), qPrintable(page.gridMessage()));
    QVERIFY(page.placeButton()->isEnabled());

    page.click("Pl_LB");
    QVERIFY(!page.child<QWidget>("Coord_X")->isVisible());
    QVERIFY(!page.child<QWidget>("PointerLabel")->isVisible());
  }

  void groupAndPlaceRepeatTheTemplateInEveryCell() {
    QuadPlacerPage page;
    // With gaps of one grid step as well, every pitch is a whole number of
    // steps, and the copies repeat the template exactly.
    page.gatherFirstGroup();
    page.type("GridInfoGapX", "1.27");
    page.type("GridInfoGapY", "1.27");
    const std::vector<DBX::TPoint> templateBefore = page.hostPads("U1");
    page.click("PlaceButton");
    QVERIFY(page.ui.boxes.empty());
    QCOMPARE(page.hostPads("U1"), templateBefore);

    const int32_t deltaX = *placement::ParseLength(page.text("GridInfoDeltaX").toStdString());
    const int32_t deltaY = *placement::ParseLength(page.text("GridInfoDeltaY").toStdString());
    for (int group = 1; group < 4; ++group) {
      const int64_t dx = int64_t{group % 2} * deltaX;
      const int64_t dy = int64_t{group / 2} * deltaY;
      for (std::size_t item = 0; item < 7; ++item) {
        const std::string& model = page.names[item];
        const std::string& copy = page.names[static_cast<std::size_t>(group) * 7 + item];
        QCOMPARE(page.hostComponent(copy).placement.rotation,
                 page.hostComponent(model).placement.rotation);
        QCOMPARE(page.hostComponent(copy).placement.flipped,
                 page.hostComponent(model).placement.flipped);
        const std::vector<DBX::TPoint> pads = page.hostPads(copy);
        const std::vector<DBX::TPoint> modelPads = page.hostPads(model);
        QCOMPARE(pads.size(), modelPads.size());
        for (std::size_t p = 0; p < pads.size(); ++p) {
          QCOMPARE(int64_t{pads[p].x}, modelPads[p].x + dx);
          QCOMPARE(int64_t{pads[p].y}, modelPads[p].y + dy);
        }
      }
    }
  }

  void groupWithInvalidFieldsMovesNothing() {
    QuadPlacerPage page;
    page.clickLine(0);
    page.showTab(1);
    page.type("GrpX", "10");
    page.type("GrGap", "-1");
    const dbxhost::PcbComponent before = page.hostComponent("U1");
    page.click("Button2");
    QVERIFY(!drawnRed(page.edit("GrpX")));
    QVERIFY(drawnRed(page.edit("GrpY")));
    QVERIFY(drawnRed(page.edit("GrGap")));
    QVERIFY(page.hostComponent("U1") == before);
    QVERIFY(page.ui.boxes.empty());
  }

  void automaticHighlightFollowsTheSelection() {
    QuadPlacerPage page;
    page.clickLine(0);
    page.showTab(1);
    page.click("CheckBox1");
    QVERIFY(page.child<QCheckBox>("CheckBox1")->isChecked());
    QCOMPARE(page.hostComponent("U1").highlight, placement::TPlacer::kHighlightColor);
    QCOMPARE(page.hostComponent("U2").highlight, 0);

    page.clickLine(1);
    QCOMPARE(page.hostComponent("U1").highlight, 0);
    QCOMPARE(page.hostComponent("U2").highlight, placement::TPlacer::kHighlightColor);

    page.click("CheckBox1");
    QVERIFY(!page.child<QCheckBox>("CheckBox1")->isChecked());
    for (const std::string& name : page.names) QCOMPARE(page.hostComponent(name).highlight, 0);
  }

  void highlightButtonsRestoreAFormerColour() {
    QuadPlacerPage page;
    page.host.withDesign([](dbxhost::Design& d) {
      for (dbxhost::PcbComponent& c : d.pcb.components) {
        if (c.refDes == "C1") c.highlight = 3;
      }
    });
    page.clickLine(0);
    page.click("Button5");  // "Update" reads the colour the editor gave C1
    page.showTab(1);
    page.click("Button3");
    QCOMPARE(page.hostComponent("C1").highlight, placement::TPlacer::kHighlightColor);
    QCOMPARE(page.hostComponent("R1").highlight, placement::TPlacer::kHighlightColor);
    page.click("Button4");
    QCOMPARE(page.hostComponent("C1").highlight, 3);
    QCOMPARE(page.hostComponent("R1").highlight, 0);
  }

  void updateFollowsAMoveInTheEditor() {
    QuadPlacerPage page;
    page.clickLine(0);
    const QString itemBefore = page.child<QLabel>("ItemMSG")->text();
    page.host.withDesign([](dbxhost::Design& d) {
      for (dbxhost::PcbComponent& c : d.pcb.components) {
        if (c.refDes == "C2") c.placement = dbxhost::moved(c.placement, 2000000, 0);
      }
    });
    page.click("Button5");
    QVERIFY(page.child<QLabel>("ItemMSG")->text() != itemBefore);
    const placement::DesignRect item = page.placer.SelectedFootprint();
    QCOMPARE(page.child<QLabel>("ItemMSG")->text(), "Item size - " +
                                                        QuadPlacerPage::shown(item.Width()) + "x" +
                                                        QuadPlacerPage::shown(item.Height()));
  }

  void aHostFailureIsReportedAndThePageStaysUsable() {
    QuadPlacerPage page;
    page.gatherFirstGroup();
    const dbxhost::PcbComponent before = page.hostComponent("U2");
    page.host.injectStatus(DBX::kToolPcb, 1, DBX::DBX_FATAL_ERROR);
    page.click("PlaceButton");
    QCOMPARE(page.ui.boxes.size(), std::size_t{1});
    QCOMPARE(page.ui.boxes[0].text, std::string("DBX: DBX call error(DBX_FATAL_ERROR (32005))"));
    QCOMPARE(page.ui.waitDepth, 0);
    QVERIFY(page.hostComponent("U2") == before);
    QVERIFY(page.placeButton()->isEnabled());

    page.click("PlaceButton");
    QCOMPARE(page.ui.boxes.size(), std::size_t{1});
    QVERIFY(page.hostComponent("U2").placement != before.placement);
  }

  void undoPlaceIsEnabledAfterPlaceAndPutsTheCopiesBack() {
    QuadPlacerPage page;
    page.gatherFirstGroup();
    auto* undo = page.child<QPushButton>("UndoPlaceButton");
    QCOMPARE(undo->text(), QString("Undo Place"));
    QVERIFY(undo->isEnabled());  // the gathering can be undone
    page.click("UndoPlaceButton");
    QVERIFY(!undo->isEnabled());

    page.gatherFirstGroup();
    const dbxhost::PcbComponent before = page.hostComponent("U2");
    page.click("PlaceButton");
    QVERIFY(page.hostComponent("U2").placement != before.placement);
    QVERIFY(undo->isEnabled());
    page.click("UndoPlaceButton");
    QVERIFY(page.hostComponent("U2") == before);
    QVERIFY(!undo->isEnabled());
    QVERIFY(page.ui.boxes.empty());
  }

  void clearingTheDesignEmptiesThePage() {
    QuadPlacerPage page;
    page.clickLine(2);
    page.placer.DesignCleared();
    QCOMPARE(page.groupsList()->count(), 0);
    QCOMPARE(page.text("GridInfoRows"), QString());
    QCOMPARE(page.text("GridInfoCols"), QString());
    QCOMPARE(page.child<QLabel>("ItemMSG")->text(), QString());
    QVERIFY(!page.placeButton()->isEnabled());
    // Gaps are the user's: they stay.
    QCOMPARE(page.text("GridInfoGapX"), QString("1"));
  }

  void theMainWindowFillsThePageOnEverySwitchAndEmptiesItOnClear() {
    testing_diag::ScriptedUi ui;
    dbxhost::HostDbx host{dbxhost::readDesignFile(testing_placement::kQuad)};
    MainWindow window{host};
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(window.loadSchButton(), Qt::LeftButton);
    QTest::mouseClick(window.groupSelector()->fillBySheetButton(), Qt::LeftButton);
    QTabBar* tabs = window.pageControl()->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(TForm1::kPlacePage).center());
    QCOMPARE(window.pageControl()->currentIndex(), int{TForm1::kPlacePage});

    PlacerWidget& placer = *window.placer();
    auto* list = placer.findChild<QListWidget*>("GroupsList");
    QCOMPARE(list->count(), 4);
    QVERIFY(!list->item(0)->text().contains("<Empty>"));
    QCOMPARE(placer.field(Control::Rows)->text(), QString("2"));
    QCOMPARE(placer.field(Control::Cols)->text(), QString("2"));

    // A group highlighted by the page, then the design dropped: the page
    // empties and forgets the highlights without asking the host.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(1)).center());
    placer.placer().HighlightCurrent();
    QVERIFY(!placer.placer().HighlightMemory().empty());
    QVERIFY(window.grab().save(QString(TANDREL_SCREENSHOT_DIR) + "/placer-in-window.png"));
    ui.answers.push_back(true);
    QTest::mouseClick(window.clearButton(), Qt::LeftButton);
    QCOMPARE(list->count(), 0);
    QVERIFY(placer.placer().HighlightMemory().empty());
    QVERIFY(!placer.findChild<QPushButton*>("PlaceButton")->isEnabled());
    QVERIFY(ui.boxes.empty());
  }

  // No control is cut short or covers another, at the main window's usual
  // and minimum width; the pages are saved as pictures for a look.
  void anchorsListTheTemplatesPartsAndPlaceWithoutTheGrid() {
    QuadPlacerPage page;
    auto* anchor = page.child<QComboBox>("AnchorPart");
    QVERIFY(!anchor->isEnabled());
    page.clickLine(0);
    QVERIFY(page.edit("GridInfoCols")->isEnabled());
    page.click("ArrangeAnchors");
    QCOMPARE(page.placer.CurrentArrangement(), placement::Arrangement::Anchors);
    QVERIFY(!page.edit("GridInfoCols")->isEnabled());
    QVERIFY(!page.child<QWidget>("GroupBox1")->isEnabled());
    QVERIFY(anchor->isEnabled());
    QCOMPARE(anchor->count(), 7);
    QCOMPARE(anchor->currentText(), QString("U1"));  // the most pins
    anchor->activated(0);
    QCOMPARE(page.placer.AnchorItem(), std::optional<std::size_t>(0));
    QCOMPARE(anchor->currentText(), QString("J1"));

    // Every copy's anchor stands where it is; the rest of the copy follows.
    const dbxhost::Placement j2 = page.hostComponent("J2").placement;
    page.click("PlaceButton");
    QVERIFY(page.ui.boxes.empty());
    QCOMPARE(page.hostComponent("J2").placement, j2);
    QCOMPARE(page.child<QLabel>("PlaceMSG")->text(),
             QString("Placed 3 groups: 18 parts moved, 0 items copied, 0 items replaced, 0 items "
                     "not copied."));
    page.click("ArrangeGrid");
    QVERIFY(page.edit("GridInfoCols")->isEnabled());
    QVERIFY(!anchor->isEnabled());
  }

  void replacingTheRoutingGoesWithTheRoutingCopy() {
    QuadPlacerPage page;
    auto* replace = page.child<QCheckBox>("ReplaceRouting");
    QVERIFY(replace->isChecked());
    QVERIFY(!replace->isEnabled());
    page.click("CopyRouting");
    QVERIFY(replace->isEnabled());
    page.click("ReplaceRouting");
    QVERIFY(!page.placer.ReplaceRouting());
    QVERIFY(!replace->isChecked());
  }

  void controlsFitWithoutOverlapping() {
    QuadPlacerPage page;
    page.clickLine(0);
    page.click("Pl_Any");
    page.type("Coord_X", "10");
    page.type("Coord_Y", "20");
    for (const int width : {1030, 794}) {
      page.widget.resize(width, 660);
      for (const int tab : {0, 1}) {
        page.showTab(tab);
        QWidget* shownPage = page.child<QTabWidget>("PageControl1")->widget(tab);
        const std::map<QWidget*, QRect> controls = visibleControls(shownPage);
        QVERIFY(controls.size() >= 5);
        for (const auto& [control, rect] : controls) {
          const QString name = control->objectName() + " at width " + QString::number(width);
          QVERIFY2(shownPage->rect().contains(rect), qPrintable(name));
          if (!qobject_cast<QLineEdit*>(control)) {
            QVERIFY2(rect.width() >= control->sizeHint().width(), qPrintable(name));
          }
          for (const auto& [other, otherRect] : controls) {
            QVERIFY2(other == control || !rect.intersects(otherRect),
                     qPrintable(name + " overlaps " + other->objectName()));
          }
        }
        if (width == 1030) {
          const QString file = QString(TANDREL_SCREENSHOT_DIR) + "/placer-page-" +
                               (tab == 0 ? "place" : "others") + ".png";
          QVERIFY(page.widget.grab().save(file));
        }
      }
    }
  }
};

QTEST_MAIN(PlacerWidgetTest)
#include "placerwidgettest.moc"
