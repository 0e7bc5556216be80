"""A TCP relay to 127.0.0.1 that makes a server slow without stalling it:
what the client sends goes on at once; what the server answers is read at
once (so the server never waits on its output) and handed to the client at
a limited rate, after a first burst per connection that lets the TLS
handshake and the log-in through at full speed. Bytes are handed on every
tenth of a second while any are held, so the client never sits long
without input.

    throttle_relay.py --port P --target-port T --ready FILE --status FILE
                      [--burst BYTES] [--rate BYTES_PER_SECOND]

--status is rewritten about once a second with the totals of every
connection: {"connections": N, "delivered": BYTES, "held": BYTES}.
"""
import argparse
import json
import os
import select
import socket
import threading
import time

TICK = 0.1

lock = threading.Lock()
totals = {"connections": 0, "delivered": 0, "held": 0}


def add(name, n):
    with lock:
        totals[name] += n


def write_status(path):
    while True:
        with lock:
            text = json.dumps(totals)
        with open(path + ".tmp", "w") as f:
            f.write(text)
        os.replace(path + ".tmp", path)
        time.sleep(1)


def pump_fast(src, dst):
    try:
        while True:
            data = src.recv(65536)
            if not data:
                break
            dst.sendall(data)
        dst.shutdown(socket.SHUT_WR)
    except OSError:
        pass


def pump_slow(src, dst, burst, rate):
    held = bytearray()
    # Bytes that may go now: the burst at first, then what the rate earns,
    # never more than a second's worth saved up while the server was quiet.
    allowance = float(burst)
    src_open = True
    last = time.monotonic()
    try:
        while src_open or held:
            if src_open:
                readable, _, _ = select.select([src], [], [], TICK)
                if readable:
                    data = src.recv(65536)
                    if data:
                        held += data
                        add("held", len(data))
                    else:
                        src_open = False
            else:
                time.sleep(TICK)
            now = time.monotonic()
            allowance = max(allowance, min(allowance + rate * (now - last), float(rate)))
            last = now
            n = min(len(held), int(allowance))
            if n:
                dst.sendall(held[:n])
                del held[:n]
                allowance -= n
                add("held", -n)
                add("delivered", n)
        dst.shutdown(socket.SHUT_WR)
    except OSError:
        add("held", -len(held))


def serve(client, target_port, burst, rate):
    try:
        server = socket.create_connection(("127.0.0.1", target_port))
    except OSError:
        client.close()
        return
    add("connections", 1)
    up = threading.Thread(target=pump_fast, args=(client, server), daemon=True)
    up.start()
    pump_slow(server, client, burst, rate)
    up.join()
    client.close()
    server.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--target-port", type=int, required=True)
    parser.add_argument("--ready", required=True)
    parser.add_argument("--status", required=True)
    parser.add_argument("--burst", type=int, default=16384)
    parser.add_argument("--rate", type=int, default=400)
    args = parser.parse_args()
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", args.port))
    listener.listen(16)
    threading.Thread(target=write_status, args=(args.status,), daemon=True).start()
    open(args.ready, "w").close()
    while True:
        client, _ = listener.accept()
        threading.Thread(target=serve, args=(client, args.target_port, args.burst, args.rate), daemon=True).start()


main()
