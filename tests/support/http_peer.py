"""HTTP test peers that record what clients send.

--mode record: answers every request with the bytes of --reply and appends
the request (head and body, as received) to --log, one JSON line each.
--mode proxy: a CONNECT proxy that records each request head, then tunnels
to 127.0.0.1 on the requested port (every name stands for this machine,
and --target-port replaces the port);
with --refuse it answers 403 instead.
"""
import argparse
import json
import socket
import socketserver
import threading


def read_head(sock):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(4096)
        if not chunk:
            break
        data += chunk
    head, _, rest = data.partition(b"\r\n\r\n")
    return head + b"\r\n\r\n", rest


def content_length(head):
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            return int(value.strip())
    return 0


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--mode", choices=["record", "proxy"], required=True)
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--log", required=True)
    p.add_argument("--ready", required=True)
    p.add_argument("--reply")
    p.add_argument("--refuse", action="store_true")
    p.add_argument("--target-port", type=int, default=0,
                   help="tunnel every CONNECT to this port instead of the one asked for")
    args = p.parse_args()
    lock = threading.Lock()

    def record(data):
        with lock, open(args.log, "a", encoding="utf-8") as f:
            f.write(json.dumps({"request": data.decode("latin-1")}) + "\n")

    class Handler(socketserver.BaseRequestHandler):
        def handle(self):
            sock = self.request
            head, rest = read_head(sock)
            if args.mode == "record":
                want = content_length(head)
                while len(rest) < want:
                    chunk = sock.recv(65536)
                    if not chunk:
                        break
                    rest += chunk
                record(head + rest)
                with open(args.reply, "rb") as f:
                    sock.sendall(f.read())
                return
            record(head)
            if args.refuse:
                sock.sendall(b"HTTP/1.0 403 Forbidden\r\n\r\n")
                return
            target = head.split(b"\r\n")[0].split(b" ")[1]
            port = args.target_port or int(target.rpartition(b":")[2])
            upstream = socket.create_connection(("127.0.0.1", port))
            sock.sendall(b"HTTP/1.0 200 Connection established\r\nProxy-Agent: test\r\n\r\n")
            if rest:
                upstream.sendall(rest)

            def pipe(a, b):
                try:
                    while True:
                        chunk = a.recv(65536)
                        if not chunk:
                            break
                        b.sendall(chunk)
                except OSError:
                    pass
                try:
                    b.shutdown(socket.SHUT_WR)
                except OSError:
                    pass

            t = threading.Thread(target=pipe, args=(upstream, sock))
            t.start()
            pipe(sock, upstream)
            t.join()
            upstream.close()

    socketserver.ThreadingTCPServer.allow_reuse_address = True
    server = socketserver.ThreadingTCPServer(("127.0.0.1", args.port), Handler)
    with open(args.ready, "w") as f:
        f.write("ready\n")
    server.serve_forever()


if __name__ == "__main__":
    main()
