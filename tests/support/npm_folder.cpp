#include "tests/support/npm_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "tests/support/test_root.h"

namespace fs = std::filesystem;

std::string LTestNpmFolder(const std::string& name, const std::string& marker) {
    const std::string source = std::string(PORLINEX_TEST_SOURCE_DIR) + "/tests/" + name;
    const std::string folder = std::string(PORLINEX_TEST_BINARY_DIR) + "/" + name;
    fs::create_directories(folder);
    int lock = open((folder + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0 || flock(lock, LOCK_EX) != 0) {
        if (lock >= 0) close(lock);
        return "";
    }
    std::string lockfile = LTestReadFile(source + "/package-lock.json");
    std::string stamp = std::to_string(std::hash<std::string>{}(lockfile));
    bool ok = true;
    if (LTestReadFile(folder + "/.installed") != stamp ||
        !fs::exists(folder + "/node_modules/" + marker + "/package.json")) {
        fs::copy_file(source + "/package.json", folder + "/package.json", fs::copy_options::overwrite_existing);
        fs::copy_file(source + "/package-lock.json", folder + "/package-lock.json", fs::copy_options::overwrite_existing);
        LTestProcess npm(
            {"npm", "ci", "--prefix", folder, "--ignore-scripts", "--no-audit", "--no-fund", "--loglevel=error"});
        ok = npm.Wait(600000) == 0;
        if (ok) {
            std::ofstream(folder + "/.installed") << stamp;
        } else {
            fs::remove(folder + "/.installed");
        }
    }
    for (const auto& e : fs::directory_iterator(source))
        if (e.path().extension() == ".mjs")
            fs::copy_file(e.path(), folder + "/" + e.path().filename().string(), fs::copy_options::overwrite_existing);
    flock(lock, LOCK_UN);
    close(lock);
    return ok ? folder : "";
}
