#include "groups/widgets/choicedialog.h"

#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

ChoiceDialogParts buildChoiceDialog(QDialog& dialog, const QString& caption, int width, int height,
                                    const QString& label, int labelHeight, QTableView* view) {
  dialog.setWindowTitle(caption);
  dialog.resize(width, height);

  ChoiceDialogParts parts{};
  parts.label = new QLabel(label, &dialog);
  parts.label->setObjectName("Label1");
  QFont bold = parts.label->font();
  bold.setBold(true);
  parts.label->setFont(bold);
  parts.label->setFixedHeight(labelHeight);
  parts.label->setAlignment(Qt::AlignLeft | Qt::AlignBottom);

  if (view == nullptr) {
    parts.grid = new QTableWidget(&dialog);
    parts.view = parts.grid;
  } else {
    view->setParent(&dialog);
    parts.view = view;
    parts.grid = qobject_cast<QTableWidget*>(view);
  }
  parts.view->setObjectName("StringGrid1");
  parts.view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  parts.view->setSelectionBehavior(QAbstractItemView::SelectRows);
  parts.view->setSelectionMode(QAbstractItemView::SingleSelection);
  parts.view->setShowGrid(true);
  parts.view->setWordWrap(false);
  parts.view->verticalHeader()->hide();
  parts.view->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);

  parts.ok = new QPushButton("Ok", &dialog);
  parts.ok->setObjectName("Button1");
  parts.ok->setDefault(true);
  parts.cancel = new QPushButton("Cancel", &dialog);
  parts.cancel->setObjectName("Button2");
  QObject::connect(parts.ok, &QPushButton::clicked, &dialog, &QDialog::accept);
  QObject::connect(parts.cancel, &QPushButton::clicked, &dialog, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(parts.ok);
  buttons->addStretch(1);
  buttons->addWidget(parts.cancel);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(parts.label);
  layout->addWidget(parts.view, 1);
  layout->addLayout(buttons);
  return parts;
}

void centreOnScreen(QDialog& dialog) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect frame = dialog.frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  dialog.move(frame.topLeft());
}
