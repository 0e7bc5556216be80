#pragma once
// Starting other programs: hidden programs waited for through a progress
// context, programs whose output goes to a file, a child with pipes on its
// standard streams, and 7-Zip for the backup's zip archives. Every program
// gets an argument vector (UTF-8, argv[0] the program); no shell ever sees
// text built from data.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/task_progress.h"
#include "platform/spawn.h"

using LArgv = std::vector<std::string>;

// A child whose standard input and output are pipes to this process; its
// standard error is ours.
class LChildProcess {
public:
    LChildProcess() = default;
    ~LChildProcess() { Close(); }
    LChildProcess(const LChildProcess&) = delete;
    LChildProcess& operator=(const LChildProcess&) = delete;

    bool Start(const LArgv& argv, uint32_t input_pipe_size);
    // One read from the child's output: the bytes read, 0 at its end.
    uint32_t Read(void* buffer, uint32_t n);
    bool Write(const void* bytes, size_t n);
    // Closes both pipes, gives the child up to 5000 ms to end, then kills it.
    void Close();

    LPlatformProcess process;
    int input = -1;   // write end of the child's standard input
    int output = -1;  // read end of the child's standard output
    // Set while a read blocks, so another thread can tell.
    std::atomic<uint32_t> readInProgress{0};
};

// Starts a program and leaves it running: 32 when it started, else 0. (There
// is no "idle for input" on this platform; a started program counts.)
uint32_t LRunProgram(const LArgv& argv, int show);

// Starts a hidden program (no terminal, standard streams on /dev/null):
// result 2 when it cannot start; with limit 0, 0 at once; otherwise the
// wait's result: 0 ended, 1 stop requested, 2 time-out. The program is not
// ended on a stop or a time-out; it runs on by itself.
void LRunProcessHiddenWaitEx(uint32_t* result, LTaskProgress* progress, const LArgv& argv, uint32_t limit_ms);
// The same with 60000 ms; when the result is 0 the exit code is set.
void LRunProcessHiddenWait(uint32_t* result, LTaskProgress* progress, const LArgv& argv, int* exit_code);

struct LRunProgramRequest {
    LArgv argv;
    bool wait = false;
};
// Waits up to 7200000 ms when the request asks to, else starts and returns.
void LRunProgramAndWait(uint32_t* result, LTaskProgress* progress, const LRunProgramRequest& request);

// Runs a hidden program with its standard output and error going to the
// file (replaced), for up to 3600000 ms.
void LRunCommandToFile(uint32_t* result, LTaskProgress* progress, const LArgv& argv, const char16_t* output_file);

// The general form behind the above: the program's working folder (empty:
// ours), its output file (null: /dev/null) and, when the result is 0, its
// exit code.
void LRunHidden(uint32_t* result, LTaskProgress* progress, const LArgv& argv, uint32_t limit_ms,
                const std::string& folder, const char16_t* output_file, int* exit_code);

// 7-Zip.
// The program of the on-demand component "7zip", else `7z` on PATH; empty
// when neither exists.
std::string L7ZipProgramPath();
// The argument vector: the program, then "-p" (an empty password, so that
// 7-Zip never stops to ask for one) unless the arguments begin with "a"
// (add) or "d" (delete), then the arguments.
LArgv LBuild7ZipArgv(const std::string& program, const LArgv& arguments);
// Runs 7-Zip in the folder (empty: ours): result 0 only when it ended with
// exit code 0; 2 when it is missing (1 when the progress asks to stop), or
// failed; 1 on a stop request.
void LRun7Zip(uint32_t* result, LTaskProgress* progress, const LArgv& arguments, const char16_t* output_file,
              const std::string& folder = std::string());
// Zips the files into the archive ("a -y -tzip -mx<level> -mmt=off"; no
// level switch above 9). With a base folder the files are named relative
// to it and 7-Zip runs there, so the archive's entries are relative paths.
// Result 2 when 7-Zip ended well but left no archive.
void LZipFiles(uint32_t* result, LTaskProgress* progress, const char16_t* archive,
               const std::vector<std::u16string>& files, const char16_t* base_folder, int level);
// Zips a folder's contents (source/*) or a single file at level 7, waiting
// through the progress context or, without one, a plain wait. True (status
// 0) when the archive was made; else false and status 3.
bool LZipPathWith7Zip(const char16_t* archive, const char16_t* source, const char16_t* base_folder,
                      uint32_t* status, LTaskProgress* progress);
