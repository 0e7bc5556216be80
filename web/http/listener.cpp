#include "web/http/listener.h"

#include "foundation/data_folder.h"
#include "web/http/listener_notify.h"

LTCPListener::LTCPListener() { LGetDataSubfolder(u"Web", web_folder); }

bool LTCPListener::Start(int) {
    running_ = true;
    LListenerNotifyListening();
    return true;
}

void LTCPListener::Stop() { running_ = false; }
