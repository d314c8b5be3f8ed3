#!/usr/bin/python3
"""Local SMTP server for the mail tests and the SMTP benchmark (aiosmtpd on 127.0.0.1).

Prints "PORT <n>" once it listens. Each accepted message is appended to --record as one JSON line
(envelope, TLS and login state, decoded subject/names/body, the number of the connection), unless
--discard is given. --refuse ADDRESS answers RCPT TO for that address with 550.
"""
import argparse
import asyncio
import email
import email.header
import email.policy
import itertools
import json
import re
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def decoded(value):
    # Unfolding (RFC 5322, 2.2.3) removes each line break that is followed by a blank.
    unfolded = re.sub(r"\r?\n(?=[ \t])", "", value or "")
    return str(email.header.make_header(email.header.decode_header(unfolded)))


class Handler:
    def __init__(self, record, discard, pipelining, refuse):
        self.record = record
        self.discard = discard
        self.pipelining = pipelining
        self.refuse = set(refuse or [])

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        # aiosmtpd reads commands one line at a time, so a pipelined batch is served in order.
        session.host_name = hostname
        if self.pipelining:
            responses.insert(1, "250-PIPELINING")
        return responses

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.refuse:
            return "550 5.1.1 Mailbox unavailable"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.discard:
            return "250 OK discarded"
        msg = email.message_from_bytes(envelope.content, policy=email.policy.compat32)
        charset = msg.get_content_charset() or "latin-1"
        entry = {
            "connection": server.connection_number,
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "tls": server.transport.get_extra_info("ssl_object") is not None,
            "authenticated": bool(session.authenticated),
            "login": (session.auth_data.decode() if isinstance(session.auth_data, bytes) else None),
            "subject": decoded(msg["Subject"]),
            "from": decoded(msg["From"]),
            "to": decoded(msg["To"]),
            "content_type": msg["Content-Type"],
            "helo": session.host_name,
            "date": msg["Date"],
            "body": msg.get_payload(decode=True).decode(charset),
            "raw": envelope.content.decode("utf-8", "replace"),
        }
        with open(self.record, "a", encoding="utf-8") as f:
            f.write(json.dumps(entry) + "\n")
        return "250 OK queued"


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--mode", choices=["plain", "starttls", "implicit"], default="plain")
    p.add_argument("--cert")
    p.add_argument("--key")
    p.add_argument("--user")
    p.add_argument("--password")
    p.add_argument("--record", default="/dev/null")
    p.add_argument("--discard", action="store_true")
    p.add_argument("--no-pipelining", action="store_true")
    p.add_argument("--refuse", action="append", help="a recipient address answered with 550")
    args = p.parse_args()

    tls = None
    if args.mode != "plain":
        tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls.load_cert_chain(args.cert, args.key)

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login.decode() == args.user
              and auth_data.password.decode() == args.password)
        return AuthResult(success=ok, handled=False, auth_data=auth_data.login if ok else None)

    handler = Handler(args.record, args.discard, not args.no_pipelining, args.refuse)
    connections = itertools.count(1)

    def factory():
        smtp = SMTP(handler, hostname="aiosmtpd.test",
                    tls_context=tls if args.mode == "starttls" else None,
                    authenticator=authenticator if args.user else None,
                    auth_require_tls=(args.mode == "starttls"),
                    auth_exclude_mechanism=["PLAIN"])
        smtp.connection_number = next(connections)  # numbers the connections in the record
        return smtp

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(
        loop.create_server(factory, "127.0.0.1", 0, ssl=tls if args.mode == "implicit" else None))
    print("PORT", server.sockets[0].getsockname()[1], flush=True)
    try:
        loop.run_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
