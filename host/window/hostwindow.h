// The host's window: a PCB view and one view per schematic sheet in tabs, the
// File menu (open, save, save as), undo and redo of the clients' edits, the
// highlight commands and a status line
// naming the tools that have a client. The views follow the design, which
// clients change from the server thread, by polling its revision.
#pragma once

#include <QMainWindow>
#include <atomic>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "engine/hostdbx.h"
#include "window/hostsession.h"

class QAction;
class QLabel;
class QTabWidget;
class QTimer;

namespace dbxhost {

class DesignView;

class HostWindow : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int kPollMilliseconds = 100;

  HostWindow(HostDbx& host, HostSession& session, QWidget* parent = nullptr);

  // Brings views, sheet tabs, title and status line up to date.
  void refresh();
  // Open and save without file dialogs. Failures are shown in an error box
  // naming the file and the reason; they return false and change nothing.
  bool openFile(const std::filesystem::path& file);
  bool saveTo(const std::filesystem::path& file);
  void clearHighlights();
  // Edit > Undo and Redo: the edits of a client conversation; refused, and
  // said in the status line, while a client holds one.
  void undoClientEdits();
  void redoClientEdits();

  DesignView* pcbView() const { return pcbView_; }
  const std::vector<DesignView*>& sheetViews() const { return sheetViews_; }
  QTabWidget* tabs() const { return tabs_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  using SheetList = std::vector<std::pair<int32_t, std::string>>;

  void createMenus();
  void openClicked();
  bool saveClicked();
  bool saveAsClicked();  // false when cancelled or failed
  // The file changed on disk since it was read: offers Save As, reading the
  // file again, or nothing. True only when the design was saved.
  bool resolveChangedFile(const std::filesystem::path& file);
  // Shows the view's cursor position and updates the window after its clicks.
  void follow(DesignView* view);
  void showCursor(double x, double y);
  DesignView* currentView() const;
  // Asks about unsaved changes before they would be lost: true when they
  // were saved or may be discarded, false when the user keeps them.
  bool mayDiscardChanges();
  void rebuildSheetTabs(const SheetList& sheets);
  void showError(const QString& what, const std::string& reason);
  void showHistoryStep(const HostDbx::HistoryStep& step, bool undo);

  HostDbx& host_;
  HostSession& session_;
  QTabWidget* tabs_;
  DesignView* pcbView_;
  std::vector<DesignView*> sheetViews_;
  SheetList sheets_;
  QAction* undo_ = nullptr;
  QAction* redo_ = nullptr;
  QLabel* status_;
  QLabel* cursor_;
  QTimer* poll_;
};

// Shows the window until it is closed or stopRequested turns true (checked
// as often as the design is). Returns the application's exit status.
int runHostWindow(int& argc, char** argv, HostDbx& host, HostSession& session,
                  const std::atomic<bool>& stopRequested);

}  // namespace dbxhost
