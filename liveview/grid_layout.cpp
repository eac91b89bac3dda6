#include "liveview/grid_layout.h"

#include <algorithm>

namespace camfleet {

GridSize NormalisedGrid(int rows, int cols) {
    return {std::max(rows, 1), std::max(cols, 1)};
}

bool Fits(const GridSize& grid) {
    return grid.rows >= 1 && grid.cols >= 1 && grid.rows <= kMaxPanes && grid.cols <= kMaxPanes &&
           grid.Panes() <= kMaxPanes;
}

bool LayoutOfCommand(int command, GridSize* grid) {
    struct Entry {
        int command;
        GridSize grid;
    };
    // The ids are not in the order of their layouts: 2X2 is 32933 and 3X3 32932.
    static constexpr Entry kLayouts[] = {{32930, {1, 1}}, {32931, {1, 2}}, {32933, {2, 2}},
                                         {32932, {3, 3}}, {32934, {4, 4}}, {32935, {4, 5}},
                                         {32936, {5, 5}}};
    for (const Entry& e : kLayouts) {
        if (e.command == command) {
            *grid = e.grid;
            return true;
        }
    }
    return false;
}

std::vector<QRect> LayoutCells(const QSize& area, const GridSize& size) {
    const GridSize grid = NormalisedGrid(size.rows, size.cols);
    const int width = std::max(area.width(), 0);
    const int height = std::max(area.height(), 0);
    const int cellWidth = width / grid.cols;
    const int cellHeight = height / grid.rows;
    std::vector<QRect> cells;
    cells.reserve(static_cast<std::size_t>(grid.Panes()));
    for (int row = 0; row < grid.rows; ++row) {
        for (int col = 0; col < grid.cols; ++col) {
            const int w = cellWidth + (col == grid.cols - 1 ? width % grid.cols : 0);
            const int h = cellHeight + (row == grid.rows - 1 ? height % grid.rows : 0);
            cells.emplace_back(col * cellWidth, row * cellHeight, w, h);
        }
    }
    return cells;
}

void PaneOccupancy::SetCaption(int pane, const QString& caption) {
    if (pane >= 0 && pane < kMaxPanes)
        captions_[static_cast<std::size_t>(pane)] = caption;
}

const QString& PaneOccupancy::Caption(int pane) const {
    static const QString kNone;
    return pane >= 0 && pane < kMaxPanes ? captions_[static_cast<std::size_t>(pane)] : kNone;
}

int PaneOccupancy::FindFreePane(const GridSize& size) {
    const GridSize grid = NormalisedGrid(size.rows, size.cols);
    const int panes = std::min(grid.Panes(), kMaxPanes);
    for (int pane = 0; pane < panes; ++pane)
        if (!Occupied(pane))
            return pane;
    const int pane = roundRobin_ % panes;
    roundRobin_ = (roundRobin_ + 1) % panes;
    return pane;
}

}  // namespace camfleet
