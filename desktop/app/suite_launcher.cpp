#include "desktop/app/suite_launcher.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>

#include "desktop/app/tray_icon.h"
#include "foundation/child_process.h"
#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "foundation/system_random.h"
#include "foundation/system_shell.h"
#include "host/entry_points.h"
#include "net/smtp/mail_discovery.h"
#include "setup/install_folder.h"
#include "setup/installer_download.h"
#include "setup/maker_hosts.h"
#include "setup/maker_installed.h"
#include "setup/maker_programs.h"
#include "setup/suite_usage.h"
#include "setup/usage_query.h"
#include "toolkit/edit_prompt.h"
#include "toolkit/message_box.h"
#include "toolkit/pictures.h"
#include "toolkit/progress_dialog.h"

namespace {

constexpr LColor kLinkColor = 0xC63200;
constexpr int kTabStripHeight = 32;

class InstallProgress : public LProgressDialog {
public:
    InstallProgress(const LSuiteProgram& p, bool vekOnly) : LProgressDialog(u"Install Program"), p_(p), vek_(vekOnly) {}
    void DoWork() override {
        result = LDownloadAndRunInstaller(*Progress(), LToUtf8(p_.setup.c_str()), LToUtf8(p_.key.c_str()), vek_, "su",
                                          nullptr, true);
    }
    int result = 2;

private:
    const LSuiteProgram& p_;
    bool vek_;
};

bool IsVekOnly(const LSuiteProgram& p) { return !p.page.empty() && p.page[0] == u'+'; }

// This program itself is started from where it was installed.
bool FindProgram(const LSuiteProgram& p, bool vekOnly, std::string& path) {
    if (!LHiveNamesEqual(p.key, u"Porlinex")) return LFindMakerProgram(vekOnly, LToUtf8(p.key.c_str()), path);
    path = LInstalledProgramPath(LInstallFolderPath());
    return access(path.c_str(), X_OK) == 0;
}

std::string MakerValue(const char16_t* name, const char16_t* fallback) {
    char16_t out[260] = {0};
    LRegSettingsGet(u"Maker", name, fallback, out);
    return LToUtf8(out[0] ? out : fallback);
}

// The newer family's site and the site search; like the other hosts they
// stay under .invalid until an administrator names them.
std::string SecondWebHost() { return MakerValue(u"SecondWebHost", u"www2.porlinex.invalid"); }
std::string SearchEndpoint() { return MakerValue(u"SearchEndpoint", u"search.porlinex.invalid/search"); }

std::u16string Trim(std::u16string s) {
    size_t a = s.find_first_not_of(u" \t"), b = s.find_last_not_of(u" \t");
    return a == std::u16string::npos ? std::u16string() : s.substr(a, b - a + 1);
}

LResult RunHook(LWindow* w, LWParam wp, LLParam l, const LHookBlock&) {
    static_cast<LSuiteLauncherDlg*>(w)->RunEntry(static_cast<int>(wp), static_cast<int>(l & 0xFFFF),
                                                 static_cast<int>((l >> 16) & 0xFFFF));
    return 1;
}

LResult VisitHook(LWindow* w, LWParam wp, LLParam l, const LHookBlock&) {
    static_cast<LSuiteLauncherDlg*>(w)->VisitEntry(static_cast<int>(wp), static_cast<int>(l & 0xFFFF));
    return 1;
}

LResult MenuHook(LWindow* w, LWParam wp, LLParam l, const LHookBlock&) {
    static_cast<LSuiteLauncherDlg*>(w)->ShowLaunchMenu(static_cast<int>(wp), static_cast<int>(l & 0xFFFF),
                                                       static_cast<int>((l >> 16) & 0xFFFF));
    return 1;
}

LResult PanelColorHook(LWindow*, LWParam, LLParam, const LHookBlock&) { return LSolidBrush(LSuitePanelColor); }

}  // namespace

LSuiteLauncherDlg::LSuiteLauncherDlg(const std::u16string& category) : category_(category) {}

LSuiteLauncherDlg::~LSuiteLauncherDlg() {
    if (chain != LHwnd::Null) LDestroyWindow(chain);
}

void LSuiteLauncherDlg::OnInitDialog() {
    if (include_own) {
        // Lets a second start of the program find the open launcher.
        LRegisterClass(u"VekSoftware_InstanceChain", LHiddenWindowProc);
        chain = LCreateWindowEx(0, u"VekSoftware_InstanceChain", u"", LWS_POPUP, 0, 0, 0, 0, LHwnd::Null, 0);
        if (chain != LHwnd::Null) LSetWindowLongPtr(chain, LGWLP_USERDATA, LHwndToParam(hwnd));
    }
    LCreateWindowFontCopy(font_, hwnd);
    closing = false;
    opened = time(nullptr);
    LSetWindowText(hwnd, u"Vek Software Suite");
    SetIcons(910, 910);
    AddMessageHook(LWM_SUITE_RUN, RunHook, 0, 0, 0);
    AddMessageHook(LWM_SUITE_VISIT, VisitHook, 0, 0, 0);
    AddMessageHook(LWM_SUITE_MENU, MenuHook, 0, 0, 0);
    AddMessageHook(LWM_CTLCOLORDLG, PanelColorHook, 0, 0, 0);

    struct Item {
        int id;
        const char16_t* cls;
        const char16_t* text;
        uint32_t style, exstyle;
    } items[] = {
        {kTabs, u"LPC", u"", LWS_VISIBLE | LWS_TABSTOP, 0},
        {kPrograms, u"LPC", u"", LWS_VISIBLE | LWS_TABSTOP, 0},
        {kSeparator, u"LPC", u"", LWS_VISIBLE, 0},
        {kFeatured, u"LPC", u"", LWS_VISIBLE | LWS_TABSTOP, 0},
        {kSearchIcon, u"Static", u"", LWS_VISIBLE | LSS_ICON, 0},
        {kSearchEdit, u"Edit", u"", LWS_VISIBLE | LWS_TABSTOP, 0x200},
        {kSearch, u"Button", u"Search", LWS_VISIBLE | LWS_TABSTOP | LBS_DEFPUSHBUTTON, 0},
        {kMoreSoftware, u"Static", u"See more of our software", LWS_VISIBLE | LSS_NOPREFIX, 0},
        {kNewsletter, u"Static", u"Subscribe to our newsletter", LWS_VISIBLE | LSS_NOPREFIX, 0},
        {kLogo, u"LPC", u"", LWS_VISIBLE, 0},
    };
    for (const Item& i : items) LSetWindowFont(CreateChild(i.id, i.cls, i.text, i.style, i.exstyle), font_, false);
    LSendMessage(hwnd, LDM_SETDEFID, kSearch, 0);
    tabs.strip_height = kTabStripHeight;
    tabs.Attach(this, kTabs);
    programs.tips = this;
    featured.tips = this;
    programs.Attach(this, kPrograms);
    separator.Attach(this, kSeparator);
    featured.Attach(this, kFeatured);
    logo.Attach(this, kLogo);
    LForwardTabChangeAsCommand(this, kTabs, kTabChanged);
    LayOut();
    FillTabs();
    for (int id : {kMoreSoftware, kNewsletter}) {
        LMakeHyperlink(this, id, nullptr);
        AddMessageHook(LWM_CTLCOLORSTATIC, LHookStaticTextColor, LHwndToParam(LGetDlgItem(hwnd, id)), kLinkColor, 0);
        LRefreshControlColors(LGetDlgItem(hwnd, id));
    }
    logo.links.owner = hwnd;
    logo.links.Add({kLogo, 0, 0, logo.width, logo.height, kLogoClick, kLogoHover});
    AddTooltip(&tooltip, LGetDlgItem(hwnd, kMoreSoftware), u"See the complete list of products made by Vek Software");
    AddTooltip(&tooltip, LGetDlgItem(hwnd, kNewsletter), u"Subscribe to our newsletter announcing new and updated products");
    AddTooltip(&tooltip, programs.hwnd, u"");
    AddTooltip(&tooltip, featured.hwnd, u"");
    SetSearchPrompt(LGetDlgItem(hwnd, kSearchEdit));
    CenterOnDesktop();
}

void LSuiteLauncherDlg::LayOut() {
    auto du = [this](int x, int y, int w, int h) { return LMapDialogRect(hwnd, {x, y, x + w, y + h}); };
    LRect tab = du(7, 7, 366, 296);
    LMoveWindow(tabs.hwnd, tab.left, tab.top, tab.Width(), tab.Height(), true);
    // The lists sit inside the tabs' frame, below the strip.
    int inner_left = tab.left + 2, inner_width = tab.Width() - 4;
    int top = tab.top + kTabStripHeight + 2, bottom = tab.bottom - 2;
    int sep = LMapDialogRect(hwnd, {0, 0, 0, 8}).bottom;
    int featured_h = (bottom - top) * 3 / 10;
    int list_h = bottom - top - featured_h - sep;
    LMoveWindow(programs.hwnd, inner_left, top, inner_width, list_h, true);
    LMoveWindow(separator.hwnd, inner_left, top + list_h, inner_width, sep, true);
    LMoveWindow(featured.hwnd, inner_left, top + list_h + sep, inner_width, featured_h, true);
    MoveItemDlgUnits(kSearchIcon, {7, 311, 10, 10});
    MoveItemDlgUnits(kSearchEdit, {20, 310, 240, 14});
    MoveItemDlgUnits(kSearch, {265, 309, 60, 16});
    MoveItemDlgUnits(kMoreSoftware, {20, 334, 110, 10});
    MoveItemDlgUnits(kNewsletter, {140, 334, 120, 10});
    MoveItemDlgUnits(kLogo, {270, 328, 103, 26});
    programs.UpdateScrollBars();
    featured.UpdateScrollBars();
}

void LSuiteLauncherDlg::FillTabs() {
    tabs.Clear();
    std::u16string wanted = category_;
    if (wanted.empty()) {
        char16_t stored[260] = {0};
        LRegUserSettingsGet(u"Settings", u"SelectedTab", u"Utilities", stored);
        wanted = stored;
    }
    for (const LSuiteTask& t : tables.tasks) {
        bool seen = false;
        for (const std::u16string& n : tabs.names) seen = seen || n == t.category;
        if (!seen) tabs.Add(t.category);
    }
    int select = 0;
    for (size_t i = 0; i < tabs.names.size(); ++i)
        if (LHiveNamesEqual(tabs.names[i], wanted)) {
            select = static_cast<int>(i);
            break;
        }
    tabs.Select(select, false);
    FillLists();
}

void LSuiteLauncherDlg::FillLists() {
    const std::u16string name = tabs.SelectedName();
    programs.nodes.clear();
    featured.nodes.clear();
    programs.ScrollToY(0);
    featured.ScrollToY(0);
    std::vector<const LSuiteTask*> rows;
    for (const LSuiteTask& t : tables.tasks) {
        if (t.category != name) continue;
        AddTask(programs.nodes, t);
        rows.push_back(&t);
    }
    // Three different rows at random (all of them when there are fewer).
    size_t want = std::min<size_t>(rows.size(), 3);
    std::vector<size_t> taken;
    while (taken.size() < want) {
        size_t pick = static_cast<size_t>(LRand()) % rows.size();
        if (std::find(taken.begin(), taken.end(), pick) != taken.end()) continue;
        taken.push_back(pick);
        AddTask(featured.nodes, *rows[pick]);
    }
    programs.UpdateScrollBars();
    featured.UpdateScrollBars();
    programs.ScrollToY(0);
    featured.ScrollToY(0);
    LInvalidate(separator.hwnd);
}

void LSuiteLauncherDlg::AddTask(std::vector<LSuiteProgramNode>& list, const LSuiteTask& task) {
    const LSuiteProgram* p = tables.FindProgram(task.program);
    if (!p) return;
    if (!include_own && LHiveNamesEqual(p->key, u"Porlinex")) return;
    LSuiteProgramNode* node = nullptr;
    for (LSuiteProgramNode& n : list)
        if (n.program == p) node = &n;
    if (!node) {
        list.push_back({p, LIsMakerProgramInstalled(p->key, IsVekOnly(*p)), {}, {}, {}});
        node = &list.back();
    }
    node->tasks.push_back({&task, {}});
}

bool LSuiteLauncherDlg::RunProgram(const LSuiteProgramNode& node, const std::u16string& task) {
    const LSuiteProgram& p = *node.program;
    bool vekOnly = IsVekOnly(p);
    bool installed = LIsMakerProgramInstalled(p.key, vekOnly);
    LCountSuiteUse(p.key, tabs.SelectedName(), task, installed);
    if (!installed) {
        InstallProgress progress(p, vekOnly);
        progress.RunWork(hwnd);
        if (progress.result == 1) return false;
        if (progress.result != 0) {
            LShowCannotLaunchMessage(hwnd);
            return false;
        }
    }
    std::string path;
    if (!FindProgram(p, vekOnly, path) || LRunProgram({path}, LSW_SHOWNORMAL) != 32) {
        LShowCannotLaunchMessage(hwnd);
        return false;
    }
    return true;
}

bool LSuiteLauncherDlg::RunEntry(int list, int node, int task_plus_one) {
    const std::vector<LSuiteProgramNode>& nodes = list == kFeatured ? featured.nodes : programs.nodes;
    if (node < 0 || static_cast<size_t>(node) >= nodes.size()) return false;
    // A copy: running pumps messages, and a tab change may refill the lists.
    LSuiteProgramNode entry = nodes[static_cast<size_t>(node)];
    std::u16string task;
    if (task_plus_one > 0 && static_cast<size_t>(task_plus_one) <= entry.tasks.size())
        task = entry.tasks[static_cast<size_t>(task_plus_one - 1)].task->text;
    return RunProgram(entry, task);
}

void LSuiteLauncherDlg::VisitEntry(int list, int node) {
    const std::vector<LSuiteProgramNode>& nodes = list == kFeatured ? featured.nodes : programs.nodes;
    if (node < 0 || static_cast<size_t>(node) >= nodes.size()) return;
    const std::u16string& page = nodes[static_cast<size_t>(node)].program->page;
    bool second = !page.empty() && page[0] == u'+';
    LOpenWebAddress(LFromUtf8("https://" + (second ? SecondWebHost() : LGetMakerWebHost()) + "/" +
                              LToUtf8(page.c_str() + (second ? 1 : 0)) + "/index.html?ref=veksuite")
                        .View());
}

void LSuiteLauncherDlg::ShowLaunchMenu(int list, int node, int task_plus_one) {
    menu_list = list;
    menu_node = node;
    menu_task = task_plus_one;
    LShowPopupMenu(hwnd, {{static_cast<uint16_t>(kLaunch), u"Launch...", false, true}});
}

void LSuiteLauncherDlg::Search() {
    char16_t words[260] = {0};
    GetItemText(kSearchEdit, words);
    std::u16string trimmed = Trim(words);
    if (trimmed.empty()) {
        ShowBalloonTip(kSearch, u"Please enter keywords to search for", 0, u"");
        return;
    }
    char16_t server[260] = {0}, address[260] = {0};
    bool mail = LDefaultMailAccountFind(server, address);
    LString url;
    url.Format(u"http://%s?q=%U&site=%s%s%U", LFromUtf8(SearchEndpoint()).c_str(), trimmed.c_str(),
               LFromUtf8(SecondWebHost()).c_str(), mail ? u"&email=" : u"", mail ? address : u"");
    LOpenWebAddress(url.View());
}

void LSuiteLauncherDlg::OnCommand(int id, int) {
    switch (id) {
    case kSearch: Search(); break;
    case kMoreSoftware: LOpenWebAddress(LFromUtf8("https://" + LGetMakerWebHost() + "/software/index.html").View()); break;
    case kNewsletter: LOpenNewsletterPage(); break;
    case kLogo:
    case kLogoClick: LOpenWebAddress(LFromUtf8("https://" + LGetMakerWebHost() + "/index.html").View()); break;
    case kLaunch: RunEntry(menu_list, menu_node, menu_task); break;
    case kMenu: ShowLaunchMenu(menu_list, menu_node, menu_task); break;
    case kTabChanged:
        FillLists();
        LInvalidate(separator.hwnd);
        break;
    case kLogoHover: ShowLinkHintTip(hint, logo.hwnd, logo.width / 2, logo.height / 2); break;
    default: break;
    }
}

void LSuiteLauncherDlg::OnHelp() { LOpenHelpPage(u"lveksuitedialoglxa"); }

void LSuiteLauncherDlg::SetListTip(int item, const std::u16string& text) { UpdateTooltipText(&tooltip, item, text.c_str()); }

bool LSuiteLauncherDlg::OnCancel() {
    OnClose();
    return true;
}

void LSuiteLauncherDlg::OnClose() {
    if (closing) return;
    closing = true;
    if (chain != LHwnd::Null) LDestroyWindow(chain);
    chain = LHwnd::Null;
    LRegUserSettingsSet(u"Settings", u"SelectedTab", tabs.SelectedName().c_str());
    time_t now = time(nullptr);
    LAddSuiteOpenSeconds(now > opened ? static_cast<int64_t>(now - opened) : 0);
}

void LShowSuiteLauncher(LHwnd owner, const std::u16string& category) {
    // Without a display nothing opens, so nothing is counted either.
    if (!LWindowLayerIsOpen() && !LDesktopOpenDisplay()) return;
    LCountSuiteOpening(owner != LHwnd::Null);
    LSuiteLauncherDlg dialog(category);
    dialog.tables = LLoadSuiteTables();
    dialog.include_own = owner == LHwnd::Null;
    LDialog::RunModalSized(&dialog, owner, 95, 45);
}

// The host's switches: "-extsuite [name]" and "-suite" open the launcher
// without an owner window.
void LShowLauncherDialog(const std::string& name) { LShowSuiteLauncher(LHwnd::Null, LFromUtf8(name).c_str()); }
void LRunSuiteLauncher() { LShowSuiteLauncher(LHwnd::Null, u""); }
