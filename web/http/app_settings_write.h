#pragma once
// Writing whole APPSETTINGS sections from the browser (the body of the
// lappsettings-write route, called after its session and host checks).
class Weblet;
class LJsonValue;

// {"section":"...","items":[{"ITEM":"...","VALUE":...},...]}: every item is
// written in one statement with the same time stamp. True when it answered 200.
bool LDbAppSettingsWrite(Weblet& request, const LJsonValue& body);
