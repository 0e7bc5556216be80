#include "host/crash_dump.h"

#include <elfutils/libdwfl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cxxabi.h>

#include <cerrno>
#include <cstdlib>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

constexpr size_t kMaxFrames = 256;
constexpr size_t kStackBytes = 64 * 1024;

const Dwfl_Callbacks kCallbacks = {
    dwfl_linux_proc_find_elf, dwfl_standard_find_debuginfo, nullptr, nullptr,
};

struct DwflHolder {
    Dwfl* d = dwfl_begin(&kCallbacks);
    ~DwflHolder() {
        if (d) dwfl_end(d);  // also detaches from the process
    }
};

struct Frame {
    uint64_t pc = 0;
    std::string function, file, module;
    int line = 0;
};

struct Thread {
    int tid = 0;
    std::vector<Frame> frames;
};

std::string Base(const char* path) {
    if (!path) return "";
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

Frame Describe(Dwfl* dwfl, uint64_t pc, bool activation) {
    Frame f;
    f.pc = pc;
    // A return address points after the call: look up the call itself.
    Dwarf_Addr at = activation ? pc : pc - 1;
    Dwfl_Module* mod = dwfl_addrmodule(dwfl, at);
    if (!mod) return f;
    const char* main_file = nullptr;
    const char* name = dwfl_module_info(mod, nullptr, nullptr, nullptr, nullptr, nullptr, &main_file, nullptr);
    f.module = Base(main_file ? main_file : name);
    if (const char* fn = dwfl_module_addrname(mod, at)) {
        int status = 0;
        char* plain = abi::__cxa_demangle(fn, nullptr, nullptr, &status);
        f.function = status == 0 && plain ? plain : fn;
        std::free(plain);
    }
    if (Dwfl_Line* line = dwfl_module_getsrc(mod, at)) {
        int lineno = 0;
        if (const char* src = dwfl_lineinfo(line, nullptr, &lineno, nullptr, nullptr, nullptr)) {
            f.file = src;
            f.line = lineno;
        }
    }
    return f;
}

struct WalkState {
    Dwfl* dwfl;
    Thread* thread;
};

int OnFrame(Dwfl_Frame* frame, void* arg) {
    auto* w = static_cast<WalkState*>(arg);
    Dwarf_Addr pc;
    bool activation = false;
    if (!dwfl_frame_pc(frame, &pc, &activation)) return DWARF_CB_ABORT;
    w->thread->frames.push_back(Describe(w->dwfl, pc, activation));
    return w->thread->frames.size() < kMaxFrames ? DWARF_CB_OK : DWARF_CB_ABORT;
}

int OnThread(Dwfl_Thread* thread, void* arg) {
    auto* all = static_cast<std::pair<Dwfl*, std::vector<Thread>*>*>(arg);
    Thread t;
    t.tid = dwfl_thread_tid(thread);
    WalkState w{all->first, &t};
    dwfl_thread_getframes(thread, OnFrame, &w);
    all->second->push_back(std::move(t));
    return DWARF_CB_OK;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// One line per module: the address its file addresses are moved by (so
// that "file address = address - base" for addr2line and debuggers), its
// build id (to find its debug file) and its file name.
std::string Modules(Dwfl* dwfl) {
    std::string out;
    auto each = [](Dwfl_Module* mod, void**, const char* name, Dwarf_Addr start, void* arg) -> int {
        Dwarf_Addr bias = start;
        if (!dwfl_module_getelf(mod, &bias)) bias = start;
        const unsigned char* bits = nullptr;
        GElf_Addr vaddr;
        int n = dwfl_module_build_id(mod, &bits, &vaddr);
        char line[64];
        std::snprintf(line, sizeof line, "  0x%016" PRIx64 " ", static_cast<uint64_t>(bias));
        std::string& o = *static_cast<std::string*>(arg);
        o += line;
        for (int i = 0; i < n; ++i) {
            std::snprintf(line, sizeof line, "%02x", bits[i]);
            o += line;
        }
        o += ' ' + Base(name) + '\n';
        return DWARF_CB_OK;
    };
    dwfl_getmodules(dwfl, each, &out, 0);
    return out;
}

std::string StackBytes(int pid, uint64_t sp) {
    std::string bytes(kStackBytes, '\0');
    iovec local{bytes.data(), bytes.size()};
    iovec remote{reinterpret_cast<void*>(sp), bytes.size()};
    ssize_t n = sp ? process_vm_readv(pid, &local, 1, &remote, 1, 0) : -1;
    // Near the stack's top the whole window is not mapped: take what is.
    while (n < 0 && remote.iov_len > 4096) {
        remote.iov_len /= 2;
        local.iov_len = remote.iov_len;
        n = process_vm_readv(pid, &local, 1, &remote, 1, 0);
    }
    bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return bytes;
}

bool WriteSection(int fd, uint32_t type, const void* data, uint64_t length) {
    uint32_t head[2] = {type, 0};
    return write(fd, head, sizeof head) == sizeof head && write(fd, &length, sizeof length) == sizeof length &&
           (length == 0 || write(fd, data, length) == static_cast<ssize_t>(length));
}

bool WriteFile0600(const std::string& path, const std::vector<std::pair<uint32_t, std::string>>* sections,
                   const std::string* text, int& error) {
    std::string tmp = path + ".tmp";
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = errno;
        return false;
    }
    bool ok = fchmod(fd, 0600) == 0;
    if (sections) {
        ok = ok && write(fd, "PLXDUMP1", 8) == 8;
        for (const auto& s : *sections) ok = ok && WriteSection(fd, s.first, s.second.data(), s.second.size());
    } else {
        ok = ok && write(fd, text->data(), text->size()) == static_cast<ssize_t>(text->size());
    }
    ok = fsync(fd) == 0 && ok;
    if (!ok) error = errno;
    close(fd);
    if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
        if (!error) error = errno;
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace

LCrashDumpResult LCrashWriteDump(int pid, int tid, const LCrashRecord* record, const std::string& dump_path,
                                 const std::string& report_path) {
    LCrashDumpResult result;
    DwflHolder dwfl;
    if (!dwfl.d || dwfl_linux_proc_report(dwfl.d, pid) != 0 || dwfl_report_end(dwfl.d, nullptr, nullptr) != 0) {
        result.error = errno ? errno : ESRCH;
        return result;
    }
    std::vector<Thread> threads;
    if (dwfl_linux_proc_attach(dwfl.d, pid, false) == 0) {
        std::pair<Dwfl*, std::vector<Thread>*> arg{dwfl.d, &threads};
        dwfl_getthreads(dwfl.d, OnThread, &arg);
    } else {
        result.error = EPERM;
    }
    uint64_t fault_pc = record ? record->pc : 0;
    if (fault_pc) result.module = Describe(dwfl.d, fault_pc, true).module;

    std::ostringstream report;
    if (record) {
        report << "Reason: " << (record->reason[0] ? record->reason : "(none)") << "\nSignal: " << record->signal
               << " code " << record->code << "\nFault address: 0x" << std::hex << record->fault_address
               << "\nProgram counter: 0x" << record->pc << std::dec << " (" << result.module << ")\n";
    }
    std::string frames_text;
    for (Thread& t : threads) {
        // The crashing thread shows the handler's own frames first; the
        // report starts at the fault.
        size_t first = 0;
        if (t.tid == tid && fault_pc)
            for (size_t i = 0; i < t.frames.size(); ++i)
                if (t.frames[i].pc == fault_pc) {
                    first = i;
                    break;
                }
        report << "\nThread " << t.tid << (t.tid == tid ? " (crashed)" : "") << "\n";
        for (size_t i = first; i < t.frames.size(); ++i) {
            const Frame& f = t.frames[i];
            char line[64];
            std::snprintf(line, sizeof line, "  #%zu 0x%016" PRIx64 " ", i - first, f.pc);
            report << line << (f.function.empty() ? "??" : f.function) << " (" << f.module;
            if (!f.file.empty()) report << ", " << f.file << ":" << f.line;
            report << ")\n";
            frames_text += std::to_string(t.tid) + " " + std::to_string(f.pc) + "\n";
        }
    }
    std::string modules = Modules(dwfl.d);
    report << "\nModules (base, build id, file)\n" << modules;
    result.report = report.str();

    std::vector<std::pair<uint32_t, std::string>> sections;
    if (record) sections.emplace_back(1, std::string(reinterpret_cast<const char*>(record), sizeof *record));
    sections.emplace_back(2, ReadText("/proc/" + std::to_string(pid) + "/maps"));
    sections.emplace_back(3, frames_text);
    sections.emplace_back(4, StackBytes(pid, record ? record->sp : 0));
    sections.emplace_back(5, modules);
    result.written = WriteFile0600(dump_path, &sections, nullptr, result.error);
    WriteFile0600(report_path, nullptr, &result.report, result.error);
    return result;
}
