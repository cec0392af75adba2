#include "app/GraphView.h"

#include <QPaintEvent>
#include <QPainter>

namespace voltrex {

GraphView::GraphView(RasterImage& image, QWidget* parent)
    : QWidget(parent),
      image_(image),
      // The const constructor makes a read-only view: painting it never
      // detaches into a private copy.
      view_(reinterpret_cast<const uchar*>(image.Bits()), image.Width(), image.Height(),
            image.BytesPerLine(), QImage::Format_RGB32) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    image_.SetRepaintCallback([this](const PixelRect& changed) {
        const QRect rect(changed.Left, changed.Top, changed.Right - changed.Left,
                         changed.Bottom - changed.Top);
        if (!rect.isEmpty()) {
            repaint(rect);
        }
    });
}

GraphView::~GraphView() {
    image_.SetRepaintCallback(nullptr);
}

void GraphView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect area = event->rect();
    painter.drawImage(area, view_, area);
}

}  // namespace voltrex
