#include "setup/scheduled_tasks.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include "foundation/reg_settings.h"
#include "host/entry_points.h"
#include "platform/root.h"
#include "platform/service_state.h"
#include "platform/spawn.h"
#include "setup/install_folder.h"

namespace {

constexpr int64_t kKeepAfterStart = 2592000;  // 30 days
constexpr int64_t kUpdateCheckDelay = 5184000;  // 60 days
constexpr const char* kEndKey = "X-PorlinexEndBoundary=";

// Suffixes name files and markers: letters and digits only.
bool ValidSuffix(const std::string& s) {
    if (s.empty() || s.size() > 64) return false;
    for (char c : s)
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

std::string UnitBase(const std::string& suffix) { return LUserUnitFolder() + "/porlinex-" + suffix; }

bool Systemctl(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"systemctl", "--user"};
    argv.insert(argv.end(), args.begin(), args.end());
    LPlatformProcess p;
    if (!p.Start(argv, {})) return false;
    p.Wait(0xFFFFFFFF);
    return p.ExitCode() == 0;
}

void RemoveUnits(const std::string& suffix) {
    unlink((UnitBase(suffix) + ".timer").c_str());
    unlink((UnitBase(suffix) + ".service").c_str());
}

// The end boundary kept in a timer unit; 0 when it holds none.
int64_t EndBoundary(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "re");
    if (!f) return 0;
    char line[512];
    int64_t end = 0;
    const size_t key = std::string(kEndKey).size();
    while (std::fgets(line, sizeof line, f))
        if (std::string(line).rfind(kEndKey, 0) == 0) end = std::strtoll(line + key, nullptr, 10);
    std::fclose(f);
    return end;
}

// Timers whose end has passed are disabled and removed.
void RemoveExpired(int64_t now) {
    DIR* dir = opendir(LUserUnitFolder().c_str());
    if (!dir) return;
    std::vector<std::string> expired;
    while (dirent* e = readdir(dir)) {
        std::string n = e->d_name;
        const std::string prefix = "porlinex-", ext = ".timer";
        if (n.size() <= prefix.size() + ext.size() || n.rfind(prefix, 0) != 0 ||
            n.compare(n.size() - ext.size(), ext.size(), ext) != 0)
            continue;
        int64_t end = EndBoundary(LUserUnitFolder() + "/" + n);
        if (end > 0 && end < now) expired.push_back(n.substr(prefix.size(), n.size() - prefix.size() - ext.size()));
    }
    closedir(dir);
    for (const std::string& s : expired) {
        Systemctl({"disable", "--now", "porlinex-" + s + ".timer"});
        RemoveUnits(s);
    }
}

void WriteMarker(const std::string& suffix) {
    LString name = LFromUtf8(suffix);
    char16_t back[260];
    if (LRegSettingsSet(u"Scheduler", name.c_str(), u"1") &&
        LRegSettingsGet(u"Scheduler", name.c_str(), u"", back) && back[0])
        return;
    LRegUserSettingsSet(u"Scheduler", name.c_str(), u"1");
}

}  // namespace

std::string LUserUnitFolder() {
    if (!LPlatformRoot().empty()) return LPlatformRoot() + "/home/.config/systemd/user";
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') return std::string(xdg) + "/systemd/user";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config/systemd/user";
}

std::string LSystemdExecLine(const std::vector<std::string>& argv) {
    if (argv.empty() || argv[0].empty() || argv[0][0] != '/') return {};
    std::string line;
    for (const std::string& word : argv) {
        const bool program = line.empty();
        if (!program) line += ' ';
        line += '"';
        for (char c : word) {
            unsigned char u = static_cast<unsigned char>(c);
            if (u < 0x20 || u == 0x7f) return {};
            // systemd takes no quote or backslash in the program's name,
            // and expands variables only in the arguments.
            if (program && (c == '"' || c == '\\')) return {};
            if (c == '"' || c == '\\') line += '\\';
            if (c == '%' || (c == '$' && !program)) line += c;
            line += c;
        }
        line += '"';
    }
    return line;
}

std::string LSystemdLocalTime(int64_t at) {
    time_t t = static_cast<time_t>(at);
    struct tm local;
    localtime_r(&t, &local);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string LTimerUnitText(const std::string& suffix, int64_t at) {
    return "[Unit]\nDescription=Porlinex " + suffix + "\n\n[Timer]\nOnCalendar=" + LSystemdLocalTime(at) +
           "\nPersistent=true\nUnit=porlinex-" + suffix + ".service\n" + kEndKey +
           std::to_string(at + kKeepAfterStart) + "\n\n[Install]\nWantedBy=timers.target\n";
}

std::string LServiceUnitText(const std::string& suffix, const std::string& exec_line) {
    // exec, not oneshot: a run may become the desktop or show a question for
    // as long as the user likes, and a oneshot unit would count all of that
    // as its start (and time it out).
    return "[Unit]\nDescription=Porlinex " + suffix + "\n\n[Service]\nType=exec\nExecStart=" + exec_line + "\n";
}

bool LScheduleTask(const char* name, const std::string& program, const char* arguments, int64_t at) {
    std::string suffix = name ? name : "";
    std::vector<std::string> argv = {program};
    if (arguments && *arguments) argv.push_back(arguments);
    std::string exec = LSystemdExecLine(argv);
    if (!ValidSuffix(suffix) || exec.empty()) return false;
    RemoveExpired(static_cast<int64_t>(time(nullptr)));
    if (!LPlatformCreateFolderTree(LUserUnitFolder(), 0755)) return false;
    std::string base = UnitBase(suffix);
    if (!LServiceReplaceFile(base + ".service", LServiceUnitText(suffix, exec), 0644) ||
        !LServiceReplaceFile(base + ".timer", LTimerUnitText(suffix, at), 0644))
        return false;
    // Without a user manager nothing would ever fire: no task, no marker.
    if (!Systemctl({"daemon-reload"}) || !Systemctl({"enable", "--now", "porlinex-" + suffix + ".timer"})) {
        RemoveUnits(suffix);
        return false;
    }
    WriteMarker(suffix);
    return true;
}

bool LDeleteScheduledTask(const char* name) {
    std::string suffix = name ? name : "";
    if (!ValidSuffix(suffix)) return false;
    Systemctl({"disable", "--now", "porlinex-" + suffix + ".timer"});
    RemoveUnits(suffix);
    Systemctl({"daemon-reload"});
    LString wide = LFromUtf8(suffix);
    LRegSettingsDelete(u"Scheduler", wide.c_str());
    LRegDeleteValue(LRegHive::CurrentUser, u"Software\\Vek Software\\Porlinex\\Scheduler", wide.c_str());
    return true;
}

void LDeleteAllScheduledTasks() {
    std::vector<std::string> suffixes;
    for (LRegHive hive : {LRegHive::LocalMachine, LRegHive::CurrentUser}) {
        LSettingsHive h;
        if (!LHiveLoad(hive, h)) continue;
        if (const LHiveSection* s = h.FindSection(u"Software\\Vek Software\\Porlinex\\Scheduler")) {
            for (const LHiveValue& v : s->values)
                if (!v.name.empty()) suffixes.push_back(LToUtf8(v.name.c_str()));
            break;
        }
    }
    for (const std::string& s : suffixes) LDeleteScheduledTask(s.c_str());
    RemoveExpired(static_cast<int64_t>(time(nullptr)));
}

void LScheduleUpdateCheck() {
    std::string folder;
    if (!LGetInstallerPath(folder)) return;
    LScheduleTask("UpdateCheck", LInstalledProgramPath(folder), "-updatecheck",
                  static_cast<int64_t>(time(nullptr)) + kUpdateCheckDelay);
}

bool LShouldOpenAtLogon() {
    char16_t first[260], last[260];
    LRegSettingsGet(u"Settings", u"DayFirstRunDate", u"0", first);
    LRegSettingsGet(u"Settings", u"LastAutoRunOpenDate", u"0", last);
    int64_t now = static_cast<int64_t>(time(nullptr));
    if (now < std::strtoll(LToUtf8(first).c_str(), nullptr, 10) + 604800) return false;
    if (now < std::strtoll(LToUtf8(last).c_str(), nullptr, 10) + 1209600) return false;
    std::string text = std::to_string(now);
    LString wide = LFromUtf8(text);
    LRegSettingsSet(u"Settings", u"LastAutoRunOpenDate", wide.c_str());
    return true;
}
