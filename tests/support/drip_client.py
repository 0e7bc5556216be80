"""A hostile TLS client: connects and sends the start of a ClientHello one
byte at a time, a pause between bytes, for as long as the server listens.

    drip_client.py PORT PAUSE_SECONDS [HOST]
"""
import socket
import sys
import time

port, pause = int(sys.argv[1]), float(sys.argv[2])
host = sys.argv[3] if len(sys.argv) > 3 else "127.0.0.1"
s = socket.create_connection((host, port))
# A handshake record announcing 64 bytes of payload that never all come.
for b in bytes.fromhex("1603010040") + b"x" * 63:
    try:
        s.send(bytes([b]))
    except OSError:
        break
    time.sleep(pause)
time.sleep(600)
