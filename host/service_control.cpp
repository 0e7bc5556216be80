#include "host/service_control.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "foundation/data_folder.h"
#include "foundation/log.h"
#include "foundation/reg_settings.h"
#include "foundation/settings_hive.h"
#include "foundation/utf8.h"
#include "host/service_unit.h"
#include "host/startup_lock.h"
#include "platform/clock.h"
#include "platform/root.h"
#include "platform/service_state.h"

namespace {

// The service record, where the service manager would keep it.
constexpr char16_t kRecordKey[] = u"System\\CurrentControlSet\\Services\\PorlinexService";
constexpr char kUnitName[] = "PorlinexService.service";
// The one failure action: restart after 1000 ms, for ever.
constexpr char kFailureActions[] = "restart/1000";

constexpr uint32_t kPollMs = 50;
constexpr uint32_t kStartWaitMs = 60000;
// A started service writes its state once it has the start-up lock, which
// another starting process may hold for up to its 20 s; one that has written
// nothing some seconds after that never started.
constexpr uint32_t kFirstStateMs = LStartupLockWaitMs + 5000;
constexpr uint32_t kStopWaitMs = 30000;

struct Record {
    bool exists = false;
    std::string image_path;  // "\"<program>\" -service"
    int start = LServiceStartDisabled;
    std::string account;  // empty: the system account
};

std::u16string W(const std::string& s) { return LWideFromUTF8(s.c_str()).text; }
std::string A(const std::u16string& s) { return LToUtf8(s.c_str()); }

std::string Text(const LSettingsHive& h, const char16_t* name) {
    const LHiveValue* v = h.FindValue(kRecordKey, name);
    return v && !v->binary ? A(v->text) : std::string();
}

Record ReadRecord() {
    Record r;
    LSettingsHive h;
    if (!LHiveLoad(LRegHive::LocalMachine, h) || !h.FindValue(kRecordKey, u"ImagePath")) return r;
    r.exists = true;
    r.image_path = Text(h, u"ImagePath");
    std::string start = Text(h, u"Start");
    r.start = start.empty() ? LServiceStartDisabled : std::atoi(start.c_str());
    if (r.start < 0 || r.start > 4) r.start = LServiceStartDisabled;
    r.account = Text(h, u"ObjectName");
    return r;
}

bool WriteRecord(const Record& r) {
    return LHiveUpdate(LRegHive::LocalMachine, [&](LSettingsHive& h) {
        h.SetText(kRecordKey, u"DisplayName", W(LServiceDisplayName));
        h.SetText(kRecordKey, u"Description", W(LServiceDescription));
        h.SetText(kRecordKey, u"ImagePath", W(r.image_path));
        h.SetText(kRecordKey, u"Type", u"16");
        h.SetText(kRecordKey, u"Start", W(std::to_string(r.start)));
        h.SetText(kRecordKey, u"ErrorControl", u"0");
        h.SetText(kRecordKey, u"FailureActions", W(kFailureActions));
        if (r.account.empty())
            h.DeleteValue(kRecordKey, u"ObjectName");
        else
            h.SetText(kRecordKey, u"ObjectName", W(r.account));
        return true;
    });
}

bool DeleteRecord() {
    return LHiveUpdate(LRegHive::LocalMachine, [](LSettingsHive& h) {
        for (auto it = h.sections.begin(); it != h.sections.end(); ++it) {
            if (LHiveNamesEqual(it->path, kRecordKey)) {
                h.sections.erase(it);
                return true;
            }
        }
        return false;
    });
}

// The program of a command line "\"<program>\" -service".
std::string ProgramOf(const std::string& image_path) {
    if (image_path.size() > 1 && image_path[0] == '"') {
        size_t end = image_path.find('"', 1);
        if (end != std::string::npos) return image_path.substr(1, end - 1);
    }
    return image_path.substr(0, image_path.find(' '));
}

// The local user an account names: ".\bob" is bob; any other account (a
// domain account that the name service knows, say) is taken whole.
std::string LogonName(const std::string& account) {
    size_t sep = account.find_last_of("\\/");
    if (sep != std::string::npos && account.compare(0, sep, ".") == 0) return account.substr(sep + 1, 259);
    return account;
}

std::string SystemdFolder() { return LPlatformRoot() + "/etc/systemd/system"; }
std::string WantsLink() { return SystemdFolder() + "/multi-user.target.wants/" + kUnitName; }

void ReloadSystemd() {
    if (LServiceSystemdRuns()) LServiceRunTool({"systemctl", "daemon-reload"});
}

// Writes the unit and its boot link from the record.
bool WriteUnit(const Record& r) {
    if (!LPlatformCreateFolderTree(SystemdFolder() + "/multi-user.target.wants", 0755)) return false;
    LServiceUnitSettings unit;
    unit.program = ProgramOf(r.image_path);
    if (!r.account.empty()) {
        unit.user = LogonName(r.account);
        unit.home = LServiceUserHome(unit.user);
    }
    if (LServiceGroupExists(LServiceAllowedGroupName)) unit.group = LServiceAllowedGroupName;
    if (!LServiceReplaceFile(LServiceUnitPath(), LServiceUnitText(unit), 0644)) return false;
    if (!LServiceSetLink(WantsLink(), std::string("../") + kUnitName, r.start == LServiceStartAuto)) return false;
    ReloadSystemd();
    return true;
}

void RecordStartType(int start) {
    LRegSettingsSet(u"Service", u"Enabled", start == LServiceStartAuto ? u"1" : u"0");
    LRegSettingsSet(u"Service", u"StartType", W(std::to_string(start)).c_str());
    LRegSettingsSet(u"Service", u"StartTypeText", W(LServiceStartTypeText(start)).c_str());
}

bool WaitForState(uint32_t ms, bool (*done)(const LServiceStateRecord&)) {
    for (uint32_t waited = 0;; waited += kPollMs) {
        if (done(LServiceStateQuery())) return true;
        if (waited >= ms) return false;
        LPlatformSleepMs(kPollMs);
    }
}

bool IsUp(LServiceState s) { return s == LServiceState::Running || s == LServiceState::StartPending; }

// Waits for a start to settle: true when the service runs.
bool WaitUntilRunning() {
    for (uint32_t waited = 0;; waited += kPollMs) {
        LServiceState s = LServiceStateQuery().state;
        if (s == LServiceState::Running) return true;
        if (s == LServiceState::Stopped || waited >= kStartWaitMs) return false;
        if (s == LServiceState::Unknown && waited >= kFirstStateMs) return false;
        LPlatformSleepMs(kPollMs);
    }
}

bool StopSettled(const LServiceStateRecord& r) { return !IsUp(r.state) && r.state != LServiceState::StopPending; }

}  // namespace

std::string LServiceUnitPath() { return SystemdFolder() + "/" + kUnitName; }

const char* LServiceStartTypeText(int start_type) {
    switch (start_type) {
    case 0:
        return "Boot Start";
    case 1:
        return "System Start";
    case 2:
        return "Auto Start";
    case 3:
        return "Demand Start";
    default:
        return "Disabled";
    }
}

bool LServiceIsInstalled() { return ReadRecord().exists; }

bool LServiceInstall(const std::string& program_path) {
    Record r = ReadRecord();
    // Installing again keeps the start type and the account.
    if (!r.exists) r.start = LServiceStartAuto;
    r.exists = true;
    r.image_path = "\"" + program_path + "\" -service";
    if (!WriteRecord(r) || !WriteUnit(r)) {
        LLogErrorF("Cannot install the service %s.", kUnitName);
        return false;
    }
    RecordStartType(ReadRecord().start);
    return true;
}

bool LServiceRemove() {
    DeleteRecord();
    bool ok = true;
    for (const std::string& path : {WantsLink(), LServiceUnitPath()}) ok = LServiceRemoveFile(path) && ok;
    ReloadSystemd();
    LRegSettingsDelete(u"Service", u"Account");
    return ok;
}

bool LServiceSetStartType(bool automatic) {
    Record r = ReadRecord();
    if (!r.exists) return false;
    r.start = automatic ? LServiceStartAuto : LServiceStartDemand;
    bool ok = WriteRecord(r) && WriteUnit(r);
    RecordStartType(ReadRecord().start);
    return ok;
}

long LGrantServiceLogonRight(const std::string& account) {
    // Any local user may run a service; the right only needs the user to
    // exist.
    return LServiceUserExists(LogonName(account)) ? 0 : ENOENT;
}

bool LServiceSetAccount(const std::string& user, const std::string& /*password*/) {
    std::string account = user.find('\\') != std::string::npos ? user : ".\\" + user;
    Record r = ReadRecord();
    if (!r.exists) return true;
    if (LGrantServiceLogonRight(account) != 0) {
        LLogErrorF("Cannot run the service as %s: there is no such user on this machine.", user.c_str());
        return false;
    }
    r.account = account;
    if (!WriteRecord(r) || !WriteUnit(r)) {
        LLogErrorF("Cannot run the service as %s: the service record or %s could not be written: %s.", user.c_str(),
                   LServiceUnitPath().c_str(), std::strerror(errno));
        return false;
    }
    LRegSettingsSet(u"Service", u"Account", W(account).c_str());
    return true;
}

bool LServiceStart() {
    // The service takes the start-up lock for its own start.
    LProcessStartupLock().Release();
    Record r = ReadRecord();
    if (!r.exists) {
        LLogErrorF("Cannot start the service: it is not installed (no service record in %s).",
                   LPlatformKnownFolder(LKnownFolder::MachineHive).c_str());
        return false;
    }
    if (!r.account.empty() && !LServiceUserExists(LogonName(r.account))) {
        LLog("Cannot start service because its logon details are wrong.", LLogError);
        return false;
    }
    if (LServiceSystemdRuns()) {
        if (int code = LServiceRunTool({"systemctl", "start", kUnitName}); code != 0) {
            LLogErrorF("Cannot start the service: systemctl start %s ended with %d (systemctl status %s tells why).",
                       kUnitName, code, kUnitName);
            return false;
        }
    } else {
        if (IsUp(LServiceStateQuery().state)) return true;
        std::string program = ProgramOf(r.image_path);
        if (!LServiceProgramRunnable(program)) {
            LLogErrorF("Cannot start the service: %s cannot be run: %s.", program.c_str(), std::strerror(errno));
            return false;
        }
        // A stale record must not be mistaken for the new process's.
        LServiceRemoveFile(LServiceStatePath());
        if (!LServiceSpawnDetached(program, {"-service", "-manual"})) {
            LLogErrorF("Cannot start the service: setsid could not start %s.", program.c_str());
            return false;
        }
    }
    if (WaitUntilRunning()) return true;
    LLogErrorF("The service did not start: it stopped or never reported running (its log is in %s).",
               LDataSubfolderPath("Logs").c_str());
    return false;
}

bool LServiceStop() {
    if (!LServiceIsInstalled()) return false;
    if (LServiceSystemdRuns()) return LServiceRunTool({"systemctl", "stop", kUnitName}) == 0;
    LServiceStateRecord s = LServiceStateQuery();
    if (s.state == LServiceState::StartPending) {
        WaitForState(kStopWaitMs, [](const LServiceStateRecord& r) { return r.state != LServiceState::StartPending; });
        s = LServiceStateQuery();
    }
    if (!IsUp(s.state) && s.state != LServiceState::StopPending) return true;
    if (!LServiceSignalStop(s.pid)) return false;
    // Given up after the limit without saying so: the caller goes on as if
    // it had stopped.
    WaitForState(kStopWaitMs, StopSettled);
    return true;
}
