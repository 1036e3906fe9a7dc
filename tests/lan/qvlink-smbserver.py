#!/usr/bin/env python3
"""Scriptable SMB server for the test LAN, serving what Samba refuses to.

Built on impacket's SMB server (SMB2, guest logins, share listing through the srvsvc pipe).
Modes:
  hostile  share names with a newline, a leading "-", quotes (' and "), "../", 300 characters
           (and, with --surrogate, a lone UTF-16 surrogate), a remark with a newline, and a plain
           share; every share serves the folder --dir
  huge     --count disk shares (share00001 ...), in that order, with a hidden share and a
           printer among the first ones
  silent   accepts TCP connections on the port and never answers them

impacket cannot send a lone surrogate as it stands: its NDR strings encode with Python's
strict UTF-16 codec, which refuses unpaired surrogates (UnicodeEncodeError), and the whole
share listing then fails. The server encodes them with "surrogatepass" instead, so the client
receives the very code unit.

Everything it does is logged with CLOCK_MONOTONIC timestamps (nanoseconds). Every loop is
bounded: the process ends after --lifetime seconds whatever happens.

Log lines (space-separated):
  NS ready pid=PID mode=MODE shares=N
  NS accept from=IP:PORT            (silent mode)
"""

import argparse
import configparser
import os
import socket
import struct
import sys
import threading
import time

from impacket import smbserver
from impacket.dcerpc.v5 import dtypes

LONG_NAME = "L" * 300
# The names as the client is to receive them; each serves the same folder.
HOSTILE_SHARES = [
    ("plain", "An ordinary share"),
    ("new\nline", "Name with a newline"),
    ("-leading", "Name with a leading dash"),
    ("quo'te", "Single quote"),
    ('dq"uote', "Double quote"),
    ("../up", "Parent folder"),
    (LONG_NAME, "Three hundred characters"),
    ("remarked", "first line\nsecond line"),
]
# Samba's client refuses a listing that holds one (its NDR string conversion fails: "Bad
# character conversion"), so the share comes only with --surrogate.
SURROGATE_SHARE = ("sur\ud800x", "Lone surrogate")


def now_ns():
    return time.monotonic_ns()


class Log:
    def __init__(self, path):
        self.file = open(path, "a", buffering=1, encoding="utf-8") if path else None
        self.lock = threading.Lock()

    def write(self, text):
        if self.file:
            with self.lock:
                self.file.write("%d %s\n" % (now_ns(), text))


def pass_surrogates():
    """Lets impacket's NDR strings carry unpaired UTF-16 surrogates both ways."""
    for cls in (dtypes.WSTR, dtypes.WIDESTR):
        original_set = cls.__setitem__
        original_get = cls.__getitem__

        def setitem(self, key, value, _set=original_set):
            if key == "Data" and isinstance(value, str):
                _set(self, key, "")
                self.fields["Data"] = value.encode("utf-16le", "surrogatepass")
                return None
            return _set(self, key, value)

        def getitem(self, key, _get=original_get):
            if key == "Data":
                return self.fields["Data"].decode("utf-16le", "surrogatepass")
            return _get(self, key)

        cls.__setitem__ = setitem
        cls.__getitem__ = getitem


def match_shares_exactly():
    """impacket looks a tree connect's share up upper-cased and as a path's last part (so that
    "../up" would be looked for as "UP"); this server keeps its names as they are and takes
    the whole text after the server part of \\\\server\\share."""

    def search(conn_id, share, server):
        config = server.getServerConfig()
        for section in config.sections():
            if section != "global" and section.upper() == share.upper():
                return dict(config.items(section))
        return None

    smbserver.searchShare = search
    original = smbserver.ntpath.basename

    def basename(path):
        if path.startswith("\\\\") and path.count("\\") >= 3:
            return path.split("\\", 3)[3]
        return original(path)

    smbserver.ntpath.basename = basename


def ndr_string(text):
    """A conformant varying UTF-16 string with its terminator, padded to four bytes."""
    data = (text + "\0").encode("utf-16le", "surrogatepass")
    count = len(data) // 2
    out = struct.pack("<LLL", count, 0, count) + data
    return out + b"\0" * (-len(out) % 4)


def share_enum_answer(shares):
    """The NDR of a NetrShareEnum answer at level 1 holding every share. impacket's own encoder
    takes seconds for thousands of entries (longer than a client waits), so the answer is
    encoded here once, when the server starts."""
    count = len(shares)
    head = struct.pack("<LLLLLL", 1, 1, 0x20000, count, 0x20004, count)
    entries, strings = [], []
    referent = 0x20008
    for name, _path, remark, share_type in shares:
        entries.append(struct.pack("<LLL", referent, int(share_type), referent + 4))
        referent += 8
        strings.append(ndr_string(name) + ndr_string(remark))
    tail = struct.pack("<LLL", count, 0, 0)  # total entries, no resume handle, no error
    return head + b"".join(entries) + b"".join(strings) + tail


def make_config(shares):
    config = configparser.ConfigParser(interpolation=None)
    config.add_section("global")
    for key, value in (("server_name", "QVLTEST"), ("server_os", "QVL"), ("server_domain", "WORKGROUP"),
                       ("log_file", "None"), ("rpc_apis", "yes"), ("credentials_file", ""),
                       ("challenge", "A" * 16), ("SMB2Support", "True")):
        config.set("global", key, value)
    for name, path, remark, share_type in [("IPC$", "", "", "3")] + shares:
        config.add_section(name)
        config.set(name, "comment", remark)
        config.set(name, "read only", "no")
        config.set(name, "share type", share_type)
        config.set(name, "path", path)
    return config


def share_list(args):
    folder = os.path.abspath(args.dir)
    if args.mode == "hostile":
        extra = [SURROGATE_SHARE] if args.surrogate else []
        return [(name, folder, remark, "0") for name, remark in HOSTILE_SHARES + extra]
    shares = []
    for i in range(1, args.count + 1):
        shares.append(("share%05d" % i, folder, "Share %d" % i, "0"))
        if i == 3:
            shares.append(("hidden$", folder, "Hidden", "0"))
        if i == 5:
            shares.append(("laser", folder, "Printer", "1"))
    return shares


def serve_smb(args, log):
    pass_surrogates()
    match_shares_exactly()
    shares = share_list(args)
    config = make_config(shares)
    server = smbserver.SMBSERVER((args.addr, args.port), config_parser=config)
    server.processConfigFile()
    srvs = smbserver.SRVSServer()
    srvs.daemon = True
    srvs.setServerConfig(config)
    srvs.processConfigFile()
    answer = share_enum_answer([("IPC$", "", "", "3")] + shares)
    srvs.srvsvcCallBacks[15] = lambda request: answer
    wkst = smbserver.WKSTServer()
    wkst.daemon = True
    server.registerNamedPipe("srvsvc", ("127.0.0.1", srvs.getListenPort()))
    server.registerNamedPipe("wkssvc", ("127.0.0.1", wkst.getListenPort()))
    srvs.start()
    wkst.start()
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    return len(shares)


def serve_silent(args, log):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((args.addr, args.port))
    listener.listen(16)
    held = []

    def accept():
        # At most a fixed number of connections is held open, each never answered.
        while len(held) < 64:
            conn, peer = listener.accept()
            held.append(conn)
            log.write("accept from=%s:%d" % peer)

    threading.Thread(target=accept, daemon=True).start()
    return 0


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--addr", required=True, help="address to listen on")
    p.add_argument("--port", type=int, default=445)
    p.add_argument("--mode", choices=["hostile", "huge", "silent"], required=True)
    p.add_argument("--count", type=int, default=20000, help="shares of the huge mode")
    p.add_argument("--surrogate", action="store_true", help="hostile mode: add the lone surrogate")
    p.add_argument("--dir", default=".", help="the folder every share serves")
    p.add_argument("--lifetime", type=float, default=120.0, help="seconds until the process ends")
    p.add_argument("--log", help="event log file (appended)")
    p.add_argument("--ready", help="file written once the port is open")
    args = p.parse_args()
    log = Log(args.log)
    if args.mode == "silent":
        count = serve_silent(args, log)
    else:
        count = serve_smb(args, log)
    log.write("ready pid=%d mode=%s shares=%d" % (os.getpid(), args.mode, count))
    if args.ready:
        with open(args.ready, "w", encoding="ascii") as ready:
            ready.write("%d\n" % os.getpid())
    time.sleep(args.lifetime)
    # The serving threads are daemons: leaving here ends them all.
    sys.stdout.flush()
    os._exit(0)


if __name__ == "__main__":
    main()
