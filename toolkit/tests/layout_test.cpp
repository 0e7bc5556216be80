// The layout engine is pure arithmetic: cells record where they were put.
#include <gtest/gtest.h>

#include <climits>
#include <map>

#include "toolkit/layout.h"

namespace {

struct LRectXY {
    int x = 0, y = 0, w = 0, h = 0;
};

struct Placed : LLayoutItem {
    Placed(std::map<int, LRectXY>* out, int id, const LLayoutSpec& s) : LLayoutItem(s), out_(out), id_(id) {}
    void MoveTo(LWindow*, int x, int y, int w, int h) override { (*out_)[id_] = {x, y, w, h}; }
    LLayoutItem* Clone() override { return new Placed(out_, id_, spec); }
    int GetId() override { return id_; }
    std::map<int, LRectXY>* out_;
    int id_;
};

LLayoutSpec Cell(int min_w, int min_h, int wh, int wv, int ah = 0, int av = 0, int span = 1) {
    LLayoutSpec s;
    s.min_width = min_w;
    s.min_height = min_h;
    s.weight_h = wh;
    s.weight_v = wv;
    s.align_h = ah;
    s.align_v = av;
    s.span_cols = span;
    return s;
}

TEST(Layout, SpareRoomByCumulativeWeights) {
    struct Case {
        int w1, w2, grow1, grow2;
    };
    for (Case c : {Case{1, 3, 25, 75}, Case{1, 2, 33, 67}}) {
        std::map<int, LRectXY> at;
        LLayout l;
        l.BeginRow();
        l.Add(new Placed(&at, 1, Cell(10, 10, c.w1, 0)));
        l.Add(new Placed(&at, 2, Cell(20, 10, c.w2, 0)));
        l.MoveTo(nullptr, 0, 0, 130, 10);
        EXPECT_EQ(at[1].w, 10 + c.grow1);
        EXPECT_EQ(at[2].x, 10 + c.grow1);
        EXPECT_EQ(at[2].w, 20 + c.grow2);
    }
}

TEST(Layout, AlignmentAndTheSmallestWeight) {
    for (int align : {0, 1, 2}) {
        std::map<int, LRectXY> at;
        LLayout l;
        l.BeginRow();
        l.Add(new Placed(&at, 1, Cell(10, 10, 0, 0, align, align)));
        l.Add(new Placed(&at, 2, Cell(1, 51, 0, 0)));
        l.BeginRow();
        l.Add(new Placed(&at, 3, Cell(101, 1, 0, 0)));
        l.MoveTo(nullptr, 0, 0, 500, 500);
        EXPECT_EQ(at[1].w, 10);
        EXPECT_EQ(at[1].x, align == 0 ? 0 : align == 1 ? 45 : 91);  // centring rounds down
        EXPECT_EQ(at[1].y, align == 0 ? 0 : align == 1 ? 20 : 41);
    }
    // One cell of weight 0 in a column keeps the whole column from growing.
    std::map<int, LRectXY> at;
    LLayout l;
    l.BeginRow();
    l.Add(new Placed(&at, 1, Cell(10, 10, 0, 0)));
    l.Add(new Placed(&at, 2, Cell(10, 10, 5, 0)));
    l.BeginRow();
    l.Add(new Placed(&at, 3, Cell(10, 10, 100, 0)));
    l.Add(new Placed(&at, 4, Cell(10, 10, 5, 0)));
    l.MoveTo(nullptr, 0, 0, 120, 20);
    EXPECT_EQ(at[3].w, 10);
    EXPECT_EQ(at[4].x, 10);
    EXPECT_EQ(at[4].w, 110);
}

TEST(Layout, SpansWidenOnlyTheLastColumnByWhatIsMissing) {
    struct Case {
        int span_min, first, second;
    };
    for (Case c : {Case{25, 10, 20}, Case{60, 10, 50}}) {
        std::map<int, LRectXY> at;
        LLayout l;
        l.BeginRow();
        l.Add(new Placed(&at, 1, Cell(10, 10, 0, 0)));
        l.Add(new Placed(&at, 2, Cell(20, 10, 0, 0)));
        l.BeginRow();
        l.Add(new Placed(&at, 3, Cell(c.span_min, 10, 0, 0, 0, 0, 2)));
        l.MoveTo(nullptr, 0, 0, 0, 0);
        EXPECT_EQ(l.ColumnPosition(1), c.first);
        EXPECT_EQ(l.ColumnPosition(2), c.first + c.second);
        EXPECT_EQ(at[2].w, 20);  // weight 0: the cell keeps its minimum
        EXPECT_EQ(l.spec.min_width, c.first + c.second);
    }
}

TEST(Layout, SmallRoomAndEmptyLayout) {
    std::map<int, LRectXY> at;
    LLayout l;
    l.BeginRow();
    l.Add(new Placed(&at, 1, Cell(40, 10, 1, 1)));
    l.Add(new Placed(&at, 2, Cell(40, 10, 1, 1)));
    l.MoveTo(nullptr, 5, 5, 50, 5);
    EXPECT_EQ(at[2].x, 45);  // minimum positions, past the room
    EXPECT_EQ(at[2].w, 40);
    LLayout empty;
    empty.MoveTo(nullptr, 0, 0, 100, 100);
    EXPECT_EQ(empty.spec.min_width, 0);
    EXPECT_EQ(empty.spec.min_height, 0);
    EXPECT_FALSE(empty.HasCells());
}

TEST(Layout, LargeSizesStayInSixtyFourBits) {
    std::map<int, LRectXY> at;
    LLayout l;
    l.BeginRow();
    l.Add(new Placed(&at, 1, Cell(0, 0, 1000000, 0)));
    l.Add(new Placed(&at, 2, Cell(0, 0, 1000000, 0)));
    auto max_cell = Cell(0, 0, 1, 0);
    max_cell.max_width = 2000000000;
    l.BeginRow();
    l.Add(new Placed(&at, 3, max_cell));
    l.Add(new Placed(&at, 4, max_cell));
    l.MoveTo(nullptr, 0, 0, 2000000, 10);
    // (room - minimum) x cumulative weight passes 2^31 here.
    EXPECT_EQ(at[2].x, 1000000);
    EXPECT_EQ(at[2].w, 1000000);
    // The sum of the maxima is clamped, never wrapped.
    EXPECT_EQ(l.spec.max_width, INT_MAX);
}

TEST(Layout, StackCloneAndMargins) {
    std::map<int, LRectXY> at;
    LStackLayout s;
    s.Add(new Placed(&at, 1, Cell(10, 10, 0, 0)));
    s.Add(new Placed(&at, 2, Cell(10, 20, 0, 0)));
    std::unique_ptr<LLayoutItem> copy(s.Clone());
    copy->top_level = true;
    copy->MoveTo(nullptr, 0, 0, 10, 30);
    EXPECT_EQ(at[2].y, 10);
    LLayout outer;
    LLayout* inner = outer.SetMargins(nullptr, 7, 8, 9, 10);
    inner->BeginRow();
    inner->Add(new Placed(&at, 5, Cell(50, 20, 100, 100)));
    outer.MoveTo(nullptr, 0, 0, 166, 118);
    EXPECT_EQ(at[5].x, 7);
    EXPECT_EQ(at[5].y, 8);
    EXPECT_EQ(at[5].w, 150);
    EXPECT_EQ(at[5].h, 100);
    EXPECT_NE(outer.FindItem(5), nullptr);
    LUIntArray ids;
    outer.CollectIds(ids);
    EXPECT_EQ(ids.count, 0u);  // test cells are not control cells
}

}  // namespace
