#include "foundation/child_process.h"

#include "foundation/utf8.h"
#include "foundation/wait.h"

bool LChildProcess::Start(const LArgv& argv, uint32_t input_pipe_size) {
    Close();
    int in[2], out[2];
    if (!LPlatformMakePipe(in)) return false;
    if (!LPlatformMakePipe(out)) {
        LPlatformCloseFd(in[0]);
        LPlatformCloseFd(in[1]);
        return false;
    }
    LPlatformSetPipeSize(in[1], input_pipe_size);
    LPlatformSetPipeSize(out[0], 32768);
    LPlatformSpawnOptions o;
    o.stdinFd = in[0];
    o.stdoutFd = out[1];
    o.stderrFd = LSpawnInherit;
    bool started = process.Start(argv, o);
    // The child's ends belong to the child alone: with them closed here its
    // exit is seen as the end of its output.
    LPlatformCloseFd(in[0]);
    LPlatformCloseFd(out[1]);
    if (!started) {
        LPlatformCloseFd(in[1]);
        LPlatformCloseFd(out[0]);
        return false;
    }
    input = in[1];
    output = out[0];
    return true;
}

uint32_t LChildProcess::Read(void* buffer, uint32_t n) {
    readInProgress.exchange(1);
    size_t got = output >= 0 ? LPlatformReadSome(output, buffer, n) : 0;
    readInProgress.exchange(0);
    return static_cast<uint32_t>(got);
}

bool LChildProcess::Write(const void* bytes, size_t n) { return input >= 0 && LPlatformWriteAll(input, bytes, n); }

void LChildProcess::Close() {
    LPlatformCloseFd(input);
    LPlatformCloseFd(output);
    if (!process.IsStarted()) return;
    // A child that stays after its pipes are gone would never be reaped.
    if (!process.Wait(5000)) {
        process.Kill();
        process.Wait(5000);
    }
    process.Detach();
}

uint32_t LRunProgram(const LArgv& argv, int /*show*/) {
    LPlatformProcess p;
    LPlatformSpawnOptions o;
    o.newSession = true;
    if (!p.Start(argv, o)) return 0;
    p.Detach();
    return 32;
}

void LRunHidden(uint32_t* result, LTaskProgress* progress, const LArgv& argv, uint32_t limit_ms,
                const std::string& folder, const char16_t* output_file, int* exit_code) {
    LPlatformSpawnOptions o;
    o.folder = folder;
    o.newSession = true;
    int out = -1;
    if (output_file) {
        out = LPlatformOpenOutputFile(LToUtf8(output_file));
        if (out < 0) {
            *result = 2;
            return;
        }
        o.stdoutFd = o.stderrFd = out;
    }
    LPlatformProcess p;
    bool started = p.Start(argv, o);
    LPlatformCloseFd(out);
    if (!started) {
        *result = 2;
        return;
    }
    if (limit_ms == 0) {
        *result = 0;
        return;
    }
    *result = p.Handle() >= 0 ? progress->WaitHandle(p.Handle(), limit_ms) : (p.Wait(limit_ms) ? 0 : 2);
    if (*result == 0 && exit_code) {
        p.Wait(LInfinite);
        *exit_code = p.ExitCode();
    }
}

void LRunProcessHiddenWaitEx(uint32_t* result, LTaskProgress* progress, const LArgv& argv, uint32_t limit_ms) {
    LRunHidden(result, progress, argv, limit_ms, std::string(), nullptr, nullptr);
}

void LRunProcessHiddenWait(uint32_t* result, LTaskProgress* progress, const LArgv& argv, int* exit_code) {
    LRunHidden(result, progress, argv, 60000, std::string(), nullptr, exit_code);
}

void LRunProgramAndWait(uint32_t* result, LTaskProgress* progress, const LRunProgramRequest& request) {
    LRunProcessHiddenWaitEx(result, progress, request.argv, request.wait ? 7200000 : 0);
}

void LRunCommandToFile(uint32_t* result, LTaskProgress* progress, const LArgv& argv, const char16_t* output_file) {
    LRunHidden(result, progress, argv, 3600000, std::string(), output_file, nullptr);
}
