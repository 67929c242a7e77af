#!/bin/bash
# Throughput of an HTTP fetch from lighttpd over loopback, in MiB/s: the
# control's whole fetch (CVexEngine::FetchRemoteFile: settings, probe,
# connection, request, body) beside Wine's WinINet (the baseline), Wine's
# URLDownloadToFileA and native curl, on a 1 MiB and a 64 MiB file. The table
# gives the median of several fetches, the best in brackets, and the
# median's ratio to WinINet and to curl. Every fetched copy is compared with
# the original.
set -eu -o pipefail
source "$(dirname "$0")/lib.sh"
enter_namespace "$0" 600 "$@"

enter_workplace bench-http
start_web_servers

exe=$tree/bench/bench_http_fetch.exe
local_unix=$work/fetched.bin
local_windows="Z:${local_unix//\//\\}"
"$wine" reg add 'HKLM\SOFTWARE\Quorvel\VexUpdate' /v ProbeTarget /d "127.0.0.1:$VEXA_LIGHTTPD_PORT" /f >/dev/null

head -c 1M /dev/urandom >"$VEXA_WEB_ROOT/bench-1m.bin"
head -c "${large_mib}M" /dev/urandom >"$VEXA_WEB_ROOT/$large"
repetitions() { if [ "$1" = bench-1m.bin ]; then count 41; else count 7; fi; }

check_copy() {
    cmp -s "$local_unix" "$VEXA_WEB_ROOT/$1" || { echo "http-fetch: $2 fetched a wrong copy of $1" >&2; exit 1; }
}

windows_rates() {
    local client=$1 file=$2 rates
    rm -f "$local_unix"
    rates=$(timeout 180 "$wine" "$exe" "$client" "$VEXA_LIGHTTPD_PORT" "/$file" "$local_windows" \
        "$(repetitions "$file")" | tr -d '\r')
    check_copy "$file" "$client"
    echo "$rates"
}

curl_rates() {
    local file=$1 args=() i
    for ((i = 0; i < $(repetitions "$file"); i++)); do
        args+=("http://127.0.0.1:$VEXA_LIGHTTPD_PORT/$file" -o "$local_unix")
    done
    rm -f "$local_unix"
    curl -sS --http1.0 --max-time 120 -w '%{size_download} %{time_total}\n' "${args[@]}" |
        awk '{ print $1 / 1048576 / $2 }' | sort -g |
        awk '{ r[NR] = $1 } END { m = NR % 2 ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2;
                                  printf "%.1f %.1f\n", m, r[NR] }'
    check_copy "$file" curl
}

"$wine" "$exe" wininet "$VEXA_LIGHTTPD_PORT" /bench-1m.bin "$local_windows" 1 >/dev/null 2>&1 || true # warm up

declare -A median best
for file in bench-1m.bin "$large"; do
    for client in vexa wininet urlmon curl; do
        if [ $client = curl ]; then
            rates=$(curl_rates "$file")
        else
            rates=$(windows_rates $client "$file")
        fi
        read -r "median[$file/$client]" "best[$file/$client]" <<<"$rates"
    done
done

printf 'HTTP fetch from lighttpd over loopback\n'
printf 'median of %d (1 MiB) and %d (%d MiB) fetches, best in brackets\n\n' \
    "$(repetitions bench-1m.bin)" "$(repetitions "$large")" "$large_mib"
printf '%-7s %-36s %18s %10s %8s\n' file client "MiB/s" "/ WinINet" "/ curl"
declare -A label=([vexa]="CVexEngine::FetchRemoteFile" [wininet]="WinINet (baseline)"
                  [urlmon]="URLDownloadToFileA" [curl]="curl (native)")
for file in bench-1m.bin "$large"; do
    size=${file#bench-}
    size=${size%m.bin}
    for client in vexa wininet urlmon curl; do
        key=$file/$client
        printf '%-7s %-36s %18s %10s %8s\n' "$size MiB" "${label[$client]}" "${median[$key]} (${best[$key]})" \
            "$(awk -v a="${median[$key]}" -v b="${median[$file/wininet]}" 'BEGIN { printf "%.2f", a / b }')" \
            "$(awk -v a="${median[$key]}" -v b="${median[$file/curl]}" 'BEGIN { printf "%.2f", a / b }')"
    done
done
rm -f "$VEXA_WEB_ROOT"/bench-*.bin "$local_unix"
"$wine" reg delete 'HKLM\SOFTWARE\Quorvel\VexUpdate' /f >/dev/null 2>&1 || true
wineserver -k
