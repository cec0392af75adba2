#pragma once

#include <QImage>
#include <QWidget>

#include "graph/RasterImage.h"

namespace voltrex {

// Shows the graph subsystem's image as it is drawn. The widget reads the
// image's own pixel buffer (the image is never copied) and repaints a changed
// rectangle immediately when the graph reports one, so a test's plot stays
// current while the test runs inside its own loop.
class GraphView : public QWidget {
    Q_OBJECT

  public:
    GraphView(RasterImage& image, QWidget* parent);
    ~GraphView() override;
    GraphView(const GraphView&) = delete;
    GraphView& operator=(const GraphView&) = delete;

    // The image as the widget sees it: a view over the graph's pixels.
    const QImage& View() const { return view_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    RasterImage& image_;
    QImage view_;
};

}  // namespace voltrex
