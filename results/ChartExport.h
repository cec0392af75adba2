#pragma once

#include <QString>

class QChartView;

namespace voltrex::results {

// A chart as the user sees it, saved as a picture: a PNG of the view's size
// (at the screen's pixel ratio), or an SVG drawing of it, which stays sharp
// at any size in a document. False with the reason in error.
bool SaveChartPng(QChartView& view, const QString& path, QString& error);
bool SaveChartSvg(QChartView& view, const QString& path, const QString& title, QString& error);

// Text written whole to a file, replacing it (through a temporary file, so a
// failed export leaves an older file as it was).
bool SaveText(const QString& path, const QByteArray& text, QString& error);

}  // namespace voltrex::results
