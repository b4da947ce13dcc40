#pragma once
// The pieces every dialog and page of the desktop builds alike: push buttons named after their
// text (the tests find controls by name) and the Ok/Cancel row of an editor.
//
// Main thread only.

#include <QString>

class QDialog;
class QLayout;
class QPushButton;
class QWidget;

namespace tg {

// A push button showing `text`, named `text`, added to `layout` (which takes it).
QPushButton* addNamedButton(const QString& text, QLayout* layout);

// An Ok/Cancel button box whose buttons accept and reject `dialog`; Ok is named "Ok". The
// caller places it in the dialog's layout, which then owns it.
QWidget* okCancelButtons(QDialog& dialog);

}  // namespace tg
