#!/usr/bin/env bash
# Captures real answers as fuzz seeds, inside a test LAN of its own (never from the root
# namespace's network): the scriptable test device in each framing, and MiniDLNA. Writes
#   corpus/fuzz_http_response/real-*   (plan byte 0: the answer read whole) and
#   corpus/fuzz_ssdp_search/real-*     (the SSDP answers as datagram events)
# The captures are committed; run this again only to refresh them (root needed).
#
# usage: capture_seeds.sh
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lan/lan.sh"
LAN_DEVICE="$here/../lan/qvlink-testdevice.py"
lan_require python3 minidlnad
lan_init
lan_create 6

lan_device 1 length --framing length
lan_device 2 chunked --framing chunked --chunk-bytes 200 --chunk-ext ';ext=1'
lan_device 3 close --framing close
lan_device 4 plain --framing chunked
lan_minidlna 5 dlna

http=$here/corpus/fuzz_http_response
ssdp=$here/corpus/fuzz_ssdp_search
mkdir -p "$http" "$ssdp"
# One M-SEARCH from host 0, every answer kept as a datagram event (type byte 2, length byte,
# bytes; answers over 255 bytes are cut there), each description fetched with the program's
# request.
ip netns exec "$(lan_ns 0)" python3 - "$(lan_addr 0)" "$http" "$ssdp" <<'EOF'
import re, socket, sys, time
addr, http, ssdp = sys.argv[1:]
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind((addr, 0))
s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(addr))
s.sendto(b'M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nST: upnp:rootdevice\r\n'
         b'MAN: "ssdp:discover"\r\nMX: 1\r\n\r\n', ("239.255.255.250", 1900))
s.settimeout(2.0)
answers = []
end = time.monotonic() + 3
while time.monotonic() < end:
    try:
        data, peer = s.recvfrom(2048)
    except socket.timeout:
        break
    answers.append(data)
events = b"".join(b"\x02" + bytes([min(len(a), 255)]) + a[:255] for a in answers)
open(ssdp + "/real-answers", "wb").write(events + b"\x00" + events)
for n, a in enumerate(answers):
    m = re.search(rb"(?i)location: *http://([0-9.]+):([0-9]+)(/[^\r\n]*)", a)
    if not m:
        continue
    host, port, path = m.group(1).decode(), int(m.group(2)), m.group(3).decode()
    c = socket.create_connection((host, port), timeout=3)
    c.sendall(("GET %s HTTP/1.1\r\nHost: %s:%d\r\nConnection: Close\r\n"
               "User-Agent: Windows, UPnP/1.0, QVLink/1.00.01\r\n\r\n" % (path, host, port)).encode())
    body = b""
    while True:
        chunk = c.recv(4096)
        if not chunk:
            break
        body += chunk
    c.close()
    name = "real-minidlna" if b"MiniDLNA" in a else "real-testdevice-%d" % n
    open(http + "/" + name, "wb").write(b"\x00" + body)
print("%d answers captured" % len(answers))
EOF
