#pragma once
// The video grid's arithmetic, apart from its widgets: which layouts exist, how a layout
// splits the grid's area into panes, and which pane a new stream takes.
//
// - A layout is rows x cols panes, at most kMaxPanes. A stored size below 1 (a settings file
//   that says 0 or less) means 1, so no layout ever divides by zero.
// - Cells: column width = width / cols, row height = height / rows (integer division, never
//   below 0); the last column and the last row also take the odd pixels.
// - Free pane: the first pane of the layout whose caption is empty; when every pane of the
//   layout is taken, a round-robin counter kept for the life of the occupancy picks the next
//   one (0, 1, 2, ... modulo the pane count).
//
// Thread: the owner's (UI) thread.

#include <QRect>
#include <QSize>
#include <QString>

#include <array>
#include <vector>

namespace camfleet {

inline constexpr int kMaxPanes = 64;

struct GridSize {
    int rows = 1;
    int cols = 1;
    int Panes() const { return rows * cols; }
    bool operator==(const GridSize&) const = default;
};

// `rows` x `cols` as a layout: each below 1 becomes 1. Sizes of more than kMaxPanes panes are
// returned as they are (see Fits).
GridSize NormalisedGrid(int rows, int cols);
// True when the layout has at most kMaxPanes panes.
bool Fits(const GridSize& grid);

// The layout commands of the grid's menus: 32930 "1" .. 32936 "5X5"; false for another id
// (32929, close, is no layout).
bool LayoutOfCommand(int command, GridSize* grid);

// The cell of each pane of `grid` (row by row) in an area of `area` pixels.
std::vector<QRect> LayoutCells(const QSize& area, const GridSize& grid);

// Which panes hold a stream (a non-empty caption), and the free-pane rule.
class PaneOccupancy {
public:
    void SetCaption(int pane, const QString& caption);  // empty: the pane is free
    const QString& Caption(int pane) const;
    bool Occupied(int pane) const { return !Caption(pane).isEmpty(); }
    // The pane a new stream takes in `grid` (see above); advances the round-robin counter
    // when every pane of the layout is taken.
    int FindFreePane(const GridSize& grid);

private:
    std::array<QString, kMaxPanes> captions_{};
    int roundRobin_ = 0;
};

}  // namespace camfleet
