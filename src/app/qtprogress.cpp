#include "app/qtprogress.h"

#include <QApplication>
#include <QProgressDialog>

QtProgress::QtProgress() = default;

QtProgress::~QtProgress() = default;

void QtProgress::begin(const std::string& caption) {
  if (depth_++ > 0) return;
  caption_ = QString::fromStdString(caption);
  cancelled_ = false;
  lastEvents_ = 0;
  running_.start();
}

bool QtProgress::step() {
  if (depth_ == 0) return true;
  if (cancelled_) return false;
  const qint64 elapsed = running_.elapsed();
  if (elapsed - lastEvents_ < kStepMilliseconds) return true;
  lastEvents_ = elapsed;
  if (!dialog_ && elapsed >= kShowAfterMilliseconds) {
    dialog_ = std::make_unique<QProgressDialog>(caption_, QObject::tr("Cancel"), 0, 0,
                                                QApplication::activeWindow());
    dialog_->setWindowModality(Qt::ApplicationModal);
    dialog_->setMinimumDuration(0);
    dialog_->show();
  }
  if (!dialog_) return true;
  QApplication::processEvents();
  cancelled_ = dialog_->wasCanceled();
  return !cancelled_;
}

void QtProgress::end() {
  if (depth_ == 0 || --depth_ > 0) return;
  dialog_.reset();
}
