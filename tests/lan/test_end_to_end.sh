#!/usr/bin/env bash
# Two maker devices and MiniDLNA on one LAN: the search publishes all three, the two maker
# devices are listed and MiniDLNA (a media server of another maker) is not. Beside them, on the
# same hosts: a gateway of the maker (type not accepted: fetched, never published) and a
# renderer whose manufacturer is the maker's name in capitals (published, not listed).
set -u
source "$(dirname "$0")/lan.sh"
lan_setup_test "$@"
lan_require python3 minidlnad
lan_init
lan_create 4

lan_device 1 nas --device-type urn:schemas-upnp-org:device:QvNAS:1 --friendly-name "Qv NAS one"
lan_device 2 zenas --device-type urn:schemas-upnp-org:device:ZeNAS:1 --friendly-name "Ze NAS two" \
    --header-case lower --delay-ms 300
lan_minidlna 3 minidlna
lan_device 1 gateway --device-type urn:schemas-upnp-org:device:InternetGatewayDevice:1 --delay-ms 100
lan_device 2 caps --device-type urn:schemas-upnp-org:device:MediaRenderer:1 \
    --manufacturer "HALVREN STORAGE CORPORATION" --friendly-name "Capitals" --delay-ms 200

lan_search 0 scan
[ "$(wc -l <"$LAN_TMP/scan.out")" -eq 4 ] || fail "expected 4 records: $(cat "$LAN_TMP/scan.out")"
dlna="$(lan_addr 3):8200"
expect_fields scan.out "$(lan_hp 1 nas)" 2 listed QvNAS "Qv NAS one"
expect_fields scan.out "$(lan_hp 2 zenas)" 2 listed ZeNAS
expect_fields scan.out "$dlna" 2 not-listed MediaServer
expect_fields scan.out "$(lan_hp 2 caps)" 2 not-listed MediaRenderer
case "$(tsv_field scan.out "$dlna" 6)" in
*Halvren* | "") fail "MiniDLNA manufacturer: '$(tsv_field scan.out "$dlna" 6)'" ;;
esac

# The search went out from the scanning host's own address, and each device, the gateway
# included, was fetched once per search (two searches).
grep -q "msearch from=$(lan_addr 0):" "$LAN_TMP/nas.log" || fail "M-SEARCH not from $(lan_addr 0)"
for name in nas zenas gateway; do
    [ "$(lan_gets "$LAN_TMP/$name.log")" -eq 2 ] || fail "$name fetched $(lan_gets "$LAN_TMP/$name.log") times"
done
echo "PASS: 2 maker devices listed, MiniDLNA published and not listed"
