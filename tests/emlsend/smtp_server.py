"""A real SMTP server for the tests: aiosmtpd on 127.0.0.1 at a port the
system chooses, AUTH LOGIN and PLAIN allowed without TLS. Prints the port on
the first line of its output, then stores every message it receives in the
directory given as the first argument:

  <n>.from  the envelope sender
  <n>.rcpt  the envelope recipients, one a line, in order
  <n>.auth  the login name and password (or token), one a line (empty
            without login)
  <n>.mech  the sign-in mechanism (empty without login)
  <n>.tls   the TLS version of the connection (empty without TLS)
  <n>.data  the message data as received, dot-stuffing undone
  <n>.done  written last; the test waits for it

Ends by itself after the number of seconds given as the second argument, or
on SIGTERM. Options:

  --address ADDR       listen on ADDR instead of 127.0.0.1 (such as ::1)
  --cert PEM --key KEY offer STARTTLS with this certificate
  --implicit-tls       with --cert: TLS from the first byte, no STARTTLS
  --exclude MECH       do not offer the sign-in mechanism MECH (repeatable)
  --token TOKEN        offer XOAUTH2 and accept this access token
  --command-limit N    refuse command lines longer than N bytes with CRLF
                       (as Postfix does at 2048) and take answers to sign-in
                       challenges of up to 12288 bytes and message lines of
                       the same length; without it aiosmtpd's limits hold:
                       512 for commands, 1001 for every other line
"""
import argparse
import asyncio
import base64
import collections
import os
import signal
import socket
import ssl

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Recorder:
    def __init__(self, directory, token):
        self.directory = directory
        self.count = 0
        self.token = token

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.directory, str(self.count))
        login = session.auth_data if isinstance(session.auth_data, LoginPassword) else None
        with open(base + ".mech", "w") as out:
            out.write(getattr(session, "mechanism", "") if login is not None else "")
        with open(base + ".tls", "w") as out:
            tls = server.transport.get_extra_info("ssl_object")
            out.write(tls.version() if tls is not None else "")
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

    async def auth_XOAUTH2(self, server, args):
        # args: XOAUTH2 [<base64 of user=U^Aauth=Bearer T^A^A>]; without the
        # initial response it answers an empty challenge.
        if self.token is None or len(args) > 2:
            return AuthResult(success=False, handled=False)
        response = (base64.b64decode(args[1]) if len(args) == 2
                    else await server.challenge_auth("", encode_to_b64=False))
        if not isinstance(response, bytes):
            return AuthResult(success=False, handled=True)
        fields = dict(item.split("=", 1) for item in
                      response.decode().split("\x01") if "=" in item)
        if fields.get("auth") != "Bearer " + self.token:
            return AuthResult(success=False, handled=False, message="535 5.7.8 Invalid token")
        server.session.mechanism = "XOAUTH2"
        return AuthResult(success=True,
                          auth_data=LoginPassword(fields["user"].encode(), self.token.encode()))


class LimitedSMTP(SMTP):
    # The reader's limit bounds every line; commands are held to the command
    # limit below it, sign-in answers only to this.
    line_length_limit = 12288 + 2

    def __init__(self, *args, command_limit, **kwargs):
        super().__init__(*args, **kwargs)
        # aiosmtpd counts a command without its CRLF.
        self.command_size_limit = command_limit - 2
        self.command_size_limits = collections.defaultdict(lambda: command_limit - 2)


def authenticate(server, session, envelope, mechanism, auth_data):
    session.mechanism = mechanism
    return AuthResult(success=mechanism in ("LOGIN", "PLAIN"), auth_data=auth_data)


async def serve(options):
    family = socket.AF_INET6 if ":" in options.address else socket.AF_INET
    listener = socket.socket(family, socket.SOCK_STREAM)
    listener.bind((options.address, 0))
    listener.listen(8)
    recorder = Recorder(options.directory, options.token)
    context = None
    if options.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(options.cert, options.key)
    loop = asyncio.get_running_loop()
    starttls = context if context is not None and not options.implicit_tls else None
    exclude = list(options.exclude)
    if options.token is None:
        exclude.append("XOAUTH2")
    make = SMTP
    if options.command_limit is not None:
        def make(*args, **kwargs):
            return LimitedSMTP(*args, command_limit=options.command_limit, **kwargs)
    server = await loop.create_server(
        lambda: make(recorder, authenticator=authenticate, auth_require_tls=False,
                     auth_exclude_mechanism=exclude, tls_context=starttls,
                     data_size_limit=None, hostname="aiosmtpd.test"),
        sock=listener, ssl=context if options.implicit_tls else None)
    print(listener.getsockname()[1], flush=True)
    stop = asyncio.Event()
    loop.add_signal_handler(signal.SIGTERM, stop.set)
    try:
        await asyncio.wait_for(stop.wait(), timeout=options.lifetime)
    except asyncio.TimeoutError:
        pass
    server.close()


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("directory")
    parser.add_argument("lifetime", type=float)
    parser.add_argument("--address", default="127.0.0.1")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--implicit-tls", action="store_true")
    parser.add_argument("--exclude", action="append", default=[])
    parser.add_argument("--token")
    parser.add_argument("--command-limit", type=int)
    asyncio.run(serve(parser.parse_args()))
