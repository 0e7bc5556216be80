#pragma once
// Error lines of the unattended service, mailed to an administrator: lines
// are gathered for "DelayAfterError" seconds and sent as one message; the
// same number read as minutes is the silence after a message, so a burst of
// failures yields a few messages rather than hundreds. Settings: machine
// hive section "EmailErrors" (On, Email, DelayAfterError) and the SMTP
// section "Email".
#include <cstdint>
#include <string>

// Registers the queue with the log (the service process only).
void LErrorEmailStart();
// Ends it: lines offered afterwards are dropped, a message still gathering
// is not sent, a send under way is asked to stop; joins the thread.
void LErrorEmailStop();
// After queuing a crash line: waits until the message is out (or ms pass).
bool LErrorEmailWaitSent(uint32_t ms);

// Offers one error line (the log's hook).
void LErrorEmailQueueLine(const char* text);

// The gathering delay in seconds as read from the hive: negative or
// unreadable is 0, and at most a day, so that the silence (in minutes) stays
// well inside 64-bit seconds.
int64_t LErrorEmailDelaySeconds();
// "On" is on when it is not empty and does not begin with "0".
bool LErrorEmailIsOn();
// The body for the gathered lines.
std::string LErrorEmailBody(const std::string& lines);
