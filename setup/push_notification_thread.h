#pragma once
// The main window's background thread for the maker's notices: it waits a
// while after start, fetches and reads the notes file, and hands the first
// due notice to the main window, which shows it in its banner and routes
// the banner's commands back here. At most one notice per process.
#include <atomic>

#include "foundation/thread.h"
#include "platform/event.h"
#include "setup/push_notifications.h"
#include "toolkit/notification_banner.h"
#include "toolkit/window.h"

// Commands of the banner: 810 show the current notice, 811 and 812 its
// buttons, 813 its close glyph.
constexpr int LCmdPushShow = 810;
constexpr int LCmdPushButton1 = 811;
constexpr int LCmdPushButton2 = 812;
constexpr int LCmdPushClose = 813;
// Posted by the thread to ask whether a notice may be shown now; the main
// window answers with AnswerShowQuery.
constexpr uint32_t LWM_PUSHNOTIFICATIONASK = LWM_APP + 0x140;

class LPushNotificationThread : public LThread {
public:
    LPushNotificationThread(LHwnd main_window, LPushNotificationPanel* banner);
    ~LPushNotificationThread() override;

    void Run() override;
    // Window thread: true for 810 to 813, whatever was done.
    bool OnCommand(int id);
    // Window thread: may a notice be shown now (no banner showing and the
    // main window in front)?
    void AnswerShowQuery(bool can_show);
    // Window thread, on exit: nothing more is posted, and the thread ends.
    void Detach();

    void Post(const LPushNotificationData& notice);
    void RunButton(const LPushNotificationButton& button);
    bool DownloadAndInstall(const std::u16string& comp, const std::u16string& key, bool dalmor);

    // Test hook: the pause before the first fetch (5 minutes) and between
    // walks of the list (1 minute).
    static void SetWaitsForTests(uint32_t first_ms, uint32_t pass_ms);

    // Written only by Post, just before it posts 810; read and cleared on
    // the window thread.
    LPushNotificationData current;

private:
    bool MayShowNow(LHwnd window);

    std::atomic<LHwnd> window_;
    LPushNotificationPanel* banner_;
    LEvent answered_{false, false};
    std::atomic<bool> can_show_{false};
};
