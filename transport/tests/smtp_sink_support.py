"""A mail sink for the SMTP tests: an aiosmtpd server on 127.0.0.1 that stores what it receives.

Usage: smtp_sink_support.py OUTDIR

Listens on a free port and prints that port on the first line of standard output, then serves
until it is terminated. For the N-th message it accepts it writes OUTDIR/N.data (the message as
received, dot-stuffing undone) and then OUTDIR/N.envelope (the "Mail from" address on the first
line, one recipient per following line). A recipient whose address starts with "reject" is
refused with "550 5.1.1 No such user here".
"""

import asyncio
import os
import sys

from aiosmtpd.smtp import SMTP


class Recorder:
    def __init__(self, outdir):
        self.outdir = outdir
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.startswith("reject"):
            return "550 5.1.1 No such user here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.outdir, str(self.count))
        with open(base + ".data", "wb") as f:
            f.write(envelope.original_content)
        # Written last and renamed into place: its presence means the message is complete.
        with open(base + ".envelope.tmp", "w", encoding="latin-1") as f:
            f.write("\n".join([envelope.mail_from] + list(envelope.rcpt_tos)) + "\n")
        os.rename(base + ".envelope.tmp", base + ".envelope")
        return "250 Message accepted"


def main():
    outdir = sys.argv[1]
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    handler = Recorder(outdir)
    server = loop.run_until_complete(
        loop.create_server(lambda: SMTP(handler, hostname="sink.test"), "127.0.0.1", 0))
    print(server.sockets[0].getsockname()[1], flush=True)
    loop.run_forever()


if __name__ == "__main__":
    main()
