#pragma once
// Every command line the IMAP client sends, before the tag is put in front
// ("A%03d %s\r\n"), and the texts it reports. One place, so that a reader
// sees the whole dialogue at once.

// Commands (%u a UID, %s a UTF-8 text, %llu a byte count).
inline constexpr const char* kImapLogin = "LOGIN %s %s";
inline constexpr const char* kImapCapability = "CAPABILITY";
inline constexpr const char* kImapList = "LIST \"\" \"*\"";
inline constexpr const char* kImapSelect = "SELECT \"%s\"";
inline constexpr const char* kImapSearchNew = "UID SEARCH UID %u:*";
inline constexpr const char* kImapSearchAll = "UID SEARCH ALL";
inline constexpr const char* kImapSearchOne = "UID SEARCH UID %u";
inline constexpr const char* kImapSearchHeader = "UID SEARCH HEADER %s \"%s\"";
inline constexpr const char* kImapSelectCondstore = "SELECT \"%s\" (CONDSTORE)";
inline constexpr const char* kImapFetch = "UID FETCH %u BODY.PEEK[]";
inline constexpr const char* kImapFetchItems = "UID FETCH %s %s";
inline constexpr const char* kImapFetchChangedSince = "UID FETCH %s %s (CHANGEDSINCE %llu)";
inline constexpr const char* kImapAppend = "APPEND \"%s\" (%s) {%llu}";
inline constexpr const char* kImapMove = "UID MOVE %u \"%s\"";
inline constexpr const char* kImapCopy = "UID COPY %u \"%s\"";
inline constexpr const char* kImapStoreDeleted = "UID STORE %u +FLAGS.SILENT (\\Deleted)";
inline constexpr const char* kImapStoreUndeleted = "UID STORE %s -FLAGS.SILENT (\\Deleted)";
inline constexpr const char* kImapSearchDeleted = "UID SEARCH DELETED";
inline constexpr const char* kImapExpungeOne = "UID EXPUNGE %u";
inline constexpr const char* kImapExpungeAll = "EXPUNGE";
inline constexpr const char* kImapCreate = "CREATE \"%s\"";
inline constexpr const char* kImapIdle = "IDLE";
inline constexpr const char* kImapDone = "DONE\r\n";
inline constexpr const char* kImapLogout = "LOGOUT";
inline constexpr const char* kImapSeenFlag = "\\Seen";
inline constexpr const char* kImapMessageIdHeader = "Message-ID";

// Texts reported through the caller's progress.
inline constexpr const char16_t* kImapStatusConnecting = u"Connecting to IMAP Server";
inline constexpr const char16_t* kImapStatusLogin = u"LOGIN to IMAP Server";
inline constexpr const char16_t* kImapErrConnect = u"Unable to connect to IMAP server \"%s\" on port %d.";
inline constexpr const char16_t* kImapErrTls = u"Unable to convert socket to SSL when connecting to \"%s\" on port %d.";
inline constexpr const char16_t* kImapErrGreetingRead = u"Failed immediately after connecting with IMAP server \"%s\" on port %d.";
inline constexpr const char16_t* kImapErrGreeting = u"Unexpected IMAP server greeting \"%s\" when connecting to \"%s\" on port %d.";
inline constexpr const char16_t* kImapErrLogin =
    u"IMAP Login Failed when logging into server %s:%d with user name \"%s\" \"%s %s\". Check password?";
inline constexpr const char16_t* kImapErrLoginConnection = u"Connection failed during login to IMAP server \"%s\" on port %d.";
inline constexpr const char16_t* kImapErrLoginText =
    u"IMAP user name and password must not contain line breaks or NUL characters.";
inline constexpr const char16_t* kImapErrUnexpected = u"IMAP received unexpected response \"%s\".";
inline constexpr const char16_t* kImapErrWaiting = u"IMAP connection failed while waiting for response.";
inline constexpr const char16_t* kImapErrNotOk = u"IMAP received not OK response \"%s %s\".";
inline constexpr const char16_t* kImapErrSelectNotOk = u"IMAP while waiting for select mailbox received not OK response \"%s %s\".";
inline constexpr const char16_t* kImapErrSelectSend = u"IMAP connection failed while selecting email box.";
inline constexpr const char16_t* kImapErrFetchNotOk = u"IMAP while waiting for fetch response not OK response \"%s %s\".";
inline constexpr const char16_t* kImapErrTooLarge = u"IMAP message body is too large to download.";
inline constexpr const char16_t* kImapErrNoBody = u"IMAP UID FETCH returned no message body.";
inline constexpr const char16_t* kImapErrFetchConnection = u"IMAP connection failed while waiting for response to email fetch.";
inline constexpr const char16_t* kImapErrLiteralLength = u"Invalid IMAP message body length.";
inline constexpr const char16_t* kImapErrAllocate = u"Unable to allocate memory for the IMAP message body.";
inline constexpr const char16_t* kImapErrMailboxName = u"IMAP mailbox name \"%s\" is not valid or too long.";
