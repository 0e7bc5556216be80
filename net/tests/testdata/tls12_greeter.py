# A TLS 1.2 server that greets as soon as its handshake is done, then waits
# for one line and closes. Run with Debian's /usr/bin/python3.
import socket
import ssl
import sys

port, cert, key = int(sys.argv[1]), sys.argv[2], sys.argv[3]
ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
ctx.maximum_version = ssl.TLSVersion.TLSv1_2
ctx.load_cert_chain(cert, key)
srv = socket.socket()
srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
srv.bind(("127.0.0.1", port))
srv.listen(1)
print("READY", flush=True)
conn, _ = srv.accept()
tls = ctx.wrap_socket(conn, server_side=True)
tls.sendall(b"welcome\r\n")
tls.recv(100)
tls.close()
