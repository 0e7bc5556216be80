#include "web/http/listener.h"

#include "foundation/data_folder.h"

LTCPListener::LTCPListener() { LGetDataSubfolder(u"Web", web_folder); }

bool LTCPListener::Start(int) {
    running_ = true;
    return true;
}

void LTCPListener::Stop() { running_ = false; }
