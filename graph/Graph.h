#pragma once

#include <memory>
#include <string>

#include "graph/GraphPlot.h"
#include "graph/RasterImage.h"

namespace voltrex {

// The graph subsystem: the 640 x 480 graph image of the main window and the
// current graph drawn on it, which every test, the auto cycle's rests and saves
// and the Save button use. Only CreateGraph replaces the current graph.
class Graph {
  public:
    static constexpr int ImageWidth = 640;
    static constexpr int ImageHeight = 480;

    Graph();
    Graph(const Graph&) = delete;
    Graph& operator=(const Graph&) = delete;

    RasterImage& Image() { return image_; }
    // The current graph, or nullptr before the first CreateGraph.
    GraphPlot* CurrentGraph() { return current_.get(); }

    // Frees the current graph, then makes a new one on the image with the
    // range low..high the current graph.
    void CreateGraph(double low, double high);
    // SaveGraphBitmap on the current graph; nothing when there is none.
    void SaveCurrentGraph(const std::string& fileName);

  private:
    RasterImage image_;
    std::unique_ptr<GraphPlot> current_;
};

}  // namespace voltrex
