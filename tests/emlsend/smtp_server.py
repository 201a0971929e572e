"""A real SMTP server for the tests: aiosmtpd on 127.0.0.1 at a port the
system chooses, AUTH LOGIN allowed without TLS. Prints the port on the first
line of its output, then stores every message it receives in the directory
given as the first argument:

  <n>.from  the envelope sender
  <n>.rcpt  the envelope recipients, one a line, in order
  <n>.auth  the login name and password, one a line (empty without login)
  <n>.data  the message data as received, dot-stuffing undone
  <n>.done  written last; the test waits for it

Ends by itself after the number of seconds given as the second argument, or
on SIGTERM.
"""
import asyncio
import os
import signal
import socket
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Recorder:
    def __init__(self, directory):
        self.directory = directory
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.directory, str(self.count))
        login = session.auth_data if isinstance(session.auth_data, LoginPassword) else None
        with open(base + ".from", "w") as out:
            out.write(envelope.mail_from)
        with open(base + ".rcpt", "w") as out:
            out.write("\n".join(envelope.rcpt_tos) + "\n")
        with open(base + ".auth", "wb") as out:
            if login is not None:
                out.write(login.login + b"\n" + login.password + b"\n")
        with open(base + ".data", "wb") as out:
            out.write(envelope.original_content)
        with open(base + ".done", "w") as out:
            out.write("done")
        return "250 2.0.0 Stored"


def authenticate(server, session, envelope, mechanism, auth_data):
    return AuthResult(success=mechanism == "LOGIN", auth_data=auth_data)


async def serve(directory, lifetime):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    recorder = Recorder(directory)
    loop = asyncio.get_running_loop()
    server = await loop.create_server(
        lambda: SMTP(recorder, authenticator=authenticate, auth_require_tls=False,
                     data_size_limit=None, hostname="aiosmtpd.test"),
        sock=listener)
    print(listener.getsockname()[1], flush=True)
    stop = asyncio.Event()
    loop.add_signal_handler(signal.SIGTERM, stop.set)
    try:
        await asyncio.wait_for(stop.wait(), timeout=lifetime)
    except asyncio.TimeoutError:
        pass
    server.close()


if __name__ == "__main__":
    asyncio.run(serve(sys.argv[1], float(sys.argv[2])))
