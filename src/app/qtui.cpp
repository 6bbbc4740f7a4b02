#include "app/qtui.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QString>

namespace {

QString toQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QWidget* boxParent() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

}  // namespace

QMessageBox::Icon QtUi::iconOf(diag::MessageIcon icon) {
  switch (icon) {
    case diag::MessageIcon::Information:
      return QMessageBox::Information;
    case diag::MessageIcon::Warning:
      return QMessageBox::Warning;
    case diag::MessageIcon::Error:
      return QMessageBox::Critical;
    case diag::MessageIcon::Question:
      return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

int QtUi::runBox(QMessageBox& box) {
  box.setWindowModality(Qt::ApplicationModal);
  const bool waiting = QGuiApplication::overrideCursor() != nullptr;
  if (waiting) QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
  const int result = box.exec();
  if (waiting) QGuiApplication::restoreOverrideCursor();
  return result;
}

void QtUi::showMessage(diag::MessageKind kind, const std::string& text) {
  QMessageBox box(iconOf(diag::messageIcon(kind)), toQString(diag::messageCaption(kind)),
                  toQString(text), QMessageBox::Ok, boxParent());
  runBox(box);
}

bool QtUi::confirm(const std::string& question) {
  QMessageBox box(QMessageBox::Question, toQString(diag::kConfirmCaption), toQString(question),
                  QMessageBox::Ok | QMessageBox::Cancel, boxParent());
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Cancel);
  return runBox(box) == QMessageBox::Ok;
}

void QtUi::pushWaitCursor() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }

void QtUi::popWaitCursor() { QGuiApplication::restoreOverrideCursor(); }

bool QtUi::shiftPressed() {
  return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier);
}
