// The video grid's arithmetic: layouts from the menus and from stored sizes, the cells they
// make (odd pixels to the last column and row), and the free-pane rule with its round robin.

#include <gtest/gtest.h>

#include "liveview/grid_layout.h"

namespace camfleet {
namespace {

TEST(GridLayout, MenuCommandsAndStoredSizes) {
    const struct {
        int command;
        GridSize grid;
    } commands[] = {{32930, {1, 1}}, {32931, {1, 2}}, {32933, {2, 2}}, {32932, {3, 3}},
                    {32934, {4, 4}}, {32935, {4, 5}}, {32936, {5, 5}}};
    for (const auto& c : commands) {
        GridSize grid;
        ASSERT_TRUE(LayoutOfCommand(c.command, &grid)) << c.command;
        EXPECT_EQ(grid, c.grid) << c.command;
    }
    GridSize untouched{7, 7};
    EXPECT_FALSE(LayoutOfCommand(32929, &untouched));  // close
    EXPECT_EQ(untouched, (GridSize{7, 7}));

    // A settings file may say anything: below 1 means 1; above 64 panes does not fit.
    EXPECT_EQ(NormalisedGrid(0, 0), (GridSize{1, 1}));
    EXPECT_EQ(NormalisedGrid(-3, 4), (GridSize{1, 4}));
    EXPECT_TRUE(Fits({8, 8}));
    EXPECT_FALSE(Fits({8, 9}));
    EXPECT_FALSE(Fits({65, 1}));
    EXPECT_FALSE(Fits({0, 4}));
    EXPECT_FALSE(Fits({1 << 16, 1 << 16}));  // rows x cols overflows int
}

TEST(GridLayout, CellsSplitTheAreaAndGiveOddPixelsToTheLastColumnAndRow) {
    const auto one = LayoutCells({101, 51}, {1, 2});
    ASSERT_EQ(one.size(), 2u);
    EXPECT_EQ(one[0], QRect(0, 0, 50, 51));
    EXPECT_EQ(one[1], QRect(50, 0, 51, 51));

    const auto cells = LayoutCells({1003, 602}, {4, 5});
    ASSERT_EQ(cells.size(), 20u);
    EXPECT_EQ(cells[0], QRect(0, 0, 200, 150));
    EXPECT_EQ(cells[4], QRect(800, 0, 203, 150));     // last column: + 1003 % 5
    EXPECT_EQ(cells[15], QRect(0, 450, 200, 152));    // last row: + 602 % 4
    EXPECT_EQ(cells[19], QRect(800, 450, 203, 152));  // both
    // The cells tile the area exactly.
    int covered = 0;
    for (const QRect& r : cells)
        covered += r.width() * r.height();
    EXPECT_EQ(covered, 1003 * 602);

    // A stored size of 0 gives one pane; an area smaller than the grid gives empty cells.
    EXPECT_EQ(LayoutCells({10, 10}, {0, 0}), std::vector<QRect>{QRect(0, 0, 10, 10)});
    const auto tiny = LayoutCells({3, 2}, {5, 5});
    ASSERT_EQ(tiny.size(), 25u);
    EXPECT_EQ(tiny[0].width(), 0);
    EXPECT_EQ(tiny[24], QRect(0, 0, 3, 2));
    EXPECT_EQ(LayoutCells({-5, -5}, {2, 2})[3], QRect(0, 0, 0, 0));
}

TEST(GridLayout, FreePaneIsTheFirstEmptyOneThenPanesInTurn) {
    PaneOccupancy panes;
    const GridSize grid{2, 2};
    EXPECT_EQ(panes.FindFreePane(grid), 0);
    panes.SetCaption(0, "cam A");
    panes.SetCaption(2, "cam C");
    EXPECT_EQ(panes.FindFreePane(grid), 1);
    panes.SetCaption(1, "cam B");
    panes.SetCaption(3, "cam D");
    // Panes outside the layout do not count as free.
    EXPECT_FALSE(panes.Occupied(4));
    // Every pane taken: 0, 1, 2, 3, 0, ...
    for (int expected : {0, 1, 2, 3, 0, 1})
        EXPECT_EQ(panes.FindFreePane(grid), expected);
    // A freed pane is taken first again; the round robin goes on where it was after.
    panes.SetCaption(3, {});
    EXPECT_EQ(panes.FindFreePane(grid), 3);
    panes.SetCaption(3, "cam E");
    EXPECT_EQ(panes.FindFreePane(grid), 2);
    // A smaller layout wraps the counter to its own pane count.
    EXPECT_EQ(panes.FindFreePane({1, 2}), 1);
    EXPECT_EQ(panes.FindFreePane({1, 2}), 0);
    // Out-of-range panes are neither stored nor occupied.
    panes.SetCaption(64, "x");
    panes.SetCaption(-1, "x");
    EXPECT_TRUE(panes.Caption(64).isEmpty());
    EXPECT_FALSE(panes.Occupied(-1));
}

}  // namespace
}  // namespace camfleet
