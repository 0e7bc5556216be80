#pragma once
// Short notices from the maker: one text file of url-encoded lines fetched
// at most once a week from the download host, read into records, and the
// per-user state that tells which notice is due.
#include <climits>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

// The source revision of this build, as the notes file's svnmin/svnmax see it.
constexpr char LSourceRevisionText[] = "878949";

// Actions and operating systems by their index in the word tables.
enum LPushAction : int { LPushActionUnknown = -1, LPushActionNone = 0, LPushActionWebpage, LPushActionInstall, LPushActionLater };
enum LPushOs : int { LPushOsUnknown = -1, LPushOsAny = 0, LPushOsMac, LPushOsWin };

// Every text of a record keeps at most this many units.
constexpr size_t LPushFieldMax = 259;
// Bounds on what the maker's host may hand us: the part of the file read,
// one line, one button's address, and the notices kept.
constexpr size_t LPushFileMax = 256 * 1024;
constexpr size_t LPushLineMax = 8192;
constexpr size_t LPushDataMax = 2048;
constexpr size_t LPushNoticesMax = 256;

struct LPushNotificationButton {
    int action = LPushActionNone;
    std::u16string label;
    std::u16string data;  // "webpage": the address
    std::u16string comp;  // "install": the setup program's name
    std::u16string key;   // "install": the program's name
    bool dalmor = false;
};

// One notice; also a node of the notification list (next first).
struct LPushNotificationData {
    LPushNotificationData* next = nullptr;
    std::u16string id;
    int os = LPushOsAny;
    int osmin = 0, osmax = INT_MAX;
    int appmin = 0, appmax = INT_MAX;
    int svnmin = 0, svnmax = INT_MAX;
    std::u16string datemin, datemax;
    std::u16string body;
    LPushNotificationButton button1, button2;

    // Every field back to its default; the list link is kept.
    void Clear() {
        LPushNotificationData* link = next;
        *this = LPushNotificationData{};
        next = link;
    }
    // Reads the record from one line; false when the line is empty (an
    // empty line ends the file). usable is cleared for a notice that must
    // never be shown.
    bool Parse(std::string_view line, bool& usable);
    // The notice suits this computer, this version and now, and the user
    // has neither dismissed it nor asked to be reminded in the last 12 hours.
    bool IsDue(time_t now) const;
    // What a button command checks before it acts.
    bool IsValid() const;
    void MarkViewed() const;
    void RemindLater() const;
};

// Releases every node from the head on (nodes made with new).
void LNotificationListFree(LPushNotificationData* head);

// The notes file cut into lines (CR, LF, CRLF and LFCR end a line); only
// its first LPushFileMax bytes are read.
class LPushNotificationReader {
public:
    bool Open(const std::string& path);
    // False at the end of the text.
    bool NextLine(std::string_view& line);

private:
    std::string text_;
    size_t at_ = 0;
};

// Reads every usable notice of the file in file order, up to the first
// empty line, at most LPushNoticesMax of them.
std::vector<LPushNotificationData> LReadPushNotifications(const std::string& path);

// Makes sure a current copy of the notes file ("notifications-en.txt" in
// the per-user data folder; its path goes to path) is there: downloaded
// when the last attempt (Polled) is more than seven days old. progress is
// asked about stops. True when the file is there to read.
class LTaskProgress;
bool LDownloadPushNotifications(LTaskProgress& progress, std::string& path);
