"""Reads a message file with Python's email package and prints what a mail
program would see, one item per line, text as hex of its windows-1250 bytes:

  H <header> <hex of the decoded value>
  A <header> <hex of the display name> <address>
  P <content type> <hex of the file name or -> <file>
     where <file> (the message path, a period and the part's number) holds
     the decoded content: an attachment's bytes, a text part's text in
     windows-1250
  D <number of defects the parser found>
"""
import email
import email.policy
import sys


def hexed(text):
    if isinstance(text, str):
        text = text.encode("windows-1250")
    return text.hex() or "-"


def main(path):
    with open(path, "rb") as handle:
        message = email.message_from_binary_file(handle, policy=email.policy.default)
    defects = len(message.defects)
    for name in ("X-Unsent", "Subject", "X-Priority", "MIME-Version"):
        if message[name] is not None:
            print("H", name, hexed(str(message[name])))
    for name in ("From", "To", "Cc", "Bcc", "Reply-To"):
        header = message[name]
        if header is None:
            continue
        for address in header.addresses:
            print("A", name, hexed(address.display_name), address.addr_spec)
    number = 0
    for part in message.walk():
        defects += len(part.defects)
        if part.is_multipart():
            continue
        if part.get_filename() is not None:
            content = part.get_payload(decode=True)
            name = hexed(part.get_filename())
        else:
            content = part.get_content().encode("windows-1250")
            name = "-"
        number += 1
        target = "%s.%d" % (path, number)
        with open(target, "wb") as out:
            out.write(content)
        print("P", part.get_content_type(), name, target)
    print("D", defects)


if __name__ == "__main__":
    main(sys.argv[1])
