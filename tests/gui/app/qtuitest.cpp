// The message boxes and the hourglass cursor on Qt.
#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/qtui.h"

namespace {

struct ShownBox {
  QString caption;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  Qt::CursorShape cursor = Qt::BlankCursor;
  bool overrideCursor = false;
};

// Records the box once it shows, then answers it.
void answerBox(ShownBox& shown, std::function<void(QMessageBox&)> answer) {
  QTimer::singleShot(0, [&shown, answer] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    QVERIFY(box != nullptr);
    shown.caption = box->windowTitle();
    shown.text = box->text();
    shown.icon = box->icon();
    shown.buttons = box->standardButtons();
    shown.overrideCursor = QGuiApplication::overrideCursor() != nullptr;
    if (shown.overrideCursor) shown.cursor = QGuiApplication::overrideCursor()->shape();
    answer(*box);
  });
}

void pressOk(QMessageBox& box) { box.button(QMessageBox::Ok)->click(); }

}  // namespace

class QtUiTest : public QObject {
  Q_OBJECT

 private slots:
  void boxesOfEachKindHaveTheirCaptionIconAndOneOkButton() {
    QtUi ui;
    const struct {
      diag::MessageKind kind;
      const char* caption;
      QMessageBox::Icon icon;
    } kinds[] = {{diag::MessageKind::Warning, "Warning", QMessageBox::Information},
                 {diag::MessageKind::Error, "Error", QMessageBox::Warning},
                 {diag::MessageKind::Fatal, "Fatal", QMessageBox::Critical}};
    for (const auto& kind : kinds) {
      ShownBox shown;
      answerBox(shown, pressOk);
      ui.showMessage(kind.kind, "No Macro Sheets found!");
      QCOMPARE(shown.caption, QString(kind.caption));
      QCOMPARE(shown.icon, kind.icon);
      QCOMPARE(shown.text, QString("No Macro Sheets found!"));
      QCOMPARE(shown.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
  }

  void confirmIsTrueOnlyForOk() {
    QtUi ui;
    ShownBox shown;
    answerBox(shown, pressOk);
    QVERIFY(ui.confirm("Remove design info?\nAre you shure?"));
    QCOMPARE(shown.caption, QString("Confirm"));
    QCOMPARE(shown.icon, QMessageBox::Question);
    QCOMPARE(shown.text, QString("Remove design info?\nAre you shure?"));
    QCOMPARE(shown.buttons, QMessageBox::Ok | QMessageBox::Cancel);

    answerBox(shown, [](QMessageBox& box) { box.button(QMessageBox::Cancel)->click(); });
    QVERIFY(!ui.confirm("Continue?"));
    answerBox(shown, [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); });
    QVERIFY(!ui.confirm("Continue?"));
    answerBox(shown, [](QMessageBox& box) { box.close(); });
    QVERIFY(!ui.confirm("Continue?"));
  }

  void waitCursorNestsAndBoxesShowTheNormalCursor() {
    QtUi ui;
    ui.pushWaitCursor();
    ui.pushWaitCursor();
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    ShownBox shown;
    answerBox(shown, pressOk);
    ui.showMessage(diag::MessageKind::Error, "Design was modified:\nX");
    QVERIFY(shown.overrideCursor);
    QCOMPARE(shown.cursor, Qt::ArrowCursor);
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    ui.popWaitCursor();
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    ui.popWaitCursor();
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
  }
};

QTEST_MAIN(QtUiTest)
#include "qtuitest.moc"
