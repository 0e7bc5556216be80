#pragma once
// Guessing the SMTP server and the sender address of the user's default mail
// client, read only. On Linux the default client is the handler of mailto:
// links in the user's mimeapps.list; of the clients the readers know, only
// Thunderbird exists here, and the readers of Windows clients answer false.
// docs/mail-discovery.md lists the files read.
#include <string>

// Both outputs are emptied first and hold at most 259 characters.
bool LDefaultMailAccountFind(char16_t server[260], char16_t address[260]);

bool LDefaultMailAccountWindowsMail(char16_t server[260], char16_t address[260]);
bool LDefaultMailAccountOutlookExpress(char16_t server[260], char16_t address[260]);
bool LDefaultMailAccountOutlook(char16_t server[260], char16_t address[260]);
bool LDefaultMailAccountOutlookMapi(char16_t server[260], char16_t address[260]);
bool LDefaultMailAccountEudora(char16_t server[260], char16_t address[260]);
// Reads profiles.ini and the default profile's prefs.js in a Thunderbird
// folder (the one of the handler's packaging when that has one, else
// ~/.thunderbird).
bool LDefaultMailAccountThunderbird(char16_t server[260], char16_t address[260]);
bool LDefaultMailAccountThunderbirdIn(const std::string& folder, char16_t server[260], char16_t address[260]);

// The desktop entry that handles mailto: links ("" when none is set), and
// the client name it stands for ("Mozilla Thunderbird" for Thunderbird's
// entries, else the entry itself).
std::string LDefaultMailtoHandler();
std::u16string LMailClientNameOfDesktopEntry(const std::string& desktopId);

// Home folder of the user (R/home under PORLINEX_ROOT).
std::string LDefaultMailUserHome();
