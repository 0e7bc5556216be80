#include "setup/component_progress.h"

#include "setup/on_demand_component.h"

LOnDemandComponentDownload::LOnDemandComponentDownload(std::u16string name, std::string by, std::u16string display,
                                                       bool quiet)
    : name_(std::move(name)), by_(std::move(by)), display_(std::move(display)), quiet_(quiet) {}

int LOnDemandComponentDownload::Run(LTaskProgress& progress) {
    return LRunOnDemandComponent(progress, name_.c_str(), true, by_.c_str(),
                                 display_.empty() ? nullptr : display_.c_str(), quiet_);
}

LComponentDownloadProgress::LComponentDownloadProgress(std::unique_ptr<LComponentDownload>& download)
    : LProgressDialog(u"Download install-on-demand"), download_(std::move(download)) {
    Show(LHwnd::Null);
}

int LComponentDownloadProgress::Run() {
    if (hwnd == LHwnd::Null || !download_) return 2;
    int result = download_->Run(*Progress());
    Close(LHwnd::Null);
    return result;
}
