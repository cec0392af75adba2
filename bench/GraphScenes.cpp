#include "bench/GraphScenes.h"

namespace voltrex::bench {

GraphScene::GraphScene() {
    Image.SetRepaintCallback([this](const PixelRect&) { ++Repaints; });
    Plot = std::make_unique<GraphPlot>(Image, 8.0, 8.5);
    SetTitleLine(*Plot, "Monitor");
    for (int second = 0; second < Plot->ColumnCount; ++second) {
        AddPoint(*Plot, second, 8.2 + 0.0002 * (second % 500));
    }
    SetStatusLine(*Plot, Status);
}

}  // namespace voltrex::bench
