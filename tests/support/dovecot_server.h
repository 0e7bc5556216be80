#pragma once
// A real Dovecot for tests: started unprivileged-style from a temporary
// folder of its own (configuration, certificate, sockets, state, log, mail),
// listening on 127.0.0.1 only (imaps, and plain imap for refusal tests), and
// always stopped. Mail is put in with doveadm save; doveadm fetch and the
// rawlog of each session tell what the client did.
#include <string>
#include <utility>
#include <vector>

struct LTestDovecotOptions {
    // user name and password pairs of the passwd-file
    std::vector<std::pair<std::string, std::string>> users = {{"alice", "secret"}};
    // imap_capability when not empty (narrows what the server offers)
    std::string capability;
    // extra configuration lines
    std::string extra;
};

class LTestDovecot {
public:
    LTestDovecot() = default;
    ~LTestDovecot();
    LTestDovecot(const LTestDovecot&) = delete;
    LTestDovecot& operator=(const LTestDovecot&) = delete;

    // Writes the configuration and a test certificate, starts `dovecot -F`
    // and waits until the imaps port answers. Also points SSL_CERT_FILE at
    // the certificate (restored by Stop). False with Error() on failure.
    bool Start(const LTestDovecotOptions& options = {});
    // `doveadm stop`, then waits for the master to end; removes the folder.
    void Stop();

    int ImapsPort() const { return imaps_port_; }
    int ImapPort() const { return imap_port_; }
    // "127.0.0.1:PORT" of the imaps listener.
    std::string Server() const;
    const std::string& Folder() const { return folder_; }
    const std::string& Conf() const { return conf_; }
    const std::string& Error() const { return error_; }

    // doveadm save of one message into a mailbox (created when missing).
    bool Save(const std::string& user, const std::string& mailbox, const std::string& message);
    // doveadm with the configuration; the standard output, empty on failure.
    std::string Doveadm(const std::vector<std::string>& args);
    // Everything the client sent in this server's sessions (the rawlog's
    // .in files, in time order), and the login process's log of LOGIN.
    std::string RawInput() const;
    // The server's log file.
    std::string Log() const;

private:
    bool RunCapture(const std::vector<std::string>& argv, const std::string* input, std::string* output);

    std::string folder_, conf_, error_, old_cert_file_;
    bool had_cert_file_ = false;
    int imaps_port_ = 0, imap_port_ = 0;
    int master_pid_ = -1;
};
