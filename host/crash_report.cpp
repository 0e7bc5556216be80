#include "host/crash_report.h"

#include <sys/stat.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>

#include "foundation/data_folder.h"
#include "foundation/exe_task.h"
#include "foundation/format.h"
#include "foundation/installation_id.h"
#include "foundation/log.h"
#include "foundation/lstring.h"
#include "foundation/reg_settings.h"
#include "foundation/system_version.h"
#include "foundation/wait.h"
#include "host/call_stack.h"
#include "host/crash_dump.h"
#include "host/crash_handler.h"
#include "host/crash_id.h"
#include "host/crash_watch.h"
#include "host/entry_points.h"
#include "host/error_email.h"
#include "host/setup_link.h"
#include "net/http/http_client.h"
#include "platform/root.h"
#include "platform/secure_random.h"
#include "platform/shell_open.h"
#include "platform/thread.h"
#include "toolkit/message_box.h"
#include "toolkit/progress_dialog.h"
#include "toolkit/window_layer.h"

namespace {

constexpr const char16_t* kCrashQuestion =
    u"Porlinex has crashed because of an abnormal exception.\r\n\r\nHelp us fix this problem by clicking 'Report Bug' "
    u"below, then sharing the details with our developers.\r\n\r\nThank you for your help!";
constexpr const char16_t* kCrashTitle = u"Abnormal Execution Problem";

std::string MachineValue(const char16_t* section, const char16_t* name) {
    char16_t out[260] = {0};
    LRegSettingsGet(section, name, u"", out);
    return LToUtf8(out);
}

std::string Encoded(const std::string& text) {
    LStringA out;
    LAppendUrlEncodedA(out, text.c_str());
    return out.c_str();
}

std::string CpuName() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("model name", 0) != 0) continue;
        size_t colon = line.find(':');
        std::string v = colon == std::string::npos ? "" : line.substr(colon + 1);
        size_t a = v.find_first_not_of(" \t"), b = v.find_last_not_of(" \t");
        return a == std::string::npos ? "" : v.substr(a, b - a + 1).substr(0, 259);
    }
    return "";
}

// The dumps go to the maker's web host, on its own plain-HTTP port unless
// the host names one.
std::string DumpUploadHost() {
    std::string host = LSetupLinkMakerWebHost();
    size_t colon = host.rfind(':'), bracket = host.rfind(']');
    bool has_port = colon != std::string::npos && (bracket == std::string::npos || colon > bracket);
    return has_port ? host : host + ":8081";
}

// What leaves the machine is the text report beside the dump: the dump holds
// process memory, and with it mail and passwords.
// The user who agreed to the report sees the upload under a progress
// window; without a window layer it runs unseen.
void UploadDump(const std::string& dump_path, const std::string& upload_name, LHwnd parent) {
    std::string path = dump_path + ".txt";
    LProgressDialog window(u"Uploading Crash Dump File");
    LPlainWait plain;
    bool shown = window.Show(parent);
    LTaskProgress& wait = shown ? *window.Progress() : plain;
    LNetOpResult result;
    int status = 0;
    wait.SetStatusText(u"Uploading crash dump file", 0);
    LHttpUploadCrashDumpTo(result, wait, DumpUploadHost().c_str(), LFromUtf8(path).c_str(),
                           LFromUtf8(upload_name).c_str(), status);
    if (shown) window.Close(parent);
}

bool FileSize(const std::string& path, off_t& size) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    size = st.st_size;
    return true;
}

// Answers of the service's crash record: the identifier joined from the
// record's pieces and the module that the reporter found.
class LDebugCrashReportTask : public LExeTask {
public:
    LDebugCrashReportTask() : LExeTask(u"DebugCrashReport") {}
    void Run(uint32_t* result, LExeTaskChannel& ch) override {
        LCrashRecord record;
        if (!ch.Read(&record, sizeof record) || record.magic != LCrashRecordMagic) {
            *result = 2;
            ch.SendResult(2, nullptr, 0);
            return;
        }
        record.reason[sizeof record.reason - 1] = 0;
        record.thread_state[sizeof record.thread_state - 1] = 0;
        LDebugCrashReportRun(record);
        *result = 0;
        ch.SendResult(0, nullptr, 0);
    }
} g_crash_report_task;

class LDebugSaveDumpFileTask : public LExeTask {
public:
    LDebugSaveDumpFileTask() : LExeTask(u"DebugSaveDumpFile") {}
    void Run(uint32_t* result, LExeTaskChannel& ch) override {
        LCrashDumpRequest request;
        if (!ch.Read(&request, sizeof request)) {
            *result = 2;
            ch.SendResult(2, &request, sizeof request);
            return;
        }
        request.path[sizeof request.path - 1] = 0;
        std::string path = request.path;
        LCrashDumpResult r = LCrashWriteDump(request.pid, request.tid, nullptr, path, path + ".txt");
        if (!r.written) LRegSettingsSet(u"Errors", u"DmpErr", LFromUtf8(std::to_string(r.error)).c_str());
        *result = 0;
        ch.SendResult(0, &request, sizeof request);
    }
} g_save_dump_task;

}  // namespace

std::string LCrashDumpPath(bool service) {
    if (service) return LDataSubfolderPath("Crash") + "/Porlinex.dmp";
    char16_t folder[260];
    LGetUserAppDataFolder(folder);
    LPlatformCreateFolderTree(LToUtf8(folder), 0700);
    return LToUtf8(folder) + "/Porlinex.dmp";
}

std::string LCrashReportPath(bool service) { return LCrashDumpPath(service) + ".txt"; }


std::string LCrashUploadName(bool empty) {
    time_t now = time(nullptr);
    struct tm t;
    gmtime_r(&now, &t);
    uint32_t r = 0;
    LPlatformRandomBytes(&r, sizeof r);
    char name[96];
    std::snprintf(name, sizeof name, "%s%.4d-%.2d-%.2d-%.2d-%.2d-%.2d-%04u.dmp", empty ? "zero-" : "", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, r % 10000u);
    return name;
}

std::string LCrashReportPageUrl(const std::string& query) {
    return "https://" + LSetupLinkMakerWebHost() + "/software/bug.html?" + query;
}

// The record is a query of its own: encoded, its fields stay inside "rdf".
std::string LGetSystemInfoQueryA() {
    struct sysinfo si {};
    sysinfo(&si);
    uint64_t unit = si.mem_unit ? si.mem_unit : 1;
    auto mb = [&](uint64_t v) { return static_cast<long long>(v * unit >> 20); };
    std::string vm = LIsVirtualMachineByCpuid() ? "virtualmachine" : LIsVirtualMachineByBios() ? "sandbox" : "none";
    char buf[8193];
    std::snprintf(buf, sizeof buf,
                  "osver=10.0 0&osbits=64&appbits=64&memphys=%lld&cpu=%s&user=%s&rdf=%s&svnr=878949&decoder=%s"
                  "&encoder=%s&svar=%s&vm=%s&pgsize=%lld&pgused=%lld",
                  mb(si.totalram), Encoded(CpuName()).c_str(), geteuid() == 0 ? "admin" : "std",
                  Encoded(LDebugGetCallStackQuery()).c_str(), Encoded(MachineValue(u"Software", u"RunningDecoder")).c_str(),
                  Encoded(MachineValue(u"Software", u"RunningEncoder")).c_str(),
                  Encoded(MachineValue(u"Software", u"SVar")).c_str(), vm.c_str(), mb(si.totalswap),
                  mb(si.totalswap - si.freeswap));
    return buf;
}

std::string LGetCrashDataQuery(const std::string& dump_name, uint32_t available_mb, uint32_t largest_free_mb) {
    std::string q = dump_name.empty() ? "" : "dump=" + dump_name + "&";
    q += "memfrhp=" + std::to_string(available_mb) + "&memfrlg=" + std::to_string(largest_free_mb);
    return q + "&" + LGetSystemInfoQueryA();
}

void LDebugCrashReportRun(const LCrashRecord& record) {
    bool service = record.is_service != 0;
    LSetServiceFlag(service);
    std::string dump = LCrashDumpPath(service);
    LCrashDumpResult r = LCrashWriteDump(record.pid, record.tid, &record, dump, LCrashReportPath(service));
    if (!r.written) LRegSettingsSet(u"Errors", u"DmpErr", LFromUtf8(std::to_string(r.error)).c_str());
    char id[260];
    LCrashJoinId(id, record.reason, r.module.c_str(), record.thread_state);
    LRegUserSettingsSet(u"Settings", u"VersionCheckAfterCrash", u"1");
    if (service) {
        // The crashed service still holds its log file open and locked: these
        // lines go past the lock, one atomic append each.
        LLogAppendLineUnshared("Porlinex Service has unexpectedly terminated!");
        LLogAppendLineUnshared((std::string("XI: ") + id).c_str());
        LRegSettingsSet(u"Errors", u"Exception", LFromUtf8(id).c_str());
        if (LErrorEmailIsOn()) {
            LErrorEmailStart();
            LErrorEmailQueueLine((std::string("Porlinex Service has unexpectedly terminated! (") + id + ")").c_str());
            LErrorEmailWaitSent(30000);
            LErrorEmailStop();
        }
        return;
    }
    // This copy starts without windows: the question needs the display.
    // Without one nobody can agree to a report, so none is made.
    if (!LDesktopOpenDisplay()) return;
    if (!LAskYesNoCustom(LHwnd::Null, kCrashQuestion, kCrashTitle, u"Report Bug", u"No")) return;
    off_t size = 0;
    bool has_dump = r.written && FileSize(dump, size);
    std::string name = has_dump ? LCrashUploadName(size == 0) : "";
    char16_t iid[260];
    LGetInstallationId(iid);
    std::string query = "software=Porlinex&version=2.01&xi=GUI-" + Encoded(id) + "&iid=" + LToUtf8(iid) +
                        "&data=" + Encoded(LGetCrashDataQuery(name, record.available_mb, record.largest_free_mb)) +
                        "&appbits=64&rdf=" + Encoded(LDebugGetCallStackQuery());
    LPlatformShellOpen(LCrashReportPageUrl(query).c_str());
    if (has_dump) UploadDump(dump, name, LHwnd::Null);
}

bool LWriteMiniDumpOutOfProcess(const std::string& path) {
    LCrashDumpRequest request;
    request.pid = getpid();
    request.tid = LPlatformThreadId();
    std::snprintf(request.path, sizeof request.path, "%s", path.c_str());
    uint32_t result = 2;
    LPlainWait wait;
    LExeTaskRun(&result, &wait, &request, sizeof request, u"DebugSaveDumpFile", LCrashReporterProgram(), true);
    return result == 0;
}

void LCrashReportUpload(bool write_dump, const char* reason, LHwnd parent) {
    char16_t iid[260];
    LGetInstallationId(iid);
    struct sysinfo si {};
    sysinfo(&si);
    uint32_t available = static_cast<uint32_t>((uint64_t(si.freeram) + si.freeswap) * (si.mem_unit ? si.mem_unit : 1) >> 20);
    uint32_t largest = 0x7fffffff;
    // The folder is made when missing: the dump writer only writes a file.
    std::string path = LCrashDumpPath(false);
    std::string dump, why = reason ? reason : "";
    off_t size = 0;
    if (write_dump) {
        if (LWriteMiniDumpOutOfProcess(path) && FileSize(path, size)) dump = path;
    } else {
        std::string ip = path.substr(0, path.rfind('/')) + "/Porlinex_IP_878949.dmp";
        std::string err = MachineValue(u"Errors", u"DmpErr");
        if (FileSize(ip, size) && size > 0) {
            dump = ip;
            why = "InvalidParameter";
        } else if (!err.empty() && err != "0") {
            char buf[64];
            std::snprintf(buf, sizeof buf, "DmpErr(%X)", static_cast<unsigned>(std::strtoul(err.c_str(), nullptr, 10)));
            why = buf;
        } else {
            why = FileSize(ip, size) ? "DmpSize" : "DmpUnknownErr";
        }
    }
    std::string name = dump.empty() ? "" : LCrashUploadName(size == 0);
    char state[32];
    std::snprintf(state, sizeof state, "%d", static_cast<int>(LCrashGetMainState()));
    std::string query = "software=Porlinex&version=2.01&xi=" + Encoded(why) + "-Win100-MAIN(Cmd" + state +
                        ")&iid=" + LToUtf8(iid) + "&data=" + Encoded(LGetCrashDataQuery(name, available, largest)) +
                        "&appbits=64&rdf=" + Encoded(LDebugGetCallStackQuery());
    LPlatformShellOpen(LCrashReportPageUrl(query).c_str());
    if (dump.empty()) return;
    UploadDump(dump, name, parent);
    unlink(dump.c_str());
    unlink((dump + ".txt").c_str());
}

void LCheckServiceCrash(LHwnd parent) {
    std::string id = MachineValue(u"Errors", u"Exception");
    if (id.empty()) return;
    // Asked once, by a user who can clear the record.
    LRegSettingsSet(u"Errors", u"Exception", u"");
    if (!MachineValue(u"Errors", u"Exception").empty()) return;
    // The question needs a window the user sees, as it stood before.
    if (parent != LHwnd::Null) {
        LShowWindow(parent, LIsZoomed(parent) ? LSW_SHOWMAXIMIZED : LSW_RESTORE);
        LSetForegroundWindow(parent);
    }
    LDeleteScheduledTask("LikeSurvey");
    LDeleteScheduledTask("NotifyRequestFeedback");
    if (!LAskYesNoCustom(parent, kCrashQuestion, kCrashTitle, u"Report Bug", u"No")) return;
    char16_t iid[260];
    LGetInstallationId(iid);
    LPlatformShellOpen(
        LCrashReportPageUrl("software=Porlinex&version=2.01&xi=Service-" + Encoded(id) + "&iid=" + LToUtf8(iid))
            .c_str());
}
