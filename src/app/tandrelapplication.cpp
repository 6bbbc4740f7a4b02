#include "app/tandrelapplication.h"

#include <exception>

#include "diag/exceptionreport.h"

TandrelApplication::TandrelApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName("Tandrel");
}

bool TandrelApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    diag::reportException(std::current_exception());
    return false;
  }
}
