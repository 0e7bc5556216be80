#include "desktop/app/about_box.h"

#include <cairo.h>

#include <algorithm>

#include "foundation/data_folder.h"
#include "foundation/reg_settings.h"
#include "foundation/system_shell.h"
#include "foundation/utf8.h"
#include "setup/maker_hosts.h"
#include "setup/split_test.h"
#include "toolkit/edit_prompt.h"
#include "toolkit/object_class_proc.h"
#include "toolkit/pictures.h"
#include "toolkit/tab_control.h"

namespace {

constexpr char16_t kProduct[] = u"Porlinex";
constexpr LColor kLinkColor = 0xC00000;
constexpr LColor kGrey = 0x646464;

constexpr char16_t kLicenceTerms[] =
    u"Porlinex licence terms\r\n\r\n"
    u"Vek Software grants you the right to install and run Porlinex on the computers you own or manage, for "
    u"yourself and for the people who use those computers.\r\n\r\n"
    u"You may copy the program unchanged. You may not sell it, rent it out, or hand on a changed copy as if "
    u"it were the original.\r\n\r\n"
    u"Porlinex keeps your mail on your own computer. You remain responsible for backing up that mail and "
    u"for the accounts you connect to it.\r\n\r\n"
    u"The program is provided as it is, without any warranty. As far as the law allows, Vek Software is not "
    u"liable for lost data, lost profits or any other damage that comes from using it or from being unable "
    u"to use it.";

std::u16string Wide(const std::string& s) {
    LWideFromUTF8 w(s.c_str());
    return std::u16string(w.text, w.Length());
}

// A font whose cell (line) is about the given pixels high, as a font
// height asked in pixels gives.
LFontDesc CellFont(int pixels, int weight) {
    LFontDesc f = LDefaultDialogFont();
    f.points = std::max(1, pixels) * 72.0 / 96.0 * 0.86;
    f.weight = weight;
    return f;
}

}  // namespace

std::u16string LDistributorValue(const char16_t* name) {
    std::u16string host = Wide(LGetMakerWebHost());
    std::u16string def;
    if (std::u16string_view(name) == u"Name") def = u"Vek Software";
    else if (std::u16string_view(name) == u"Contact") def = u"Contact us at " + host + u"/contact.html";
    else if (std::u16string_view(name) == u"URL") def = u"https://" + host + u"/contact.html";
    char16_t out[260];
    LRegSettingsGet(u"Distributor", name, def.c_str(), out);
    return out;
}

void LAboutPicture::Create() {
    window = LHwnd::Null;
    link = {};
    LThemeApi::Load(theme);
    picture.Load();
    // An administrator's own picture in the data folder replaces ours.
    std::string data = LDataFolderPath();
    if (!data.empty()) picture.LoadFile(data + "/splash.jpg");
    LRegisterClass(u"LAW", LObjectClassProc<LAboutPicture>);
}

void LAboutPicture::Attach(LHwnd item) {
    if (window != LHwnd::Null || item == LHwnd::Null) return;
    LSetWindowLongPtr(item, LGWLP_USERDATA, reinterpret_cast<intptr_t>(this));
    window = item;
    // There is no theme to open here: the link keeps its own colour.
}

void LAboutPicture::Destroy() {
    if (window != LHwnd::Null && LIsWindow(window)) {
        LSetWindowLongPtr(window, LGWLP_USERDATA, 0);
        LDestroyWindow(window);
    }
    window = LHwnd::Null;
    picture.Release();
}

void LAboutPicture::GetBitmapSize(int* width, int* height) const {
    *width = picture.width;
    *height = picture.height;
}

void LAboutPicture::Paint(LHwnd h, const LPaintStruct& ps) {
    auto* cr = static_cast<cairo_t*>(ps.cairo);
    if (!cr) return;
    LDrawContext dc(cr, ps.paint, h);
    LRect client = LGetClientRect(h);
    int W = client.Width(), H = client.Height();
    int bw = 0, bh = 0;
    GetBitmapSize(&bw, &bh);
    // Without a picture the texts keep their sizes at scale 1 (a zero
    // picture size would divide by zero).
    int x = bw > 0 ? std::max(1, W / bw) : 1;
    int y_scale = bh > 0 ? std::max(1, H / bh) : 1;
    LFontDesc title = CellFont(x * 36, 700), text = CellFont(x * 14, 400);
    bool faded = LSplitTestPick("WKITSpltxtfadeon", "WKITSpltxtfadeoff");
    if (picture.Has()) LDrawBitmapStretched(dc, client, picture.bgra, bw, bh);
    else dc.FillRect(client, 0xFFFFFF);
    painted.clear();

    dc.SetFont(title);
    dc.SetTextColor(0);
    painted.push_back(kProduct);
    dc.DrawTextLine(painted.back(), {x * 90, y_scale * 91, W - x * 13, y_scale * 127}, LDrawContext::Align::Left);

    dc.SetFont(text);
    dc.SetTextColor(faded ? kGrey : 0);
    int left = x * 10, right = W - x * 12, top = x * 160;
    int line = LMeasureText(text, u"Ag", 0).cy;
    painted.push_back(std::u16string(kProduct) + u" v2.01 64bit " + Wide(__DATE__ " " __TIME__));
    dc.DrawTextLine(painted.back(), {left, top, right, top + line}, LDrawContext::Align::Left);
    top += line;
    painted.push_back(u"Distributed by " + LDistributorValue(u"Name"));
    dc.DrawTextLine(painted.back(), {left, top, right, top + line}, LDrawContext::Align::Left);
    top += line;

    dc.SetTextColor(kLinkColor);
    painted.push_back(LDistributorValue(u"Contact"));
    dc.DrawTextLine(painted.back(), {left, top, right, top + line}, LDrawContext::Align::Left);
    link = {left, top, std::min(right, left + LMeasureText(text, painted.back(), 0).cx), top + line};
}

LResult LAboutPicture::WndProc(LHwnd h, uint32_t msg, LWParam w, LLParam l) {
    int px = LParamX(l), py = LParamY(l);
    bool on_link = px >= link.left && px < link.right && py >= link.top && py < link.bottom;
    switch (msg) {
    case LWM_PAINT:
        if (w) Paint(h, *reinterpret_cast<const LPaintStruct*>(w));
        return 0;
    case LWM_ERASEBKGND: return 0;
    case LWM_DESTROY: window = LHwnd::Null; return 0;
    case LWM_MOUSEMOVE: LSetHandCursor(h, on_link); return 0;
    case LWM_LBUTTONDOWN:
        // The address is a machine setting: only a web or mail address is
        // handed to the desktop's opener, never a file or a program.
        if (on_link) {
            std::u16string url = LDistributorValue(u"URL");
            if (LIsOpenableLink(url.c_str())) LShellOpen(url.c_str());
        }
        return 0;
    default: return LDefWindowProc(h, msg, w, l);
    }
}

void LAbout::OnInitDialog() {
    LSetWindowText(hwnd, u"About Porlinex");
    SetIcons(1, 1);

    LHwnd tabs = CreateChild(LAboutTabs, u"SysTabControl32", u"", LWS_VISIBLE | LWS_TABSTOP, 0);
    LSetWindowLongPtr(hwnd, LGWL_STYLE, LGetWindowLongPtr(hwnd, LGWL_STYLE) & ~static_cast<intptr_t>(LWS_CLIPCHILDREN));
    const char16_t* titles[] = {u"About", u"License Terms", u"Credits"};
    for (int i = 0; i < 3; ++i) LSendMessage(tabs, LTCM_INSERTITEM, static_cast<LWParam>(i), reinterpret_cast<LLParam>(titles[i]));
    LForwardTabChangeAsCommand(this, LAboutTabs, LAboutTabCommand);

    picture_.Attach(CreateChild(LAboutPictureItem, u"LAW", u"", LWS_VISIBLE, 0));
    CreateChild(LAboutTextItem, u"Edit", u"",
                LWS_VSCROLL | LWS_TABSTOP | LES_MULTILINE | LES_READONLY | LES_WANTRETURN, 0);
    white_.brush = LSolidBrush(0xFFFFFF);
    SetItem998TextColor(&white_);
    CreateChild(LIDOK, u"Button", u"OK", LWS_VISIBLE | LWS_TABSTOP | LBS_DEFPUSHBUTTON, 0);

    // Everything follows the picture's size; without a picture the sizes
    // are zero and only the tabs and the button show.
    int w = 0, h = 0;
    picture_.GetBitmapSize(&w, &h);
    int g = DialogUnitsToPixelsX(16), unit2 = DialogUnitsToPixelsX(2);
    MoveItem(LAboutTabs, 0, 2, w + 4, h + g + 2);
    MoveItem(LAboutPictureItem, 1, g + 2, w, h);
    MoveItem(LAboutTextItem, unit2 + 1, g + 2, std::max(0, w - unit2), h);
    int button_w = DialogUnitsToPixelsX(50), button_h = DialogUnitsToPixelsY(14);
    int tabs_bottom = 2 + h + g + 2;
    MoveItem(LIDOK, w + 4 - DialogUnitsToPixelsX(7) - button_w, tabs_bottom + DialogUnitsToPixelsY(4), button_w,
             button_h);
    SetClientSize(w + 2, DialogUnitsToPixelsY(4 + 7 + 14) + h + g + 4);
    CenterOnParent();
    ShowTab(0);

    // No component brings notices of its own: the licence is the program's
    // terms alone and the empty credits lose their tab.
    licence = kLicenceTerms;
    if (credits.empty()) LSendMessage(tabs, LTCM_DELETEITEM, 2, 0);
}

void LAbout::OnCommand(int id, int) {
    if (id == LAboutTabCommand)
        ShowTab(static_cast<int>(LSendMessage(LGetDlgItem(hwnd, LAboutTabs), LTCM_GETCURSEL, 0, 0)));
}

void LAbout::ShowTab(int tab) {
    LShowWindow(LGetDlgItem(hwnd, LAboutPictureItem), tab == 0 ? LSW_SHOW : LSW_HIDE);
    LShowWindow(LGetDlgItem(hwnd, LAboutTextItem), tab == 0 ? LSW_HIDE : LSW_SHOW);
    if (tab == 1) SetItemText(LAboutTextItem, licence.c_str());
    if (tab == 2) SetItemText(LAboutTextItem, credits.c_str());
}

void LShowAboutBox(LHwnd owner) {
    LAboutPicture picture;
    picture.Create();
    {
        LAbout about(picture);
        LDialog::RunModal(&about, owner);
    }
    picture.Destroy();
}
