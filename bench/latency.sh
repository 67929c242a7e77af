#!/bin/bash
# Latencies through the registered control from a C++ host: a small HTTP
# fetch beside WinINet (the baseline), and the connectivity probe against a
# listening and a closed loopback target beside a plain connect.
set -eu -o pipefail
source "$(dirname "$0")/lib.sh"
enter_namespace "$0" 300 "$@"

enter_workplace bench-latency
start_web_servers >/dev/null
printf 'small file\n' >"$VEXA_WEB_ROOT/small.txt"

winpath() { echo "Z:${1//\//\\}"; }
dll=$(winpath "$tree/src/component/Vexa3.dll")
"$wine" regsvr32.exe /s "$dll"
"$wine" reg add 'HKLM\SOFTWARE\Quorvel\VexUpdate' /v ProbeTarget /d "127.0.0.1:$VEXA_LIGHTTPD_PORT" /f >/dev/null
closed_port=9 # nothing listens on the discard port in the namespace

declare -A ms
while read -r name value; do
    ms[$name]=$value
done < <("$wine" "$tree/bench/bench_latency.exe" "$VEXA_LIGHTTPD_PORT" "$closed_port" "$(count 101)" | tr -d '\r')

"$wine" reg delete 'HKLM\SOFTWARE\Quorvel\VexUpdate' /f >/dev/null 2>&1 || true
"$wine" regsvr32.exe /u /s "$dll"
rm -f "$VEXA_WEB_ROOT/small.txt"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
printf 'Latency through the control (median of %d), milliseconds\n\n' "$(count 101)"
printf '%-44s %10s %-30s %8s\n' measure ms baseline ratio
printf '%-44s %10s %-30s %8s\n' "small HTTP fetch, FetchRemoteHTTP" "${ms[fetch-control]}" \
    "WinINet fetch ${ms[fetch-wininet]} ms" "$(ratio "${ms[fetch-control]}" "${ms[fetch-wininet]}")"
printf '%-44s %10s %-30s %8s\n' "IsInternetConnected, target listening" "${ms[probe-reachable]}" \
    "connect() ${ms[connect-reachable]} ms" "$(ratio "${ms[probe-reachable]}" "${ms[connect-reachable]}")"
printf '%-44s %10s %-30s %8s\n' "IsInternetConnected, target refusing" "${ms[probe-unreachable]}" \
    "connect() ${ms[connect-closed]} ms" "$(ratio "${ms[probe-unreachable]}" "${ms[connect-closed]}")"
wineserver -k
