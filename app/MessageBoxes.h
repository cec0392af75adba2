#pragma once

#include <QString>

class QWidget;

namespace voltrex {

// Every failure and every validation message of the program: a modal box of
// the error kind with a single OK button. The text is shown as plain text, so
// a file name holding '<' or '&' appears as typed.
void ShowErrorBox(QWidget* parent, const QString& text);

// The program's one question: a modal box with Yes and No. True only for Yes;
// No, Esc and the close box all answer no.
bool AskYesNo(QWidget* parent, const QString& text);

}  // namespace voltrex
