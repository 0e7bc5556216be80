#pragma once
// The grid layout engine: rows of cells (controls, spaces, nested layouts)
// measured bottom-up from their minima, maxima, weights and spans, then
// placed in a rectangle with the spare room shared by cumulative weights.
// Pure arithmetic except for the owner's item moves.
#include <climits>
#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/containers.h"

class LWindow;

// The ten numbers of a cell, in record order.
struct LLayoutSpec {
    int min_width = 0, min_height = 0;
    int weight_h = 0, weight_v = 0;
    int align_h = 0, align_v = 0;  // 0 left/top, 1 centre, 2 right/bottom
    int span_cols = 1, span_rows = 1;
    int max_width = INT_MAX, max_height = INT_MAX;
};

class LLayoutItem {
public:
    LLayoutItem() = default;
    explicit LLayoutItem(const LLayoutSpec& s) : spec(s) {}
    virtual ~LLayoutItem() = default;
    virtual void Arrange() {}
    virtual void ArrangeScaled(double scale);
    virtual void DistributeWidth(int) {}
    virtual void MoveTo(LWindow* owner, int x, int y, int width, int height) = 0;
    virtual void Show(LWindow*, bool) {}
    virtual bool IsVisible(LWindow*) { return false; }
    virtual int GetLastCellWidth() { return 0; }
    virtual int GetLastCellHeight() { return 0; }
    virtual LLayoutItem* FindItem(int) { return nullptr; }
    virtual int GetId() { return -1; }
    virtual void CollectItems(int, LPtrArray&) {}
    virtual void CollectIds(LUIntArray&) {}
    virtual LLayoutItem* Clone() = 0;
    virtual double ScaleFactor(LWindow* owner, int width);

    // In one direction: the maximum when the weight lets the cell grow,
    // else the minimum.
    int LimitWidth() const { return spec.weight_h > 0 ? spec.max_width : spec.min_width; }
    int LimitHeight() const { return spec.weight_v > 0 ? spec.max_height : spec.min_height; }

    LLayoutSpec spec;
    bool top_level = true;
};

class LLayoutSpace : public LLayoutItem {
public:
    using LLayoutItem::LLayoutItem;
    void MoveTo(LWindow*, int, int, int, int) override {}
    LLayoutItem* Clone() override;
};

class LLayoutControlItem : public LLayoutItem {
public:
    LLayoutControlItem(int id, const LLayoutSpec& s) : LLayoutItem(s), id_(id) {}
    void MoveTo(LWindow* owner, int x, int y, int width, int height) override;
    void Show(LWindow* owner, bool show) override;
    bool IsVisible(LWindow* owner) override;
    LLayoutItem* FindItem(int id) override { return id == id_ ? this : nullptr; }
    int GetId() override { return id_; }
    void CollectItems(int id, LPtrArray& list) override;
    void CollectIds(LUIntArray& list) override;
    LLayoutItem* Clone() override;

private:
    int id_;
};

struct LLayoutRow {
    std::vector<std::unique_ptr<LLayoutItem>> cells;
};

class LLayout : public LLayoutItem {
public:
    explicit LLayout(LWindow* owner = nullptr);
    ~LLayout() override;
    void Arrange() override { ArrangeScaled(2.0); }
    void ArrangeScaled(double scale) override;
    void DistributeWidth(int width) override;
    void MoveTo(LWindow* owner, int x, int y, int width, int height) override;
    void Show(LWindow* owner, bool show) override;
    bool IsVisible(LWindow* owner) override;
    int GetLastCellWidth() override { return last_width_; }
    int GetLastCellHeight() override { return last_height_; }
    LLayoutItem* FindItem(int id) override;
    void CollectItems(int id, LPtrArray& list) override;
    void CollectIds(LUIntArray& list) override;
    LLayoutItem* Clone() override;

    virtual void Reset(LWindow* owner);
    virtual void CloseRow();
    virtual void ClearRows();
    virtual LLayoutRow* BeginRow();
    virtual void EndRow();
    virtual LLayoutItem* Add(LLayoutItem* cell);

    LLayoutItem* AddControl(int id, const LLayoutSpec& spec);
    LLayoutItem* AddControlRow(int id, const LLayoutSpec& spec);
    LLayoutItem* AddSizedControlRow(int id, int min_width, int min_height, int weight_v);
    LLayoutItem* AddHorizontalSpace(int width);
    LLayoutItem* AddVerticalSpace(int height);
    LLayout* SetMargins(LWindow* owner, int left, int top, int right, int bottom);

    bool HasCells() const;
    bool IsArranged() const { return arranged_; }
    LWindow* Owner() const { return owner_; }
    int ColumnCount() const { return cols_; }
    int RowCount() const { return rows_count_; }
    // Position i of the columns (rows) at the current width (height).
    int ColumnPosition(int i) const { return col_now_[static_cast<size_t>(i)]; }
    int RowPosition(int i) const { return row_now_[static_cast<size_t>(i)]; }

protected:
    void CopyInto(LLayout& copy);
    LWindow* owner_;

private:
    template <typename F>
    void ForEachCell(F f);
    void SharePositions(const std::vector<int>& min, const std::vector<int64_t>& cumulative, int64_t total,
                        int minimum, int room, std::vector<int>& out);

    std::unique_ptr<LLayoutRow> open_row_;
    std::vector<std::unique_ptr<LLayoutRow>> rows_;
    int cols_ = 0;
    int rows_count_ = 0;
    std::vector<int> col_min_, row_min_, col_now_, row_now_;
    std::vector<int64_t> col_weight_, row_weight_;
    int last_width_ = 0, last_height_ = 0;
    bool arranged_ = false;
};

class LDialogLayout : public LLayout {
public:
    explicit LDialogLayout(LWindow* owner = nullptr, int mode = 1) : LLayout(owner), mode_(mode) {}
    double ScaleFactor(LWindow* owner, int width) override;
    LLayoutItem* Clone() override;

private:
    int mode_;
};

class LStackLayout : public LLayout {
public:
    using LLayout::LLayout;
    LLayoutItem* Add(LLayoutItem* cell) override;
    LLayoutItem* Clone() override;
};
