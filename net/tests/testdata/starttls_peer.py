# A plain-then-TLS server for the STARTTLS test: greets, waits for the line
# "STARTTLS", answers, runs a TLS server handshake on the same connection and
# echoes one line back over TLS. Run with Debian's /usr/bin/python3.
import socket
import ssl
import sys

port, cert, key = int(sys.argv[1]), sys.argv[2], sys.argv[3]
ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
ctx.load_cert_chain(cert, key)
srv = socket.socket()
srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
srv.bind(("127.0.0.1", port))
srv.listen(1)
print("READY", flush=True)
conn, _ = srv.accept()


def read_line(recv):
    line = b""
    while not line.endswith(b"\r\n"):
        b = recv(1)
        if not b:
            break
        line += b
    return line


conn.sendall(b"220 ready\r\n")
command = read_line(conn.recv)
print("GOT", command, flush=True)
if command != b"STARTTLS\r\n":
    conn.sendall(b"500 expected STARTTLS\r\n")
    sys.exit(1)
conn.sendall(b"220 go ahead\r\n")
tls = ctx.wrap_socket(conn, server_side=True)
line = read_line(tls.recv)
tls.sendall(b"echo " + line)
tls.close()
