// Progress of the long actions on Qt: an application-modal QProgressDialog
// with Cancel, shown once an action has run for a moment. The steps keep the
// window's events flowing, so that Cancel can be pressed while the action
// runs on the one thread.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <memory>

#include "diag/progress.h"

class QProgressDialog;

class QtProgress : public diag::Progress {
 public:
  // An action shorter than this shows no dialog.
  static constexpr int kShowAfterMilliseconds = 400;
  // Events are let through at most this often, so that steps stay cheap.
  static constexpr int kStepMilliseconds = 40;

  QtProgress();
  ~QtProgress() override;

  void begin(const std::string& caption) override;
  bool step() override;
  void end() override;

  // The dialog of the running action once it is shown; null otherwise.
  QProgressDialog* dialog() const { return dialog_.get(); }

 private:
  int depth_ = 0;
  QString caption_;
  QElapsedTimer running_;
  qint64 lastEvents_ = 0;
  std::unique_ptr<QProgressDialog> dialog_;
  bool cancelled_ = false;
};
