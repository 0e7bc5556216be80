#pragma once
// The log-on, log-off and password pages, and what they share.
#include <string>

class Weblet;

// True when the peer may try a log-on or a reset now; false (after
// counting the try and logging the block) when it is over the log-on limit.
bool LWebLogonAttemptAllowed(Weblet& request);
// Counts a failed try against the peer's address.
void LWebLogonCountFailure(Weblet& request);

// Gives the user a new random password and mails it; false when the user
// has no account file.
bool LWebResetPassword(const std::string& user);
// Queues the mail with the log-on details of a user.
void LWebSendLogonDetails(const std::string& user, const std::string& password);
