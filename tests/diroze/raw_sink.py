#!/usr/bin/python3
"""A printer's raw socket for the driver tests: keeps each job's bytes.

raw_sink.py SPOOL NAME=PORT...

Listens on 127.0.0.1:PORT for each NAME=PORT and writes the bytes of every
connection that sent any into SPOOL/NAME/job-<n>.bin, n counting on from the
highest number already there. A job appears under its final name only once
its connection closed (it is written as .job-<n>.part first), so a reader
never sees half a job. Directories are world-writable and jobs world-readable,
as tests may run as another user than the sink.
Exits with 1 when a port cannot be listened on (another sink holds it).
"""
import os
import re
import socketserver
import sys
import threading

lock = threading.Lock()


def next_job(directory):
    numbers = [int(m.group(1)) for name in os.listdir(directory)
               if (m := re.fullmatch(r'\.?job-(\d+)\.(bin|part)', name))]
    return max(numbers, default=0) + 1


def handler_for(directory):
    class Job(socketserver.BaseRequestHandler):
        def handle(self):
            chunks = []
            while data := self.request.recv(65536):
                chunks.append(data)
            if not chunks:
                return
            with lock:
                n = next_job(directory)
                part = os.path.join(directory, f'.job-{n}.part')
                with open(part, 'wb') as f:
                    f.writelines(chunks)
                os.chmod(part, 0o644)
                os.rename(part, os.path.join(directory, f'job-{n}.bin'))
    return Job


def main(spool, pairs):
    servers = []
    for pair in pairs:
        name, port = pair.split('=')
        directory = os.path.join(spool, name)
        os.makedirs(directory, exist_ok=True)
        os.chmod(directory, 0o1777)
        socketserver.ThreadingTCPServer.allow_reuse_address = True
        try:
            servers.append(socketserver.ThreadingTCPServer(
                ('127.0.0.1', int(port)), handler_for(directory)))
        except OSError as e:
            sys.exit(f'raw_sink: port {port}: {e.strerror}')
    for server in servers[1:]:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    servers[0].serve_forever()


if __name__ == '__main__':
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2:])
