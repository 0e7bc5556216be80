#pragma once
// The progress window of an on-demand component download: titled
// "Download install-on-demand", shown at once without an owner, owning
// the download it runs.
#include <memory>
#include <string>

#include "toolkit/progress_dialog.h"

// One download to run under the window: 0 done, 1 stopped, 2 failed.
class LComponentDownload {
public:
    virtual ~LComponentDownload() = default;
    virtual int Run(LTaskProgress& progress) = 0;
};

// An on-demand component (LRunOnDemandComponent) as such a download.
class LOnDemandComponentDownload : public LComponentDownload {
public:
    LOnDemandComponentDownload(std::u16string name, std::string by, std::u16string display, bool quiet);
    int Run(LTaskProgress& progress) override;

private:
    std::u16string name_;
    std::string by_;
    std::u16string display_;  // empty: the name is shown
    bool quiet_;
};

class LComponentDownloadProgress : public LProgressDialog {
public:
    // Takes the download over (the caller's pointer is left empty) and
    // shows the window.
    explicit LComponentDownloadProgress(std::unique_ptr<LComponentDownload>& download);
    // Runs the download under the window and closes it; the download's
    // result, or 2 without a window or a download.
    int Run();

private:
    std::unique_ptr<LComponentDownload> download_;
};
