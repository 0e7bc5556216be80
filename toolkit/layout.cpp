#include "toolkit/layout.h"

#include <algorithm>
#include <new>

#include "toolkit/window.h"

namespace {

int ClampInt(int64_t v) { return static_cast<int>(std::min<int64_t>(std::max<int64_t>(v, INT_MIN), INT_MAX)); }

// Widens the span [c, c + s) to hold `need`: what is missing goes to the
// last line of the span and moves every later line with it.
void Widen(std::vector<int>& pos, int c, int s, int need) {
    int64_t want = static_cast<int64_t>(pos[static_cast<size_t>(c)]) + need;
    int64_t have = pos[static_cast<size_t>(c + s)];
    if (want <= have) return;
    int64_t diff = want - have;
    for (size_t i = static_cast<size_t>(c + s); i < pos.size(); ++i) pos[i] = ClampInt(pos[i] + diff);
}

}  // namespace

void LLayoutItem::ArrangeScaled(double) { Arrange(); }

double LLayoutItem::ScaleFactor(LWindow* owner, int width) {
    int px = owner ? owner->DialogUnitsToPixelsX(4) : 0;
    int chars = px ? width / px : 0;
    if (px == 0 || chars <= 30) return 0.3;
    if (chars <= 60) return 0.6;
    if (chars <= 100) return 1.0;
    if (chars <= 125) return 1.25;
    return 1.5;
}

LLayoutItem* LLayoutSpace::Clone() {
    auto* c = new (std::nothrow) LLayoutSpace(spec);
    if (c) c->top_level = top_level;
    return c;
}

void LLayoutControlItem::MoveTo(LWindow* owner, int x, int y, int width, int height) {
    if (owner) owner->MoveItem(id_, x, y, width, height);
}

void LLayoutControlItem::Show(LWindow* owner, bool show) {
    if (owner) owner->ShowItemRange(id_, id_, show);
}

bool LLayoutControlItem::IsVisible(LWindow* owner) {
    return owner && LIsWindowVisible(LGetDlgItem(owner->hwnd, id_));
}

void LLayoutControlItem::CollectItems(int id, LPtrArray& list) {
    if (id != id_ || !list.Resize(list.count + 1)) return;
    list.items[list.count - 1] = this;
}

void LLayoutControlItem::CollectIds(LUIntArray& list) { list.Push(static_cast<uint32_t>(id_)); }

LLayoutItem* LLayoutControlItem::Clone() {
    auto* c = new (std::nothrow) LLayoutControlItem(id_, spec);
    if (c) c->top_level = top_level;
    return c;
}

LLayout::LLayout(LWindow* owner) : owner_(owner) {
    spec.weight_h = 100;
    spec.weight_v = 100;
    spec.align_h = 1;
    spec.align_v = 1;
}

LLayout::~LLayout() = default;

template <typename F>
void LLayout::ForEachCell(F f) {
    for (size_t r = 0; r < rows_.size(); ++r) {
        int c = 0;
        for (auto& cell : rows_[r]->cells) {
            f(*cell, c, static_cast<int>(r));
            c += std::max(cell->spec.span_cols, 1);
        }
    }
}

bool LLayout::HasCells() const {
    for (const auto& r : rows_)
        if (!r->cells.empty()) return true;
    return open_row_ && !open_row_->cells.empty();
}

void LLayout::Reset(LWindow* owner) {
    owner_ = owner;
    rows_.clear();
    open_row_.reset();
    cols_ = 0;
    rows_count_ = 0;
    arranged_ = false;
}

void LLayout::EndRow() {
    if (!open_row_) return;
    rows_.push_back(std::move(open_row_));
}

void LLayout::CloseRow() {
    if (open_row_) EndRow();
}

void LLayout::ClearRows() { rows_.clear(); }

LLayoutRow* LLayout::BeginRow() {
    EndRow();
    open_row_.reset(new (std::nothrow) LLayoutRow);
    return open_row_.get();
}

LLayoutItem* LLayout::Add(LLayoutItem* cell) {
    if (!cell) {
        LLayoutSpec space;
        space.max_width = INT_MAX;
        space.max_height = INT_MAX;
        cell = new (std::nothrow) LLayoutSpace(space);
        if (!cell) return nullptr;
    }
    if (!open_row_ && !BeginRow()) {
        delete cell;
        return nullptr;
    }
    cell->top_level = false;
    open_row_->cells.emplace_back(cell);
    return cell;
}

LLayoutItem* LLayout::AddControl(int id, const LLayoutSpec& s) {
    auto* cell = new (std::nothrow) LLayoutControlItem(id, s);
    return cell ? Add(cell) : nullptr;
}

LLayoutItem* LLayout::AddControlRow(int id, const LLayoutSpec& s) {
    if (!BeginRow()) return nullptr;
    LLayoutItem* cell = AddControl(id, s);
    EndRow();
    return cell;
}

LLayoutItem* LLayout::AddSizedControlRow(int id, int min_width, int min_height, int weight_v) {
    LLayoutSpec s;
    s.min_width = min_width;
    s.min_height = min_height;
    s.weight_h = 100;
    s.weight_v = weight_v;
    s.align_h = 1;
    s.align_v = 1;
    return AddControlRow(id, s);
}

LLayoutItem* LLayout::AddHorizontalSpace(int width) {
    LLayoutSpec s;
    s.min_width = width;
    s.weight_v = 100;
    auto* cell = new (std::nothrow) LLayoutSpace(s);
    return cell ? Add(cell) : nullptr;
}

LLayoutItem* LLayout::AddVerticalSpace(int height) {
    LLayoutSpec s;
    s.min_height = height;
    s.weight_h = 100;
    auto* cell = new (std::nothrow) LLayoutSpace(s);
    if (!cell || !BeginRow()) {
        delete cell;
        return nullptr;
    }
    Add(cell);
    EndRow();
    return cell;
}

LLayout* LLayout::SetMargins(LWindow* owner, int left, int top, int right, int bottom) {
    Reset(owner);
    AddVerticalSpace(top);
    BeginRow();
    AddHorizontalSpace(left);
    auto* inner = new (std::nothrow) LLayout(owner);
    if (inner && !Add(inner)) inner = nullptr;
    AddHorizontalSpace(right);
    EndRow();
    AddVerticalSpace(bottom);
    CloseRow();
    return inner;
}

void LLayout::ArrangeScaled(double scale) {
    EndRow();
    ForEachCell([&](LLayoutItem& cell, int, int) { cell.ArrangeScaled(scale); });

    cols_ = 0;
    rows_count_ = 0;
    for (size_t r = 0; r < rows_.size(); ++r) {
        int span_sum = 0, row_span = 1;
        for (auto& cell : rows_[r]->cells) {
            span_sum += std::max(cell->spec.span_cols, 1);
            row_span = std::max(row_span, std::max(cell->spec.span_rows, 1));
        }
        cols_ = std::max(cols_, span_sum);
        rows_count_ = std::max(rows_count_, static_cast<int>(r) + row_span);
    }

    // Weight and maximum of each column and row, from the cells that start
    // there: the smallest weight counts, the largest limit.
    std::vector<int64_t> cw(static_cast<size_t>(cols_), 0), rw(static_cast<size_t>(rows_count_), 0);
    std::vector<int> cmax(static_cast<size_t>(cols_), 0), rmax(static_cast<size_t>(rows_count_), 0);
    std::vector<bool> chas(static_cast<size_t>(cols_), false), rhas(static_cast<size_t>(rows_count_), false);
    ForEachCell([&](LLayoutItem& cell, int c, int r) {
        auto ci = static_cast<size_t>(c), ri = static_cast<size_t>(r);
        cw[ci] = chas[ci] ? std::min<int64_t>(cw[ci], cell.spec.weight_h) : cell.spec.weight_h;
        cmax[ci] = chas[ci] ? std::max(cmax[ci], cell.LimitWidth()) : cell.LimitWidth();
        chas[ci] = true;
        rw[ri] = rhas[ri] ? std::min<int64_t>(rw[ri], cell.spec.weight_v) : cell.spec.weight_v;
        rmax[ri] = rhas[ri] ? std::max(rmax[ri], cell.LimitHeight()) : cell.LimitHeight();
        rhas[ri] = true;
    });

    // The layout's own weights and maxima as a cell of its parent; sums in
    // 64 bits so that large maxima cannot wrap into small ones.
    auto sum_max = [](const std::vector<int>& m, const std::vector<bool>& has) {
        int64_t s = 0;
        for (size_t i = 0; i < m.size(); ++i) {
            if (!has[i]) continue;
            if (m[i] == INT_MAX) return INT_MAX;
            s += m[i];
        }
        return ClampInt(s);
    };
    int64_t twh = 0, twv = 0;
    for (int64_t v : cw) twh += v;
    for (int64_t v : rw) twv += v;
    spec.weight_h = ClampInt(twh);
    spec.weight_v = ClampInt(twv);
    spec.max_width = sum_max(cmax, chas);
    spec.max_height = sum_max(rmax, rhas);

    col_min_.assign(static_cast<size_t>(cols_) + 1, 0);
    row_min_.assign(static_cast<size_t>(rows_count_) + 1, 0);
    for (int pass = 0; pass < 2; ++pass) {
        ForEachCell([&](LLayoutItem& cell, int c, int r) {
            int sc = std::max(cell.spec.span_cols, 1), sr = std::max(cell.spec.span_rows, 1);
            if (pass == 0 && sc == 1) Widen(col_min_, c, 1, cell.spec.min_width);
            if (pass == 0 && sr == 1) Widen(row_min_, r, 1, cell.spec.min_height);
            if (pass == 1) {
                Widen(col_min_, c, sc, cell.spec.min_width);
                Widen(row_min_, r, sr, cell.spec.min_height);
            }
        });
    }
    col_weight_.assign(static_cast<size_t>(cols_) + 1, 0);
    row_weight_.assign(static_cast<size_t>(rows_count_) + 1, 0);
    for (size_t i = 0; i < cw.size(); ++i) col_weight_[i + 1] = col_weight_[i] + cw[i];
    for (size_t i = 0; i < rw.size(); ++i) row_weight_[i + 1] = row_weight_[i] + rw[i];
    spec.min_width = col_min_.back();
    spec.min_height = row_min_.back();
    col_now_ = col_min_;
    row_now_ = row_min_;
    arranged_ = true;
}

void LLayout::SharePositions(const std::vector<int>& min, const std::vector<int64_t>& cumulative, int64_t total,
                             int minimum, int room, std::vector<int>& out) {
    out = min;
    if (room <= minimum || total <= 0) return;
    // (room - minimum) x cumulative weight overflows 32 bits for big
    // windows and weights; 64 bits hold it.
    int64_t spare = static_cast<int64_t>(room) - minimum;
    for (size_t i = 0; i < out.size(); ++i) out[i] = ClampInt(min[i] + spare * cumulative[i] / total);
}

void LLayout::DistributeWidth(int width) {
    if (!arranged_) return;
    SharePositions(col_min_, col_weight_, col_weight_.back(), spec.min_width, width, col_now_);
    ForEachCell([&](LLayoutItem& cell, int c, int) {
        int s = std::max(cell.spec.span_cols, 1);
        cell.DistributeWidth(col_now_[static_cast<size_t>(c + s)] - col_now_[static_cast<size_t>(c)]);
    });
    row_min_.assign(static_cast<size_t>(rows_count_) + 1, 0);
    ForEachCell([&](LLayoutItem& cell, int, int r) {
        Widen(row_min_, r, std::max(cell.spec.span_rows, 1), cell.spec.min_height);
    });
    spec.min_height = row_min_.back();
}

void LLayout::MoveTo(LWindow* owner, int x, int y, int width, int height) {
    if (top_level) {
        ArrangeScaled(ScaleFactor(owner, width));
        DistributeWidth(width);
    }
    if (!arranged_) return;
    SharePositions(col_min_, col_weight_, col_weight_.back(), spec.min_width, width, col_now_);
    SharePositions(row_min_, row_weight_, row_weight_.back(), spec.min_height, height, row_now_);
    ForEachCell([&](LLayoutItem& cell, int c, int r) {
        int sc = std::max(cell.spec.span_cols, 1), sr = std::max(cell.spec.span_rows, 1);
        int64_t rx = static_cast<int64_t>(x) + col_now_[static_cast<size_t>(c)];
        int64_t ry = static_cast<int64_t>(y) + row_now_[static_cast<size_t>(r)];
        int64_t rw = static_cast<int64_t>(col_now_[static_cast<size_t>(c + sc)]) - col_now_[static_cast<size_t>(c)];
        int64_t rh = static_cast<int64_t>(row_now_[static_cast<size_t>(r + sr)]) - row_now_[static_cast<size_t>(r)];
        auto fit = [](int64_t& pos, int64_t& size, int limit, int align) {
            if (limit >= size) return;
            int64_t gap = size - limit;
            if (align == 1) pos += gap >> 1;
            else if (align == 2) pos += gap;
            size = limit;
        };
        fit(rx, rw, cell.LimitWidth(), cell.spec.align_h);
        fit(ry, rh, cell.LimitHeight(), cell.spec.align_v);
        last_width_ = ClampInt(rw);
        last_height_ = ClampInt(rh);
        cell.MoveTo(owner, ClampInt(rx), ClampInt(ry), last_width_, last_height_);
    });
}

void LLayout::Show(LWindow* owner, bool show) {
    ForEachCell([&](LLayoutItem& cell, int, int) { cell.Show(owner, show); });
}

bool LLayout::IsVisible(LWindow* owner) {
    bool any = false;
    ForEachCell([&](LLayoutItem& cell, int, int) { any = any || cell.IsVisible(owner); });
    return any;
}

LLayoutItem* LLayout::FindItem(int id) {
    for (auto& row : rows_) {
        for (auto& cell : row->cells) {
            if (cell->GetId() == id) return cell.get();
            if (LLayoutItem* hit = cell->FindItem(id)) return hit;
        }
    }
    return nullptr;
}

void LLayout::CollectItems(int id, LPtrArray& list) {
    ForEachCell([&](LLayoutItem& cell, int, int) { cell.CollectItems(id, list); });
}

void LLayout::CollectIds(LUIntArray& list) {
    ForEachCell([&](LLayoutItem& cell, int, int) { cell.CollectIds(list); });
}

void LLayout::CopyInto(LLayout& copy) {
    copy.spec = spec;
    copy.top_level = top_level;
    EndRow();
    for (auto& row : rows_) {
        copy.BeginRow();
        for (auto& cell : row->cells) copy.Add(cell->Clone());
        copy.EndRow();
    }
}

LLayoutItem* LLayout::Clone() {
    auto* c = new (std::nothrow) LLayout(owner_);
    if (c) CopyInto(*c);
    return c;
}

double LDialogLayout::ScaleFactor(LWindow* owner, int width) {
    return mode_ == 1 ? LLayoutItem::ScaleFactor(owner, width) : 2.0;
}

LLayoutItem* LDialogLayout::Clone() {
    auto* c = new (std::nothrow) LDialogLayout(owner_, mode_);
    if (c) CopyInto(*c);
    return c;
}

LLayoutItem* LStackLayout::Add(LLayoutItem* cell) {
    EndRow();
    if (!BeginRow()) {
        delete cell;
        return nullptr;
    }
    LLayoutItem* added = LLayout::Add(cell);
    EndRow();
    return added;
}

LLayoutItem* LStackLayout::Clone() {
    auto* c = new (std::nothrow) LStackLayout(owner_);
    if (c) CopyInto(*c);
    return c;
}
