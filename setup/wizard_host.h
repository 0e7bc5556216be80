#pragma once
// The wizard host: pages collected with their header texts and sizes, then
// shown modally on the toolkit's wizard sheet with the buttons a wizard's
// first, middle and last pages carry.
#include <string>
#include <vector>

#include "toolkit/window.h"

struct LWizardPage {
    LPropertyPage* page = nullptr;
    std::u16string header_title;
    std::u16string header_subtitle;
};

struct LWizardPageList {
    std::vector<LWizardPage> pages;
    int width = 0;  // dialog units: the largest page
    int height = 0;
};

// Appends page with its header texts (null = none) and size in dialog
// units; the page starts with Back and Next.
void LAddWizardPage(LWizardPageList& list, LPropertyPage* page, const char16_t* header_title,
                    const char16_t* header_subtitle, int width, int height);
// Shows the pages modally under caption ("Porlinex" when null); true when
// the wizard ended with Finish.
bool LRunWizard(LWizardPageList& list, const char16_t* caption);
