#!/usr/bin/env python3
"""A small FTP server for Quillet's tests and benchmarks (pyftpdlib).

Usage: ftp_server.py ROOT USER PASSWORD [EVENTS-FILE]
Serves ROOT on 127.0.0.1 and a free port, one user with full rights, and
prints the port on its first line of output. With EVENTS-FILE, every
connection and disconnection is appended to it as a line "connect" or
"disconnect", so a test can tell that no session was left open.
Stops on SIGTERM or when its standard input closes."""
import os
import signal
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    root, user, password = sys.argv[1], sys.argv[2], sys.argv[3]
    events = sys.argv[4] if len(sys.argv) > 4 else None

    def note(what):
        if events:
            with open(events, "a") as f:
                f.write(what + "\n")

    class Handler(FTPHandler):
        def on_connect(self):
            note("connect")

        def on_disconnect(self):
            note("disconnect")

    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elradfmwMT")
    Handler.authorizer = authorizer
    Handler.passive_ports = None
    Handler.auth_failed_timeout = 0.1  # tests try wrong passwords on purpose
    server = FTPServer(("127.0.0.1", 0), Handler)
    print(server.address[1], flush=True)

    def stop(*_):
        server.close_all()
        os._exit(0)

    signal.signal(signal.SIGTERM, stop)
    # The test's end closes our standard input: stop then, even if killed hard.
    threading.Thread(target=lambda: (sys.stdin.read(), stop()), daemon=True).start()
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
