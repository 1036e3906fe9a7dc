#!/usr/bin/python3
"""Reference SSDP client for the search benchmark, built on Debian's GSSDP library.

usage: gssdp_reference.py IFACE SECONDS

Browses for upnp:rootdevice (MX 1) on IFACE for SECONDS and prints, for each resource that
GSSDP reports available, one line: "available NS USN LOCATION" with NS the CLOCK_MONOTONIC
time in nanoseconds of the report. GSSDP reports from the SSDP answer alone; it fetches no
description. It sends its M-SEARCH more than once; a device is reported once.
"""

import sys
import time

import gi

gi.require_version("GSSDP", "1.6")
from gi.repository import GLib, GSSDP  # noqa: E402


def main():
    iface, seconds = sys.argv[1], float(sys.argv[2])
    client = GSSDP.Client.new_full(iface, None, 0, GSSDP.UDAVersion.VERSION_1_0)
    browser = GSSDP.ResourceBrowser.new(client, "upnp:rootdevice")
    browser.set_mx(1)

    def available(_browser, usn, locations):
        print("available %d %s %s" % (time.monotonic_ns(), usn, locations[0] if locations else "-"), flush=True)

    browser.connect("resource-available", available)
    loop = GLib.MainLoop()
    GLib.timeout_add(int(seconds * 1000), loop.quit)
    print("start %d" % time.monotonic_ns(), flush=True)
    browser.set_active(True)
    loop.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
