#include "foundation/child_process.h"
#include "foundation/files_path.h"
#include "foundation/reg_settings.h"
#include "foundation/utf8.h"
#include "foundation/wait.h"
#include "platform/file.h"

namespace {

bool Exists(const std::string& path, bool* folder = nullptr) {
    LPlatformFileInfo info;
    if (!LPlatformGetFileInfo(path.c_str(), &info, true) || !info.exists) return false;
    if (folder) *folder = info.is_folder;
    return true;
}

}  // namespace

std::string L7ZipProgramPath() {
    char16_t recorded[260];
    if (LGetComponentPath(u"7zip", recorded)) {
        std::string path = LToUtf8(recorded);
        bool folder = false;
        // The component may be recorded as its folder or as the program.
        if (Exists(path, &folder) && !folder) return path;
        if (folder && Exists(path + "/7z")) return path + "/7z";
    }
    return LPlatformFindOnPath("7z");
}

LArgv LBuild7ZipArgv(const std::string& program, const LArgv& arguments) {
    LArgv argv{program};
    const bool adds = !arguments.empty() && (arguments[0].rfind('a', 0) == 0 || arguments[0].rfind('d', 0) == 0);
    if (!adds) argv.push_back("-p");
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
}

void LRun7Zip(uint32_t* result, LTaskProgress* progress, const LArgv& arguments, const char16_t* output_file,
              const std::string& folder) {
    std::string program = L7ZipProgramPath();
    if (program.empty()) {
        *result = progress->IsStopRequested() ? 1 : 2;
        return;
    }
    int exit_code = -1;
    LRunHidden(result, progress, LBuild7ZipArgv(program, arguments), 3600000, folder, output_file, &exit_code);
    // A warning (exit code 1) means files were left out: the archive is not
    // a whole copy, and the backup must not treat it as one.
    if (*result == 0 && exit_code != 0) *result = 2;
}

void LZipFiles(uint32_t* result, LTaskProgress* progress, const char16_t* archive,
               const std::vector<std::u16string>& files, const char16_t* base_folder, int level) {
    std::string base = base_folder ? LToUtf8(base_folder) : std::string();
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    LArgv args{"a", "-y", "-tzip"};
    if (level <= 9) args.push_back("-mx" + std::to_string(level));
    args.push_back("-mmt=off");
    std::string archive_path = LToUtf8(archive);
    args.push_back(archive_path);
    for (const auto& f : files) {
        char16_t relative[260];
        bool rel = base_folder && base_folder[0] && LMakeRelativePath(relative, base_folder, f.c_str());
        args.push_back(LToUtf8(rel ? relative : f.c_str()));
    }
    // 7-Zip runs in the base folder (our own working folder stays as it is,
    // so zips of two threads do not disturb each other).
    LRun7Zip(result, progress, args, nullptr, base);
    if (*result == 0) {
        std::string where = archive_path[0] == '/' || base.empty() ? archive_path : base + "/" + archive_path;
        if (!Exists(where)) *result = 2;
    }
}

bool LZipPathWith7Zip(const char16_t* archive, const char16_t* source, const char16_t* base_folder,
                      uint32_t* status, LTaskProgress* progress) {
    LPlainWait plain;
    if (!progress) progress = &plain;
    bool folder = false;
    std::u16string what = source;
    if (Exists(LToUtf8(source), &folder) && folder) what += u"/*";
    uint32_t result = 2;
    LZipFiles(&result, progress, archive, {what}, base_folder, 7);
    *status = result == 0 ? 0 : 3;
    return result == 0;
}
