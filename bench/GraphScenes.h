#pragma once

#include <memory>
#include <string>

#include "graph/GraphPlot.h"
#include "graph/RasterImage.h"

namespace voltrex::bench {

// The graph as a running test sees it, for the drawing benchmarks: the main
// window's 640 x 480 image with a repaint callback that counts (the window's
// repaint is a round trip to the display), and a graph whose every column
// holds samples, so that a full redraw and a compression do all their work.
struct GraphScene {
    GraphScene();

    RasterImage Image{640, 480};
    std::unique_ptr<GraphPlot> Plot;
    long long Repaints = 0;
    // Two status texts as the monitor writes them, a second apart.
    std::string Status{"Time: 0:12:34  Voltage: 8.41V"};
    std::string NextStatus{"Time: 0:12:35  Voltage: 8.41V"};
};

}  // namespace voltrex::bench
