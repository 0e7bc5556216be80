#include "tests/support/throttle_relay.h"

#include <signal.h>

#include <filesystem>
#include <nlohmann/json.hpp>

LTestThrottleRelay::LTestThrottleRelay(const std::string& folder, const LTestThrottleOptions& o) {
    std::filesystem::create_directories(folder);
    port_ = LTestFreePort();
    status_ = folder + "/status.json";
    std::string ready = folder + "/ready";
    process_ = std::make_unique<LTestProcess>(std::vector<std::string>{
        "/usr/bin/python3", std::string(PORLINEX_TEST_SOURCE_DIR) + "/tests/support/throttle_relay.py", "--port",
        std::to_string(port_), "--target-port", std::to_string(o.targetPort), "--ready", ready, "--status", status_,
        "--burst", std::to_string(o.burstBytes), "--rate", std::to_string(o.bytesPerSecond)});
    ready_ = LTestWaitFor(20000, [&] { return std::filesystem::exists(ready) || !process_->Running(); }) &&
             process_->Running();
}

LTestThrottleRelay::~LTestThrottleRelay() {
    if (process_ && process_->Running() && process_->Signal(SIGTERM, 5000) == -1) process_->Signal(SIGKILL, 5000);
}

int64_t LTestThrottleRelay::Total(const char* name) const {
    nlohmann::json status = nlohmann::json::parse(LTestReadFile(status_), nullptr, false);
    return status.is_object() && status[name].is_number_integer() ? status[name].get<int64_t>() : -1;
}

int64_t LTestThrottleRelay::Delivered() const { return Total("delivered"); }
int64_t LTestThrottleRelay::Held() const { return Total("held"); }
