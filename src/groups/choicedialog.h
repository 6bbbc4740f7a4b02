// The frame the two choice dialogs share: a bold label at the top with its
// text at the bottom edge, a string grid below it, "Ok" (the default button)
// at the bottom left and "Cancel" at the bottom right.
#pragma once

#include <QString>

class QDialog;
class QLabel;
class QPushButton;
class QTableWidget;

struct ChoiceDialogParts {
  QLabel* label;
  QTableWidget* grid;
  QPushButton* ok;
  QPushButton* cancel;
};

ChoiceDialogParts buildChoiceDialog(QDialog& dialog, const QString& caption, int width, int height,
                                    const QString& label, int labelHeight);

// Centres the dialog on the screen it will appear on.
void centreOnScreen(QDialog& dialog);
