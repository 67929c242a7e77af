#!/bin/bash
# What a route through an HTTP proxy costs, through the registered control
# from a C++ host (bench/proxy_fetch.cpp): the latency of a small fetch
# directly, through "HTTPProxy" (tinyproxy), through the system's fixed proxy
# and with the system's configuration script, beside WinINet directly and
# through the same proxy; and a 64 MiB fetch through the proxy beside WinINet
# and curl through it. Medians; the variants take turns in every round.
set -eu -o pipefail
source "$(dirname "$0")/lib.sh"
enter_namespace "$0" 600 "$@"

enter_workplace bench-proxy
start_web_servers >/dev/null
start_http_proxies >/dev/null
printf 'small file\n' >"$VEXA_WEB_ROOT/small.txt"
head -c "${large_mib}M" /dev/urandom >"$VEXA_WEB_ROOT/$large"
proxy=127.0.0.1:$VEXA_TINYPROXY_PORT

winpath() { echo "Z:${1//\//\\}"; }
dll=$(winpath "$tree/src/component/Vexa3.dll")
"$wine" regsvr32.exe /s "$dll"
"$wine" reg add 'HKLM\SOFTWARE\Quorvel\VexUpdate' /v ProbeTarget /d "127.0.0.1:$VEXA_LIGHTTPD_PORT" /f >/dev/null

declare -A v
while read -r name value; do
    v[$name]=$value
done < <("$wine" "$tree/bench/bench_proxy_fetch.exe" "$VEXA_LIGHTTPD_PORT" "$proxy" \
    "$VEXA_PROXY_ONLY_HOST" "$VEXA_PAC_URL" /small.txt "/$large" "$(count 51)" | tr -d '\r')

v[large-curl]=$(for ((i = 0; i < $(count 5); i++)); do
    curl -sS -x "http://$proxy" --max-time 120 -o /dev/null -w '%{size_download} %{time_total}\n' \
        "http://$VEXA_PROXY_ONLY_HOST:$VEXA_LIGHTTPD_PORT/$large"
done | awk '{ print $1 / 1048576 / $2 }' | sort -g | awk '{ r[NR] = $1 } END { printf "%.1f", NR % 2 ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2 }')

"$wine" reg delete 'HKLM\SOFTWARE\Quorvel\VexUpdate' /f >/dev/null 2>&1 || true
"$wine" regsvr32.exe /u /s "$dll"
rm -f "$VEXA_WEB_ROOT/small.txt" "$VEXA_WEB_ROOT/$large"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
row() { printf '%-46s %10s %-34s %8s\n' "$1" "$2" "$3" "$4"; }
printf 'Fetches through an HTTP proxy (tinyproxy on loopback): medians of %d small fetches, %d large\n\n' \
    "$(count 51)" "$(count 5)"
row measure value baseline ratio
row "small fetch, direct (ms)" "${v[small-direct]}" "WinINet direct ${v[small-wininet-direct]} ms" \
    "$(ratio "${v[small-direct]}" "${v[small-wininet-direct]}")"
row "small fetch, HTTPProxy (ms)" "${v[small-http-proxy]}" "WinINet via proxy ${v[small-wininet-proxy]} ms" \
    "$(ratio "${v[small-http-proxy]}" "${v[small-wininet-proxy]}")"
row "small fetch, system fixed proxy (ms)" "${v[small-system-fixed]}" "HTTPProxy ${v[small-http-proxy]} ms" \
    "$(ratio "${v[small-system-fixed]}" "${v[small-http-proxy]}")"
row "small fetch, system script, DIRECT (ms)" "${v[small-system-script]}" "direct ${v[small-direct]} ms" \
    "$(ratio "${v[small-system-script]}" "${v[small-direct]}")"
row "$large_mib MiB via proxy, FetchURL (MiB/s)" "${v[large-control]}" "WinINet via proxy ${v[large-wininet]}" \
    "$(ratio "${v[large-control]}" "${v[large-wininet]}")"
row "" "" "curl via proxy ${v[large-curl]}" "$(ratio "${v[large-control]}" "${v[large-curl]}")"
wineserver -k
