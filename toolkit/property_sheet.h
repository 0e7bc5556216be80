#pragma once
// Our own wizard sheet: a page area over a row of Back, Next, Finish,
// Cancel and Help buttons, driven by the sheet messages the pages send
// (which buttons show and are enabled, press a button, select a page) and
// telling the pages through the PSN_* notifications.
#include <string>
#include <vector>

#include "toolkit/window.h"

constexpr int LPSN_KILLACTIVE = -201;
constexpr int LPSN_APPLY = -202;
constexpr int LPSN_HELP = -205;
constexpr int LPSN_WIZBACK = -206;
constexpr int LPSN_QUERYCANCEL = -209;
constexpr uint32_t LPSM_SETCURSEL = LWM_USER + 101;
constexpr uint32_t LPSM_GETCURRENTPAGEHWND = LWM_USER + 118;
constexpr uint32_t LPSM_SHOWWIZBUTTONS = LWM_USER + 138;
constexpr uint32_t LPSWIZB_BACK = 1;
constexpr uint32_t LPSWIZB_NEXT = 2;
constexpr uint32_t LPSWIZB_FINISH = 4;
constexpr uint32_t LPSWIZB_DISABLEDFINISH = 8;
constexpr uint32_t LPSWIZB_CANCEL = 0x10;
constexpr uint32_t LPSWIZB_HELP = 0x20;
constexpr int LPSBTN_BACK = 0;
constexpr int LPSBTN_NEXT = 1;
constexpr int LPSBTN_FINISH = 2;
constexpr int LPSBTN_HELP = 6;
// Item ids of the sheet's buttons.
constexpr int LIDC_BACK = 0x3023;
constexpr int LIDC_NEXT = 0x3024;
constexpr int LIDC_FINISH = 0x3025;
constexpr int LIDC_HEADER_TITLE = 0x3027;
constexpr int LIDC_HEADER_SUBTITLE = 0x3028;

struct LPropertySheetSpec {
    std::u16string title;
    std::vector<LPropertyPage*> pages;
    int width = 317;  // page area, dialog units
    int height = 143;
    // A wizard's header above the pages, per page (none when empty).
    std::vector<std::u16string> header_titles;
    std::vector<std::u16string> header_subtitles;
};

// Runs the sheet modally: 1 when it was finished, 0 when cancelled, -1
// when it could not be shown.
intptr_t LPropertySheetRun(const LPropertySheetSpec& spec, LHwnd owner);
// The sheet as a modeless window (tests and hosts that run their own loop);
// its end value is LPropertySheetResult once LPropertySheetEnded.
LHwnd LPropertySheetCreate(const LPropertySheetSpec& spec, LHwnd owner);
bool LPropertySheetEnded(LHwnd sheet, intptr_t* result);

// The dialog procedure of each page: binds the page object on
// WM_INITDIALOG, then the common dialog procedure.
intptr_t LPropertyPageDialogProc(LHwnd h, uint32_t msg, LWParam w, LLParam l);
// Makes the page current (trying at most 65 indexes) and shows a warning
// balloon on its item.
void LShowPageWarningBalloon(LPropertyPage* page, int item, const char16_t* text);
