#!/usr/bin/python3
"""A stand-in for the update server, for the system tests: serves one
connection on 127.0.0.1.

    update_server.py --port 80 --request FILE --ready FILE (--reply HEX | --silent)

Writes the bytes of the request (read up to its empty line) to --request,
then either sends the --reply bytes (hexadecimal) in one piece and closes,
or, with --silent, answers nothing and keeps the connection open until the
client closes it. --ready is created once the port listens.
"""
import argparse
import socket
import sys


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=80)
    parser.add_argument("--request", required=True)
    parser.add_argument("--ready", required=True)
    parser.add_argument("--reply")
    parser.add_argument("--silent", action="store_true")
    parser.add_argument("--timeout", type=float, default=60.0)
    args = parser.parse_args()

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", args.port))
    listener.listen(1)
    listener.settimeout(args.timeout)
    open(args.ready, "w").close()

    client, _ = listener.accept()
    client.settimeout(args.timeout)
    request = b""
    while b"\r\n\r\n" not in request:
        chunk = client.recv(4096)
        if not chunk:
            break
        request += chunk
    with open(args.request, "wb") as out:
        out.write(request)

    if not args.silent:
        client.sendall(bytes.fromhex(args.reply or ""))
        client.close()
        return 0
    # Silent: wait for the client to give up.
    while client.recv(4096):
        pass
    client.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
