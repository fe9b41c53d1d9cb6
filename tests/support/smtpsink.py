# An SMTP server for the tests: every message it accepts goes into DIR as
# the file N.eml (N counting on from the files there, so that a restarted
# server keeps the order), with its envelope's recipients in a first line
# X-Rcpt, its subject as a reader sees it in X-Subject-Text, and then as
# received, written whole by a rename.
#   /usr/bin/python3 smtpsink.py PORT DIR
import email
import email.header
import os
import sys
import time

from aiosmtpd.controller import Controller


class Sink:
    def __init__(self, folder):
        self.folder = folder

    async def handle_DATA(self, server, session, envelope):
        count = len([n for n in os.listdir(self.folder) if n.endswith(".eml")])
        path = os.path.join(self.folder, "%04d.eml" % (count + 1))
        with open(path + ".part", "wb") as f:
            f.write(("X-Rcpt: %s\r\n" % ",".join(envelope.rcpt_tos)).encode())
            message = email.message_from_bytes(envelope.content)
            subject = str(email.header.make_header(email.header.decode_header(message["Subject"])))
            f.write(("X-Subject-Text: %s\r\n" % subject).encode())
            f.write(envelope.content if isinstance(envelope.content, bytes) else envelope.content.encode())
        os.rename(path + ".part", path)
        return "250 OK"


controller = Controller(Sink(sys.argv[2]), hostname="127.0.0.1", port=int(sys.argv[1]))
controller.start()
print("listening", flush=True)
try:
    while True:
        time.sleep(3600)
finally:
    controller.stop()
