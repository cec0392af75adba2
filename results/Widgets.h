#pragma once

#include <QHBoxLayout>
#include <QLabel>
#include <QString>
#include <QWidget>
#include <initializer_list>
#include <string>

// Small helpers the results window's views share.
namespace voltrex::results {

inline QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

inline std::string Std(const QString& text) {
    return text.toStdString();
}

// The widgets side by side, and room to the right unless stretch is false.
inline QWidget* Row(QWidget* parent, std::initializer_list<QWidget*> widgets, bool stretch = true) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget* widget : widgets) {
        layout->addWidget(widget);
    }
    if (stretch) {
        layout->addStretch(1);
    }
    return row;
}

inline QLabel* BuddyLabel(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

// A note in a table's cell: its line breaks shown, and edited, as " ↵ ",
// so that a note of several lines survives an edit in one line.
inline QString NoteOnOneLine(const QString& note) {
    QString line = note;
    return line.replace(QLatin1Char('\n'), QStringLiteral(" \u21B5 "));
}

inline QString NoteFromOneLine(const QString& line) {
    QString note = line;
    note.replace(QStringLiteral(" \u21B5 "), QStringLiteral("\n"));
    return note.replace(QChar(0x21B5), QLatin1Char('\n'));
}

}  // namespace voltrex::results
