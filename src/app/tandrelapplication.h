// The application object: an exception that escapes the handling of an event
// is shown in an Error box and the message loop goes on.
#pragma once

#include <QApplication>

class TandrelApplication : public QApplication {
 public:
  TandrelApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;
};
