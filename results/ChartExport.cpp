#include "results/ChartExport.h"

#include <QChartView>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>

namespace voltrex::results {

namespace {

void RenderInto(QChartView& view, QPainter& painter, const QRect& target) {
    painter.setRenderHint(QPainter::Antialiasing);
    view.render(&painter, target, view.viewport()->rect());
}

}  // namespace

bool SaveChartPng(QChartView& view, const QString& path, QString& error) {
    const qreal ratio = view.devicePixelRatioF();
    QImage image(view.viewport()->size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        RenderInto(view, painter, QRect(QPoint(0, 0), view.viewport()->size()));
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(image)) {
        error = writer.errorString();
        return false;
    }
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

bool SaveChartSvg(QChartView& view, const QString& path, const QString& title, QString& error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    const QSize size = view.viewport()->size();
    QSvgGenerator generator;
    generator.setOutputDevice(&file);
    generator.setSize(size);
    generator.setViewBox(QRect(QPoint(0, 0), size));
    generator.setTitle(title);
    generator.setDescription(QStringLiteral("Voltrex II Results"));
    {
        QPainter painter(&generator);
        painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
        RenderInto(view, painter, QRect(QPoint(0, 0), size));
    }
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

bool SaveText(const QString& path, const QByteArray& text, QString& error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace voltrex::results
