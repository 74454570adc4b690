#!/usr/bin/python3
"""A pyftpdlib server on loopback for the FTP tests, tour and benchmark.

Serves --root for --user/--password (full rights) on a free port and writes
"PORT <n>" on stdout once it accepts connections. Ends when its standard input
closes, so it never outlives the process that started it.
"""
import argparse
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="panel")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--rate", type=int, default=0,
                        help="bytes per second for data connections (0: unlimited)")
    parser.add_argument("--no-mlsd", action="store_true",
                        help="do not offer MLSD, so clients list with LIST")
    args = parser.parse_args()

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")

    class Handler(FTPHandler):
        pass

    Handler.authorizer = authorizer
    Handler.banner = "tolvex test server ready"
    Handler.passive_ports = None
    Handler.permit_foreign_addresses = False
    if args.rate:
        class Throttled(ThrottledDTPHandler):
            read_limit = args.rate
            write_limit = args.rate
        Handler.dtp_handler = Throttled
    if args.no_mlsd:
        Handler.proto_cmds = {k: v for k, v in FTPHandler.proto_cmds.items()
                              if k not in ("MLSD", "MLST")}

    server = FTPServer(("127.0.0.1", 0), Handler)
    server.max_cons = 64

    def watch_stdin():
        try:
            while sys.stdin.buffer.read(4096):
                pass
        finally:
            os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    import logging
    logging.basicConfig(level=logging.CRITICAL)
    main()
