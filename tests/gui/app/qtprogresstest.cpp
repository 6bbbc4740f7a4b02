// The progress dialog of the long actions on Qt.
#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QTest>
#include <thread>

#include "app/qtprogress.h"
#include "diag/actioncancelled.h"
#include "diag/progressscope.h"

namespace {

// Steps the running action until its dialog is shown.
bool stepUntilShown(QtProgress& progress) {
  QElapsedTimer waited;
  waited.start();
  while (progress.dialog() == nullptr || !progress.dialog()->isVisible()) {
    if (!progress.step() || waited.elapsed() > 5000) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class QtProgressTest : public QObject {
  Q_OBJECT

 private slots:
  void shortActionShowsNothing() {
    QtProgress progress;
    QVERIFY(progress.step());  // outside any action
    progress.begin("Reading the PCB design...");
    for (int i = 0; i < 1000; ++i) QVERIFY(progress.step());
    QCOMPARE(progress.dialog(), nullptr);
    progress.end();
  }

  void longActionShowsTheOutermostCaptionAndCancels() {
    QtProgress progress;
    diag::Progress* previous = diag::installProgress(&progress);
    {
      diag::ProgressScope outer("Placing the groups...");
      diag::ProgressScope inner("Verifying the components...");
      QVERIFY(stepUntilShown(progress));
      QCOMPARE(progress.dialog()->labelText(), QString("Placing the groups..."));
      QCOMPARE(progress.dialog()->windowModality(), Qt::ApplicationModal);

      progress.dialog()->cancel();  // as the Cancel button does
      std::this_thread::sleep_for(std::chrono::milliseconds(QtProgress::kStepMilliseconds));
      QVERIFY_THROWS_EXCEPTION(diag::ActionCancelled, diag::progressStep());
      QVERIFY(!progress.step());  // stays cancelled until the action ends
    }
    QCOMPARE(progress.dialog(), nullptr);

    // The next action starts afresh.
    progress.begin("Reading the schematic...");
    QVERIFY(progress.step());
    progress.end();
    diag::installProgress(previous);
  }
};

}  // namespace

QTEST_MAIN(QtProgressTest)
#include "qtprogresstest.moc"
