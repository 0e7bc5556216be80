#include "setup/wizard_host.h"

#include <algorithm>

#include "toolkit/property_sheet.h"

void LAddWizardPage(LWizardPageList& list, LPropertyPage* page, const char16_t* header_title,
                    const char16_t* header_subtitle, int width, int height) {
    page->wizard_buttons = LPSWIZB_BACK | LPSWIZB_NEXT;
    list.pages.push_back({page, header_title ? header_title : u"", header_subtitle ? header_subtitle : u""});
    list.width = std::max(list.width, width);
    list.height = std::max(list.height, height);
}

bool LRunWizard(LWizardPageList& list, const char16_t* caption) {
    if (list.pages.empty()) return false;
    list.pages.front().page->wizard_buttons = LPSWIZB_NEXT;
    // The last page finishes; it goes back only when there is a page before it.
    list.pages.back().page->wizard_buttons = LPSWIZB_FINISH | (list.pages.size() > 1 ? LPSWIZB_BACK : 0);
    LPropertySheetSpec spec;
    spec.title = caption ? caption : u"Porlinex";
    for (auto& p : list.pages) {
        spec.pages.push_back(p.page);
        spec.header_titles.push_back(p.header_title);
        spec.header_subtitles.push_back(p.header_subtitle);
    }
    if (list.width > 0) spec.width = list.width;
    if (list.height > 0) spec.height = list.height;
    return LPropertySheetRun(spec, LHwnd::Null) == 1;
}
