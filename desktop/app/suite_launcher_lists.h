#pragma once
// The launcher's self-painted panels: the category tabs, the list of
// programs with a run-or-install button each, the featured tasks, the
// separator between them and the maker's logo. Each keeps the rectangles
// it last laid out, so a click finds what was under the pointer.
#include <cstdint>
#include <string>
#include <vector>

#include "setup/hot_spot_links.h"
#include "setup/launcher_tables.h"
#include "toolkit/scroll_panel.h"

// Private messages to the dialog: run (32969) or visit the web page of
// (32970) the entry named by wParam (list item id) and lParam (node index
// in the low, task index + 1 in the high 16 bits; 0 for none).
constexpr uint32_t LWM_SUITE_RUN = 32969;
constexpr uint32_t LWM_SUITE_VISIT = 32970;
// To the dialog: open the launch menu for the same entry.
constexpr uint32_t LWM_SUITE_MENU = LWM_USER + 0x2A0;

struct LSuiteTaskEntry {
    const LSuiteTask* task = nullptr;
    LRect rect;
};

struct LSuiteProgramNode {
    const LSuiteProgram* program = nullptr;
    bool installed = false;
    std::vector<LSuiteTaskEntry> tasks;
    LRect row, button;
};

inline LLParam LSuiteEntryParam(size_t node, size_t task_plus_one) {
    return static_cast<LLParam>((node & 0xFFFF) | ((task_plus_one & 0xFFFF) << 16));
}

// What the lists tell their dialog.
class LSuiteListOwner {
public:
    virtual ~LSuiteListOwner() = default;
    virtual void SetListTip(int item, const std::u16string& text) = 0;
};

class LSuiteProgramList : public LScrollPanel {
public:
    void DrawItems(LDrawContext& dc, bool measuring) override;
    void OnMouseMove(int x, int y) override;
    void OnMouseLeave() override;
    void OnLButtonDown(int x, int y) override;
    void OnLButtonUp(int x, int y) override;
    void OnRButtonUp(int x, int y) override;

    std::vector<LSuiteProgramNode> nodes;
    LSuiteListOwner* tips = nullptr;
    int hot = -1;            // node under the pointer
    bool hot_button = false;  // and over its button
    int pressed = -1;        // node whose button is held down

private:
    int Hit(int x, int y, bool* on_button) const;
    void Notify(uint32_t msg, int node);
};

class LSuiteFeaturedList : public LScrollPanel {
public:
    void DrawItems(LDrawContext& dc, bool measuring) override;
    void OnMouseMove(int x, int y) override;
    void OnMouseLeave() override;
    void OnLButtonUp(int x, int y) override;
    void OnRButtonUp(int x, int y) override;

    std::vector<LSuiteProgramNode> nodes;
    LSuiteListOwner* tips = nullptr;
    // The own program's entries are left out when drawing.
    bool hide_own = false;
    int hot_node = -1, hot_task = -1;

private:
    bool Hit(int x, int y, int* node, int* task) const;
};

class LSuiteSeparator : public LCustomControl {
public:
    void Paint(LDrawContext& dc) override { DrawContent(dc); }
    void DrawContent(LDrawContext& dc) override;
};

// The category tabs: WM_NOTIFY with the selection-change code goes to the
// dialog when the user picks another tab (click, or Left and Right keys).
class LSuiteTabStrip : public LCustomControl {
public:
    void Paint(LDrawContext& dc) override { PaintDoubleBuffered(dc); }
    void DrawContent(LDrawContext& dc) override;
    void OnLButtonDown(int x, int y) override;
    bool OnKeyDown(uint32_t key) override;

    void Clear();
    void Add(const std::u16string& name) { names.push_back(name); }
    void Select(int index, bool notify);
    std::u16string SelectedName() const;

    std::vector<std::u16string> names;
    int selected = -1;
    int strip_height = 32;
    std::vector<LRect> tab_rects;

private:
    void Measure();
};

// The maker's logo, one hot spot over its whole area.
class LSuiteLogo : public LCustomControl {
public:
    void Paint(LDrawContext& dc) override { PaintDoubleBuffered(dc); }
    void DrawContent(LDrawContext& dc) override;
    void OnMouseMove(int x, int y) override { links.OnMouseMove(x, y); }
    void OnMouseLeave() override { links.OnMouseMove(-1, -1); }
    void OnLButtonUp(int x, int y) override { links.OnClick(x, y); }

    LHotSpotLinks links;
};

// The panel colour behind the lists.
constexpr LColor LSuitePanelColor = LRgb(137, 140, 149);
