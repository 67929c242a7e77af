#!/bin/bash
# Throughput of HTTPS from nginx over loopback, in MiB/s: the control's whole
# fetch through FetchURL (settings, probe, TCP, TLS through Schannel with the
# certificate check, HTTP/1.1, body) beside Wine's WinINet (InternetOpenUrl
# with https, 64 KiB reads, no cache: the baseline) and native curl, on a
# 1 MiB and a 64 MiB file; and plain HTTP through FetchURL beside
# FetchRemoteHTTP. Rounds of the clients are interleaved, so that load from
# elsewhere on the machine falls on all of them alike; the table gives the
# median of all rounds and its ratios. Every fetched copy is compared.
set -eu -o pipefail
source "$(dirname "$0")/lib.sh"
enter_namespace "$0" 900 "$@"

enter_workplace bench-https
start_web_servers >/dev/null
start_tls_servers >/dev/null

exe=$tree/bench/bench_http_fetch.exe
local_unix=$work/fetched.bin
local_windows=$(winpath "$local_unix")
"$wine" reg add 'HKLM\SOFTWARE\Quorvel\VexUpdate' /v ProbeTarget /d "127.0.0.1:$VEXA_LIGHTTPD_PORT" /f >/dev/null
"$wine" "$tree/tests/vexa_trust_root.exe"

head -c 1M /dev/urandom >"$VEXA_WEB_ROOT/bench-1m.bin"
head -c "${large_mib}M" /dev/urandom >"$VEXA_WEB_ROOT/$large"
rounds=$(count 5)
per_round() { if [ "$1" = bench-1m.bin ]; then count 9; else echo 1; fi; }

check_copy() {
    cmp -s "$local_unix" "$VEXA_WEB_ROOT/$1" || { echo "https-fetch: $2 fetched a wrong copy of $1" >&2; exit 1; }
}

# One round of one client: prints the rates of its fetches, one a line.
round() {
    local client=$1 file=$2 n i
    n=$(per_round "$file")
    rm -f "$local_unix"
    case $client in
    curl-https)
        for ((i = 0; i < n; i++)); do
            curl -sS --cacert "$PEER_DIR/tls-certs/root.pem" --max-time 120 -o "$local_unix" \
                -w '%{size_download} %{time_total}\n' "https://localhost:$VEXA_TLS_PORT/$file" |
                awk '{ print $1 / 1048576 / $2 }'
        done
        ;;
    *-https)
        timeout 300 "$wine" "$exe" "${client%-https}" "$VEXA_TLS_PORT" "/$file" "$local_windows" "$n" https all |
            tr -d '\r'
        ;;
    *)
        timeout 300 "$wine" "$exe" "$client" "$VEXA_LIGHTTPD_PORT" "/$file" "$local_windows" "$n" http all |
            tr -d '\r'
        ;;
    esac
    check_copy "$file" "$client"
}

clients=(vexa-url-https wininet-https curl-https vexa-url vexa)
"$wine" "$exe" wininet "$VEXA_TLS_PORT" /bench-1m.bin "$local_windows" 1 https >/dev/null 2>&1 || true # warm up
for file in bench-1m.bin "$large"; do
    for ((r = 0; r < rounds; r++)); do
        for client in "${clients[@]}"; do
            round "$client" "$file" >>"$work/$file.$client.rates"
        done
    done
done

median() { sort -g "$1" | awk '{ v[NR] = $1 } END { printf "%.1f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
declare -A m
for file in bench-1m.bin "$large"; do
    for client in "${clients[@]}"; do
        m[$file/$client]=$(median "$work/$file.$client.rates")
        rm -f "$work/$file.$client.rates"
    done
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
declare -A label=([vexa-url-https]="FetchURL https" [wininet-https]="WinINet https (baseline)"
                  [curl-https]="curl https (native)" [vexa-url]="FetchURL http" [vexa]="FetchRemoteHTTP http")
printf 'HTTPS from nginx and HTTP from lighttpd over loopback, MiB/s\n'
printf 'median of %d interleaved rounds (%d fetches a round for 1 MiB, 1 for %d MiB)\n\n' "$rounds" \
    "$(per_round bench-1m.bin)" "$large_mib"
printf '%-7s %-30s %10s %12s %10s\n' file client "MiB/s" "/ WinINet" "/ curl"
for file in bench-1m.bin "$large"; do
    size=${file#bench-}
    size=${size%m.bin}
    for client in "${clients[@]}"; do
        printf '%-7s %-30s %10s %12s %10s\n' "$size MiB" "${label[$client]}" "${m[$file/$client]}" \
            "$(ratio "${m[$file/$client]}" "${m[$file/wininet-https]}")" \
            "$(ratio "${m[$file/$client]}" "${m[$file/curl-https]}")"
    done
    printf '%-7s %-30s %10s\n' "$size MiB" "FetchURL http / FetchRemoteHTTP" \
        "$(ratio "${m[$file/vexa-url]}" "${m[$file/vexa]}")"
done
rm -f "$VEXA_WEB_ROOT"/bench-*.bin "$local_unix"
"$wine" reg delete 'HKLM\SOFTWARE\Quorvel\VexUpdate' /f >/dev/null 2>&1 || true
wineserver -k
