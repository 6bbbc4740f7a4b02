// The frame the two choice dialogs share: a bold label at the top with its
// text at the bottom edge, a string grid below it, "Ok" (the default button)
// at the bottom left and "Cancel" at the bottom right.
#pragma once

#include <QString>

class QDialog;
class QLabel;
class QPushButton;
class QTableView;
class QTableWidget;

struct ChoiceDialogParts {
  QLabel* label;
  QTableView* view;
  QTableWidget* grid;  // the view when it is a string grid, else null
  QPushButton* ok;
  QPushButton* cancel;
};

// The grid is a string grid unless a view (for a model of the caller's) is
// given; the dialog takes the view over.
ChoiceDialogParts buildChoiceDialog(QDialog& dialog, const QString& caption, int width, int height,
                                    const QString& label, int labelHeight,
                                    QTableView* view = nullptr);

// Centres the dialog on the screen it will appear on.
void centreOnScreen(QDialog& dialog);
