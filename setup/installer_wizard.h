#pragma once
// The interactive installer: the licence page, whose acceptance starts the
// install worker, and the installing page that waits for it and finishes.
#include <string>

class LInstallWorker;

// Runs the pages; the run-once entry names setup_program while they are up.
// 0 when the worker installed; otherwise the worker's failed status, or 2
// when the wizard ended without installing.
int LRunInstallerWizard(LInstallWorker& worker, const std::string& setup_program);
