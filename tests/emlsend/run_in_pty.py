"""Runs a command on a pseudo-terminal of 24 rows and 80 columns (or the
size given by a first argument "--size ROWSxCOLUMNS") and prints everything
it wrote there, byte for byte; exits with the command's exit code. Used to
see the console display as a terminal gets it."""
import fcntl
import os
import pty
import struct
import subprocess
import sys
import termios


def main(command):
    rows, columns = 24, 80
    if command[:1] == ["--size"]:
        rows, columns = (int(n) for n in command[1].split("x"))
        command = command[2:]
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", rows, columns, 0, 0))
    child = subprocess.Popen(command, stdin=slave, stdout=slave, stderr=slave,
                             start_new_session=True)
    os.close(slave)
    output = b""
    while True:
        try:
            data = os.read(master, 65536)
        except OSError:  # EIO: the last writer closed the terminal
            break
        if not data:
            break
        output += data
    code = child.wait(timeout=60)
    sys.stdout.buffer.write(output)
    sys.exit(code)


if __name__ == "__main__":
    main(sys.argv[1:])
