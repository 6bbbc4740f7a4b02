#include "app/mainwindow.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

#include "diag/exceptionreport.h"
#include "groups/widgets/groupselectorwidget.h"
#include "placement/widgets/placerwidget.h"

namespace {

constexpr int kButtonPanelHeight = 65;

QPushButton* makeButton(const QString& caption, const char* name, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setFixedSize(137, 33);
  return button;
}

}  // namespace

MainWindow::MainWindow(DBX::Dbx32& dbx, QWidget* parent) : QWidget(parent), form_(dbx) {
  setObjectName("Form1");
  setWindowTitle("Tandrel");
  resize(1036, 761);
  setMinimumWidth(800);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  buildWidgets();
  form_.OnStateChange = [this] { showFormState(); };
  act([this] { form_.FormCreate(); });
}

MainWindow::~MainWindow() {
  form_.OnStateChange = nullptr;
  // The pages refer to the form's models: they go before the form does.
  delete pageControl1_;
}

void MainWindow::buildWidgets() {
  pageControl1_ = new QTabWidget(this);
  pageControl1_->setObjectName("PageControl1");
  groupSelector1_ = new GroupSelectorWidget(form_.GroupSelector1());
  placer1_ = new PlacerWidget(form_.Placer1());
  pageControl1_->addTab(groupSelector1_, "Groups Selection");
  pageControl1_->addTab(placer1_, "Place Groups");

  ldSch_ = makeButton("Load SCH", "LdSCH", this);
  ldPcb_ = makeButton("Load PCB", "LdPCB", this);
  ldZap_ = makeButton("Clear Design", "LdZAP", this);
  auto* panel1 = new QWidget(this);
  panel1->setObjectName("Panel1");
  panel1->setFixedHeight(kButtonPanelHeight);
  auto* buttons = new QHBoxLayout(panel1);
  buttons->setContentsMargins(8, 16, 8, 16);
  buttons->setSpacing(15);
  buttons->addWidget(ldSch_);
  buttons->addWidget(ldPcb_);
  buttons->addStretch(1);
  buttons->addWidget(ldZap_);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(pageControl1_, 1);
  layout->addWidget(panel1);

  connect(ldSch_, &QPushButton::clicked, this, [this] { act([this] { form_.LdSCHClick(); }); });
  connect(ldPcb_, &QPushButton::clicked, this, [this] { act([this] { form_.LdPCBClick(); }); });
  connect(ldZap_, &QPushButton::clicked, this, [this] { act([this] { form_.LdZAPClick(); }); });
  connect(pageControl1_, &QTabWidget::currentChanged, this, [this](int page) {
    if (!showing_) act([&] { form_.PageControl1Change(page); });
  });
}

void MainWindow::act(const std::function<void()>& handler) {
  diag::runReported(handler);
  showFormState();
  groupSelector1_->refresh();
}

void MainWindow::showFormState() {
  const bool wasShowing = showing_;
  showing_ = true;
  ldSch_->setEnabled(form_.ldSchEnabled());
  ldPcb_->setEnabled(form_.ldPcbEnabled());
  ldZap_->setEnabled(form_.ldZapEnabled());
  // Leave a page before hiding its tab, so the tab widget picks no page of
  // its own.
  if (pageControl1_->currentIndex() != form_.activePage()) {
    pageControl1_->setCurrentIndex(form_.activePage());
  }
  pageControl1_->setTabVisible(TForm1::kPlacePage, form_.placeTabVisible());
  showing_ = wasShowing;
}
