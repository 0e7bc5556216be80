# An HTTP server that misbehaves on purpose, for the client's tests. Serves
# connections one after another until killed. Run with Debian's
# /usr/bin/python3:  hostile_http.py PORT MODE
# MODE endless-line:    a header line that never ends
# MODE endless-headers: header lines without end
# MODE drip:            a status line, then one byte of header every 200 ms
# MODE drip-body:       a whole head without a length, then one byte of body
#                       every 200 ms
# Each connection's count of bytes sent is printed when it ends.
import socket
import sys
import time

port, mode = int(sys.argv[1]), sys.argv[2]
srv = socket.socket()
srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
srv.bind(("127.0.0.1", port))
srv.listen(4)
print("READY", flush=True)
while True:
    conn, _ = srv.accept()
    sent = 0
    try:
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = conn.recv(4096)
            if not chunk:
                break
            data += chunk
        conn.sendall(b"HTTP/1.0 200 OK\r\n")
        if mode == "drip-body":
            conn.sendall(b"Content-Type: application/octet-stream\r\n\r\n")
        if mode == "endless-line":
            conn.sendall(b"X-Long: ")
            piece = b"y" * 65536
            while True:
                conn.sendall(piece)
                sent += len(piece)
        elif mode == "endless-headers":
            piece = b"X-Again: 1\r\n" * 1000
            while True:
                conn.sendall(piece)
                sent += len(piece)
        elif mode in ("drip", "drip-body"):
            while True:
                conn.sendall(b"x")
                sent += 1
                time.sleep(0.2)
    except OSError:
        pass
    conn.close()
    print("SENT", sent, flush=True)
