# An SMTP server for the tests: every message it accepts goes into DIR as
# the file N.eml (N counting on from the files there, so that a restarted
# server keeps the order), with its envelope's recipients in a first line
# X-Rcpt, its subject as a reader sees it in X-Subject-Text, and then as
# received, written whole by a rename. With --tls it offers STARTTLS with
# that certificate and takes nothing before it; with --login only that user
# and password, after STARTTLS, and the mail says X-Login.
#   /usr/bin/python3 smtpsink.py PORT DIR [--tls CERT KEY] [--login USER PASSWORD]
import email
import email.header
import os
import ssl
import sys
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult


class Sink:
    def __init__(self, folder):
        self.folder = folder

    async def handle_DATA(self, server, session, envelope):
        count = len([n for n in os.listdir(self.folder) if n.endswith(".eml")])
        path = os.path.join(self.folder, "%04d.eml" % (count + 1))
        with open(path + ".part", "wb") as f:
            f.write(("X-Rcpt: %s\r\n" % ",".join(envelope.rcpt_tos)).encode())
            if session.authenticated:
                f.write(("X-Login: %s\r\n" % session.auth_data.login.decode()).encode())
            message = email.message_from_bytes(envelope.content)
            subject = str(email.header.make_header(email.header.decode_header(message["Subject"])))
            f.write(("X-Subject-Text: %s\r\n" % subject).encode())
            f.write(envelope.content if isinstance(envelope.content, bytes) else envelope.content.encode())
        os.rename(path + ".part", path)
        return "250 OK"


options = {}
args = sys.argv[3:]
if "--tls" in args:
    i = args.index("--tls")
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(args[i + 1], args[i + 2])
    options.update(tls_context=context, require_starttls=True)
if "--login" in args:
    i = args.index("--login")
    user, password = args[i + 1].encode(), args[i + 2].encode()

    def check(server, session, envelope, mechanism, data):
        return AuthResult(success=data.login == user and data.password == password, auth_data=data)

    options.update(authenticator=check, auth_required=True)
controller = Controller(Sink(sys.argv[2]), hostname="127.0.0.1", port=int(sys.argv[1]), **options)
controller.start()
print("listening", flush=True)
try:
    while True:
        time.sleep(3600)
finally:
    controller.stop()
