#include "window/hostwindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

#include "engine/hostcontrol.h"
#include "storage/filechangederror.h"
#include "window/designscene.h"
#include "window/designview.h"
#include "window/highlightclick.h"

namespace dbxhost {

namespace {

QString fileFilter() { return QObject::tr("Design files (*.json *.kicad_pcb);;All files (*)"); }

}  // namespace

HostWindow::HostWindow(HostDbx& host, HostSession& session, QWidget* parent)
    : QMainWindow(parent),
      host_(host),
      session_(session),
      tabs_(new QTabWidget(this)),
      pcbView_(new DesignView(host, DBX::kToolPcb, DesignView::Style::kPcb, pcbScene)),
      status_(new QLabel(this)),
      cursor_(new QLabel(this)),
      poll_(new QTimer(this)) {
  tabs_->addTab(pcbView_, tr("PCB"));
  setCentralWidget(tabs_);
  follow(pcbView_);
  statusBar()->addWidget(status_, 1);
  statusBar()->addPermanentWidget(cursor_);
  createMenus();
  resize(1200, 800);
  connect(poll_, &QTimer::timeout, this, &HostWindow::refresh);
  poll_->start(kPollMilliseconds);
  refresh();
}

void HostWindow::createMenus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  QAction* open = file->addAction(tr("&Open..."), this, &HostWindow::openClicked);
  open->setShortcut(QKeySequence::Open);
  QAction* save = file->addAction(tr("&Save"), this, &HostWindow::saveClicked);
  save->setShortcut(QKeySequence::Save);
  QAction* saveAs = file->addAction(tr("Save &As..."), this, &HostWindow::saveAsClicked);
  saveAs->setShortcut(QKeySequence::SaveAs);
  file->addSeparator();
  QAction* quit = file->addAction(tr("&Quit"), this, &QWidget::close);
  quit->setShortcut(QKeySequence::Quit);

  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  undo_ = edit->addAction(tr("&Undo"), this, &HostWindow::undoClientEdits);
  undo_->setObjectName("undo");
  undo_->setShortcut(QKeySequence::Undo);
  undo_->setStatusTip(tr("Take back the edits of the last client conversation"));
  redo_ = edit->addAction(tr("&Redo"), this, &HostWindow::redoClientEdits);
  redo_->setObjectName("redo");
  // Both common bindings, whatever the platform's own one is.
  QList<QKeySequence> redoKeys = QKeySequence::keyBindings(QKeySequence::Redo);
  for (const QKeySequence& key :
       {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)}) {
    if (!redoKeys.contains(key)) redoKeys.append(key);
  }
  redo_->setShortcuts(redoKeys);
  redo_->setStatusTip(tr("Do the undone edits of a client conversation again"));

  QMenu* view = menuBar()->addMenu(tr("&View"));
  QAction* fit = view->addAction(tr("&Fit to View"), this, [this] { currentView()->fitToView(); });
  fit->setShortcut(Qt::Key_F);
  QAction* zoomIn = view->addAction(tr("Zoom &In"), this, [this] { currentView()->zoomBy(1.5); });
  zoomIn->setShortcut(QKeySequence::ZoomIn);
  QAction* zoomOut =
      view->addAction(tr("Zoom &Out"), this, [this] { currentView()->zoomBy(1 / 1.5); });
  zoomOut->setShortcut(QKeySequence::ZoomOut);

  QMenu* highlight = menuBar()->addMenu(tr("&Highlight"));
  QAction* clear =
      highlight->addAction(tr("&Clear All Highlights"), this, &HostWindow::clearHighlights);
  clear->setObjectName("clearHighlights");
  clear->setShortcut(Qt::CTRL | Qt::Key_U);
  clear->setStatusTip(tr("Click a part to highlight it in red; Ctrl-click adds or removes one"));
}

DesignView* HostWindow::currentView() const {
  auto* view = qobject_cast<DesignView*>(tabs_->currentWidget());
  return view != nullptr ? view : pcbView_;
}

void HostWindow::refresh() {
  const SheetList sheets = host_.readDesign([](const Design& design) {
    SheetList list;
    for (const Sheet& sheet : design.sch.sheets) list.emplace_back(sheet.id, sheet.name);
    return list;
  });
  if (sheets != sheets_) rebuildSheetTabs(sheets);
  pcbView_->refresh();
  for (DesignView* view : sheetViews_) view->refresh();
  status_->setText(QString::fromStdString(session_.statusLine()));
  const std::filesystem::path file = session_.file();
  setWindowTitle(
      QString("%1[*] - dbxhost")
          .arg(QString::fromStdString(file.empty() ? "untitled" : file.filename().string())));
  setWindowModified(session_.modified());
  undo_->setEnabled(host_.canUndo());
  redo_->setEnabled(host_.canRedo());
}

void HostWindow::rebuildSheetTabs(const SheetList& sheets) {
  for (DesignView* view : sheetViews_) {
    tabs_->removeTab(tabs_->indexOf(view));
    view->deleteLater();
  }
  sheetViews_.clear();
  for (const auto& [id, name] : sheets) {
    const int32_t sheetId = id;
    auto* view = new DesignView(host_, DBX::kToolSch, DesignView::Style::kSchematic,
                                [sheetId](const Design& d) { return sheetScene(d, sheetId); });
    follow(view);
    tabs_->addTab(view, QString::fromStdString(name));
    sheetViews_.push_back(view);
  }
  sheets_ = sheets;
}

void HostWindow::follow(DesignView* view) {
  connect(view, &DesignView::cursorMoved, this, &HostWindow::showCursor);
  connect(view, &DesignView::designChanged, this, &HostWindow::refresh);
}

void HostWindow::showCursor(double x, double y) {
  cursor_->setText(QString("%1, %2 mm").arg(x, 0, 'f', 3).arg(y, 0, 'f', 3));
}

void HostWindow::clearHighlights() {
  const std::vector<HighlightChange> changes = host_.readDesign(planClearAll);
  if (!changes.empty()) {
    host_.withDesign([&](Design& design) { applyHighlightChanges(design, changes); });
  }
  refresh();
}

void HostWindow::undoClientEdits() { showHistoryStep(host_.undoClientEdits(), true); }

void HostWindow::redoClientEdits() { showHistoryStep(host_.redoClientEdits(), false); }

void HostWindow::showHistoryStep(const HostDbx::HistoryStep& step, bool undo) {
  refresh();
  statusBar()->showMessage(QString::fromStdString(describeHistoryStep(step, undo)), 5000);
}

void HostWindow::showError(const QString& what, const std::string& reason) {
  QMessageBox::critical(this, tr("dbxhost"), what + "\n\n" + QString::fromStdString(reason));
}

bool HostWindow::openFile(const std::filesystem::path& file) {
  try {
    session_.open(file);
  } catch (const std::exception& e) {
    showError(tr("The design was not opened."), e.what());
    return false;
  }
  refresh();
  pcbView_->fitToView();
  for (DesignView* view : sheetViews_) view->fitToView();
  return true;
}

bool HostWindow::saveTo(const std::filesystem::path& file) {
  try {
    session_.saveAs(file);
  } catch (const FileChangedError&) {
    return resolveChangedFile(file);
  } catch (const std::exception& e) {
    showError(tr("The design was not saved."), e.what());
    return false;
  }
  refresh();
  return true;
}

void HostWindow::openClicked() {
  if (!mayDiscardChanges()) return;
  const QString chosen = QFileDialog::getOpenFileName(
      this, tr("Open Design"), QString::fromStdString(session_.file().parent_path().string()),
      fileFilter());
  if (!chosen.isEmpty()) openFile(chosen.toStdString());
}

bool HostWindow::saveClicked() {
  const std::filesystem::path file = session_.file();
  return file.empty() ? saveAsClicked() : saveTo(file);
}

bool HostWindow::saveAsClicked() {
  const QString chosen = QFileDialog::getSaveFileName(
      this, tr("Save Design As"), QString::fromStdString(session_.file().string()), fileFilter());
  return !chosen.isEmpty() && saveTo(chosen.toStdString());
}

bool HostWindow::resolveChangedFile(const std::filesystem::path& file) {
  QMessageBox box(QMessageBox::Warning, tr("dbxhost"),
                  tr("%1 was changed on disk since it was read; the design was not saved.")
                      .arg(QString::fromStdString(file.string())),
                  QMessageBox::Save | QMessageBox::Open | QMessageBox::Cancel, this);
  box.setInformativeText(
      tr("Save the design to another file, or read the file again (the design's changes are "
         "then given up)?"));
  box.button(QMessageBox::Save)->setText(tr("Save As..."));
  box.button(QMessageBox::Open)->setText(tr("Reload"));
  box.setDefaultButton(QMessageBox::Save);
  switch (box.exec()) {
    case QMessageBox::Save:
      return saveAsClicked();
    case QMessageBox::Open:
      try {
        session_.reload();
      } catch (const std::exception& e) {
        showError(tr("The file was not read again."), e.what());
        return false;
      }
      refresh();
      return false;  // the design was not saved
    default:
      return false;
  }
}

bool HostWindow::mayDiscardChanges() {
  if (!session_.modified()) return true;
  QMessageBox box(QMessageBox::Warning, tr("dbxhost"),
                  tr("The design has changes that are not saved."),
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
  box.setInformativeText(
      tr("Save them to %1?").arg(QString::fromStdString(session_.file().string())));
  box.setDefaultButton(QMessageBox::Save);
  switch (box.exec()) {
    case QMessageBox::Save:
      return saveClicked();
    case QMessageBox::Discard:
      return true;
    default:
      return false;
  }
}

void HostWindow::closeEvent(QCloseEvent* event) {
  if (mayDiscardChanges()) {
    event->accept();
  } else {
    event->ignore();
  }
}

int runHostWindow(int& argc, char** argv, HostDbx& host, HostSession& session,
                  const std::atomic<bool>& stopRequested) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("dbxhost");
  HostWindow window(host, session);
  // A stop from outside (a signal, the quit command) ends the host without
  // asking: there is nobody to answer.
  QTimer stopWatch;
  QObject::connect(&stopWatch, &QTimer::timeout, [&] {
    if (stopRequested) QApplication::exit(0);
  });
  stopWatch.start(HostWindow::kPollMilliseconds);
  window.show();
  return application.exec();
}

}  // namespace dbxhost
