#pragma once
// Writing whole APPSETTINGS sections from the browser (the body of the
// lappsettings-write route, called after its session and host checks), and
// reading sections back (lappsettings-read).
#include <string>

class Weblet;
class LJsonValue;

// {"section":"...","items":[{"ITEM":"...","VALUE":...},...]}: every item is
// written in one statement with the same time stamp. True when it answered 200.
bool LDbAppSettingsWrite(Weblet& request, const LJsonValue& body);

// "sections":[{"name":...,"lastread":...}]. 200 when the reply was sent,
// else the status (400, 403, 500) and its reason.
int LDbAppSettingsRead(Weblet& request, const LJsonValue& body, std::string& reason);
