#pragma once
// What rules and autoresponders must never act on: mail outside the
// ordinary mailboxes (Sent, Drafts, Outbox, Trash, Junk), mail this program
// queued itself (its Message-ID is in the queue), and, for anything that
// answers or sends on, mail that a machine sent (RFC 3834: Auto-Submitted,
// Precedence bulk/list/junk, List-Id, a delivery report by its null
// Return-Path, multipart/report or postmaster / mailer-daemon sender, or no
// safety row at all).
#include "foundation/database.h"

// True when the live row is in an ordinary mailbox and is not our own mail.
bool LMailServicesMayActOn(LAppDatabaseAccount& db, const char16_t* message_id);
// True when the stored headers say a person sent it.
bool LMailServicesIsPersonal(LAppDatabaseAccount& db, const char16_t* message_id);
// A bounce, a no-reply address or one of our own accounts: never answered.
bool LMailServicesSenderMayBeAnswered(LAppDatabaseAccount& db, const char16_t* address);
