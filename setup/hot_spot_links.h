#pragma once
// Areas of a control that act as links: a click in an area posts its click
// command to the owner window; moving onto an area posts its hover command
// once (moving within it posts nothing more, moving to another area posts
// that one's). The pointer shows a hand over an area and the arrow
// elsewhere; while the help pointer is up, moves are left alone.
#include <vector>

#include "toolkit/window_layer.h"

class LHotSpotLinks {
public:
    enum class Cursor { Arrow, Hand, Help };
    struct Area {
        int id = 0;
        int left = 0, top = 0, width = 0, height = 0;
        int click = 0;  // command posted on a click
        int hover = 0;  // command posted on entering; 0 for none
    };

    LHotSpotLinks() = default;
    ~LHotSpotLinks();
    LHotSpotLinks(const LHotSpotLinks&) = delete;
    LHotSpotLinks& operator=(const LHotSpotLinks&) = delete;

    void Add(const Area& area) { areas_.push_back(area); }
    void OnClick(int x, int y);
    void OnMouseMove(int x, int y);

    LHwnd owner = LHwnd::Null;  // receives the commands
    LHwnd popup = LHwnd::Null;  // destroyed on a click and on leaving the areas
    Cursor cursor = Cursor::Arrow;
    bool over = false;

private:
    std::vector<Area> areas_;
    bool has_current_ = false;
    int current_ = 0;
};
