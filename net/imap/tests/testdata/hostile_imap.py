# An IMAP server over implicit TLS that misbehaves on purpose, one
# connection, for the client's tests. Run with Debian's /usr/bin/python3:
#   hostile_imap.py PORT CERT KEY MODE
# MODE endless-line: after LOGIN, answers CAPABILITY with a line that never
#   ends (it streams until the client goes).
# MODE literal-trap: answers LIST with a literal holding text that reads
#   like the tagged reply, then serves SELECT normally.
import socket
import ssl
import sys

port, cert, key, mode = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
ctx.load_cert_chain(cert, key)
srv = socket.socket()
srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
srv.bind(("127.0.0.1", port))
srv.listen(1)
print("READY", flush=True)
conn, _ = srv.accept()
tls = ctx.wrap_socket(conn, server_side=True)
pending = b""


def read_line():
    global pending
    while b"\r\n" not in pending:
        chunk = tls.recv(4096)
        if not chunk:
            sys.exit(0)
        pending += chunk
    line, pending = pending.split(b"\r\n", 1)
    return line


tls.sendall(b"* OK hostile ready\r\n")
sent = 0
try:
    while True:
        line = read_line()
        tag, _, command = line.partition(b" ")
        verb = command.split(b" ")[0].upper()
        if verb == b"LOGIN":
            tls.sendall(tag + b" OK logged in\r\n")
        elif verb == b"CAPABILITY" and mode == "endless-line":
            tls.sendall(b"* CAPABILITY IMAP4rev1 ")
            piece = b"X" * 65536
            while True:
                tls.sendall(piece)
                sent += len(piece)
        elif verb == b"CAPABILITY" and mode == "silent":
            read_line()  # says nothing until the client gives up and leaves
        elif verb == b"LIST" and mode == "literal-trap":
            trap = tag + b" OK LIST completed"
            tls.sendall(b"* LIST () \"/\" {%d}\r\n" % len(trap) + trap + b"\r\n")
            tls.sendall(b"* LIST () \"/\" Work\r\n" + tag + b" OK LIST done\r\n")
        elif verb == b"SELECT":
            tls.sendall(b"* 3 EXISTS\r\n* OK [UIDVALIDITY 7] x\r\n* OK [UIDNEXT 9] y\r\n" + tag +
                        b" OK [READ-WRITE] SELECT done\r\n")
        elif verb == b"LOGOUT":
            tls.sendall(b"* BYE\r\n" + tag + b" OK bye\r\n")
            break
        else:
            tls.sendall(tag + b" BAD unknown\r\n")
except (ConnectionError, ssl.SSLError, OSError):
    pass
print("SENT", sent, flush=True)
