#pragma once
// The SMTP sender: one message per call over one connection, through a
// configured server (submission port 587, implicit TLS on 465, a fall-back
// to 25) or directly to each recipient's mail exchanger. Every operation runs
// on the caller's thread, reports through its progress object and writes the
// result through its first argument: 0 sent, 1 stop requested, 2 failed.
#include <cstdint>

#include "foundation/task_progress.h"
#include "net/net_socket.h"
#include "net/smtp/smtp_message.h"

class LCryptoSocket;

LNetOpResult LSmtpSendEmail(LNetOpResult& result, LTaskProgress& progress, LSmtpMessage& message);
// A dialogue up to RCPT TO with a fixed test recipient, then QUIT.
LNetOpResult LSmtpTestSettings(LNetOpResult& result, LTaskProgress& progress, const LSmtpSettings& settings);
// Fills an LSmtpMessage from the e-mail and the settings section "Email".
LNetOpResult LSendEmailUsingEmailSettings(LNetOpResult& result, LTaskProgress& progress, const LSettingsEmail& email);
// The first-run defaults of the section "Email", once.
void LEmailSetDefaultSmtpSettings();

// The recipient of the settings test: a reserved example domain, so that a
// server that takes it anyway delivers nothing to anybody (no DATA follows).
constexpr const char* LSmtpTestRecipient = "postmaster@example.com";
// The settings section of the system's own mail.
constexpr const char16_t* LEmailSettingsSection = u"Email";

// Test hook: direct delivery connects to this port instead of 25 (0 restores
// 25), so that a test's exchanger can listen unprivileged.
void LSmtpSetDirectDeliveryPortForTests(uint16_t port);
// Test hook: a host on this port gets implicit TLS as if it were 465 (0
// restores 465 alone).
void LSmtpSetImplicitTlsPortForTests(uint16_t port);
