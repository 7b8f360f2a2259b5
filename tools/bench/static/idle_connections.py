"""Opens COUNT connections to 127.0.0.1:PORT that each send the start of a request and then
stall, so that each holds a connection thread; then creates READY_FILE and holds the connections
until it is terminated."""

import signal
import socket
import sys

port, count, ready_file = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
held = []
for _ in range(count):
    client = socket.create_connection(("127.0.0.1", port))
    client.sendall(b"GET / HTTP/1.1\r\nHost: idle\r\n")
    held.append(client)
open(ready_file, "w").close()
signal.pause()
