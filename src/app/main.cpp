// Tandrel: groups the repeated circuits of a PCAD design and places them on
// the PCB. It talks to the host tools over their DBX sockets.
#include "app/mainwindow.h"
#include "app/qtprogress.h"
#include "app/qtui.h"
#include "app/tandrelapplication.h"
#include "dbx/socketdbx.h"
#include "diag/exceptionreport.h"

int main(int argc, char** argv) {
  TandrelApplication app(argc, argv);
  QtUi ui;
  diag::installUi(&ui);
  QtProgress progress;
  diag::installProgress(&progress);
  int status = 1;
  diag::runReported([&] {
    DBX::SocketDbx dbx;
    MainWindow window(dbx);
    window.show();
    status = QApplication::exec();
  });
  diag::installProgress(nullptr);
  diag::installUi(nullptr);
  return status;
}
