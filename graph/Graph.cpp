#include "graph/Graph.h"

namespace voltrex {

Graph::Graph() : image_(ImageWidth, ImageHeight) {}

void Graph::CreateGraph(double low, double high) {
    // The old graph goes first, so that two graphs' columns never coexist.
    current_.reset();
    current_ = std::make_unique<GraphPlot>(image_, low, high);
}

void Graph::SaveCurrentGraph(const std::string& fileName) {
    if (current_) {
        SaveGraphBitmap(*current_, fileName);
    }
}

}  // namespace voltrex
