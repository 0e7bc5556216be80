# An IMAP server over implicit TLS with scripted faults, for the sync
# engine's tests. Run with Debian's /usr/bin/python3:
#   hostile_sync_imap.py PORT CERT KEY MODE STATS
# Mailboxes INBOX (UIDs 1, 2, 3), Broken (listed, its SELECT refused) and
# Later (UID 1), small text messages; UID 2 of INBOX is the bad one:
#   refused  - its body FETCH is answered NO
#   huge     - its RFC822.SIZE is 200,000,000 (its body is never served)
#   garbage  - its body literal has no valid length ("{12x}")
#   drop     - the connection is closed when its body is asked for
#   idle-breaks - nothing is wrong with UID 2, but IDLE (offered) is refused
# Every reply to SELECT is preceded by a stray tagged line "A99999 OK":
# a client that takes it for SELECT's answer falls out of step. Each body
# FETCH is appended to STATS as "BODY <mailbox> <uid> <bytes served>", each
# LOGIN as "LOGIN - 0 0".
import socket
import ssl
import sys
import threading

port, cert, key, mode, stats = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5]
BOXES = {
    "INBOX": {1: "first", 2: "bad one", 3: "third"},
    "Later": {1: "later"},
}
VALIDITY = 7
lock = threading.Lock()


def message(box, uid):
    subject = BOXES[box][uid]
    return ("From: a@example.org\r\nSubject: %s\r\nMessage-ID: <%s-%d@x>\r\n\r\nbody of %s\r\n"
            % (subject, box, uid, subject)).encode()


def note(line):
    with lock:
        with open(stats, "a") as f:
            f.write(line + "\n")


def uid_set(text, box):
    uids = sorted(BOXES[box])
    out = []
    for part in text.split(","):
        lo, _, hi = part.partition(":")
        lo = uids[-1] if lo == "*" else int(lo)
        hi = lo if not hi else (uids[-1] if hi == "*" else int(hi))
        lo, hi = min(lo, hi), max(lo, hi)
        out += [u for u in uids if lo <= u <= hi]
    return out


def serve(conn):
    tls = ctx.wrap_socket(conn, server_side=True)
    pending = b""
    box = None

    def read_line():
        nonlocal pending
        while b"\r\n" not in pending:
            chunk = tls.recv(4096)
            if not chunk:
                raise ConnectionError()
            pending += chunk
        line, pending = pending.split(b"\r\n", 1)
        return line.decode()

    tls.sendall(b"* OK hostile sync ready\r\n")
    while True:
        line = read_line()
        tag, _, rest = line.partition(" ")
        words = rest.split(" ")
        verb = words[0].upper()
        out = b""
        if verb == "LOGIN" or verb == "NOOP":
            if verb == "LOGIN":
                note("LOGIN - 0 0")
            out = b"%s OK done\r\n" % tag.encode()
        elif verb == "CAPABILITY":
            idle = b" IDLE" if mode == "idle-breaks" else b""
            out = b"* CAPABILITY IMAP4rev1 UIDPLUS%s\r\n%s OK done\r\n" % (idle, tag.encode())
        elif verb == "LIST":
            out = b"".join(b'* LIST () "/" "%s"\r\n' % b.encode() for b in list(BOXES) + ["Broken"])
            out += b"%s OK done\r\n" % tag.encode()
        elif verb == "SELECT" and rest.split('"')[1] == "Broken":
            box = None
            out = b"%s NO [SERVERBUG] mailbox cannot be opened\r\n" % tag.encode()
        elif verb == "SELECT":
            box = rest.split('"')[1]
            n = max(BOXES[box])
            out = (b"A99999 OK stray\r\n* %d EXISTS\r\n* OK [UIDVALIDITY %d] v\r\n* OK [UIDNEXT %d] n\r\n"
                   b"%s OK [READ-WRITE] done\r\n" % (len(BOXES[box]), VALIDITY, n + 1, tag.encode()))
        elif verb == "UID" and words[1].upper() == "SEARCH":
            lo = 1
            if words[2].upper() == "UID":
                lo = int(words[3].split(":")[0])
            found = [u for u in sorted(BOXES[box]) if u >= lo] or [max(BOXES[box])]
            out = b"* SEARCH %s\r\n%s OK done\r\n" % (" ".join(map(str, found)).encode(), tag.encode())
        elif verb == "UID" and words[1].upper() == "FETCH":
            uids = uid_set(words[2], box)
            items = " ".join(words[3:]).upper()
            bad = box == "INBOX"
            if "BODY" not in items:
                for u in uids:
                    size = 200000000 if (bad and u == 2 and mode == "huge") else len(message(box, u))
                    out += b"* %d FETCH (UID %d RFC822.SIZE %d FLAGS (\\Seen))\r\n" % (u, u, size)
                out += b"%s OK done\r\n" % tag.encode()
            else:
                # Every message of the set in turn, as a real server does.
                refused = False
                for u in uids:
                    body = message(box, u)
                    if bad and u == 2 and mode == "refused":
                        note("BODY %s %d 0" % (box, u))
                        refused = True
                    elif bad and u == 2 and mode == "garbage":
                        note("BODY %s %d 0" % (box, u))
                        out += b"* %d FETCH (UID %d BODY[] {12x}\r\n" % (u, u) + body + b")\r\n"
                    elif bad and u == 2 and mode == "drop":
                        note("BODY %s %d 0" % (box, u))
                        tls.sendall(out)
                        tls.close()
                        return
                    else:
                        note("BODY %s %d %d" % (box, u, len(body)))
                        out += b"* %d FETCH (UID %d BODY[] {%d}\r\n" % (u, u, len(body)) + body + b")\r\n"
                if refused:
                    out += b"%s NO [SERVERBUG] cannot read this message\r\n" % tag.encode()
                else:
                    out += b"%s OK done\r\n" % tag.encode()
        elif verb == "LOGOUT":
            tls.sendall(b"* BYE\r\n%s OK bye\r\n" % tag.encode())
            tls.close()
            return
        else:
            out = b"%s BAD unknown\r\n" % tag.encode()
        tls.sendall(out)


def serve_quietly(conn):
    try:
        serve(conn)
    except (ConnectionError, ssl.SSLError, OSError):
        pass


ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
ctx.load_cert_chain(cert, key)
srv = socket.socket()
srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
srv.bind(("127.0.0.1", port))
srv.listen(8)
print("READY", flush=True)
while True:
    c, _ = srv.accept()
    threading.Thread(target=serve_quietly, args=(c,), daemon=True).start()
