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
out=scan.out
[ "$(wc -l <"$LAN_TMP/$out")" -eq 4 ] || { cat "$LAN_TMP/$out"; fail "expected 4 records"; }
[ "$(cut -f2 "$LAN_TMP/$out" | grep -cx listed)" -eq 2 ] || fail "expected 2 listed records"

nas="$(lan_addr 1):$(lan_ports nas)"
zenas="$(lan_addr 2):$(lan_ports zenas)"
dlna="$(lan_addr 3):8200"
[ "$(tsv_field $out "$nas" 2)" = listed ] || fail "QvNAS device not listed"
[ "$(tsv_field $out "$nas" 3)" = QvNAS ] || fail "QvNAS short type"
[ "$(tsv_field $out "$nas" 4)" = "Qv NAS one" ] || fail "QvNAS friendly name"
[ "$(tsv_field $out "$nas" 6)" = "Halvren Storage Corporation" ] || fail "QvNAS manufacturer"
[ "$(tsv_field $out "$zenas" 2)" = listed ] || fail "ZeNAS device not listed"
[ "$(tsv_field $out "$zenas" 3)" = ZeNAS ] || fail "ZeNAS short type"
[ "$(tsv_field $out "$dlna" 2)" = not-listed ] || fail "MiniDLNA must not be listed"
[ "$(tsv_field $out "$dlna" 3)" = MediaServer ] || fail "MiniDLNA short type: $(tsv_field $out "$dlna" 3)"
caps="$(lan_addr 2):$(lan_ports caps)"
[ "$(tsv_field $out "$caps" 2)" = not-listed ] || fail "manufacturer in capitals must not be listed"
[ "$(tsv_field $out "$caps" 3)" = MediaRenderer ] || fail "renderer short type"
grep -q "$(lan_addr 1):$(lan_ports gateway)" "$LAN_TMP/$out" && fail "gateway published"
[ "$(lan_gets "$LAN_TMP/gateway.log")" -eq 2 ] || fail "gateway not fetched once per search"
case "$(tsv_field $out "$dlna" 6)" in
*Halvren*) fail "MiniDLNA manufacturer" ;;
"") fail "MiniDLNA has no manufacturer" ;;
esac

# The search went out from the scanning host's own address and each device was fetched once
# per search.
grep -q "msearch from=$(lan_addr 0):" "$LAN_TMP/nas.log" || fail "M-SEARCH not from $(lan_addr 0)"
[ "$(lan_gets "$LAN_TMP/nas.log")" -eq 2 ] || fail "QvNAS device fetched $(lan_gets "$LAN_TMP/nas.log") times"
[ "$(lan_gets "$LAN_TMP/zenas.log")" -eq 2 ] || fail "ZeNAS device fetched $(lan_gets "$LAN_TMP/zenas.log") times"
echo "PASS: 2 maker devices listed, MiniDLNA published and not listed"
