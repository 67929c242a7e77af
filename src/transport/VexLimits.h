// Time limits of the engine, in one place.
#pragma once

#include <cstddef>

// Limit of each single wait of a transfer. Test builds may shorten it so that
// every timeout path runs in seconds; release builds keep 300.
#ifndef VEXA_TRANSFER_TIMEOUT_SECONDS
#define VEXA_TRANSFER_TIMEOUT_SECONDS 300
#endif
constexpr unsigned kTransferTimeoutSeconds = VEXA_TRANSFER_TIMEOUT_SECONDS;
// The range a host may set a control's limit to: a second to a day.
constexpr unsigned kMinTimeoutSeconds = 1;
constexpr unsigned kMaxTimeoutSeconds = 86400;

// Limit of one evaluation of the system's proxy configuration script, its
// download included. Wine's WinHTTP does not end a download from a server
// that accepts and never answers (its timeouts do not apply there), so the
// engine stops waiting on its own. Test builds shorten it.
#ifndef VEXA_PROXY_SCRIPT_SECONDS
#define VEXA_PROXY_SCRIPT_SECONDS 10
#endif
constexpr unsigned kProxyScriptSeconds = VEXA_PROXY_SCRIPT_SECONDS;

// Limit of the connectivity probe's connection attempt.
constexpr unsigned kProbeTimeoutSeconds = 1;

// The addresses of one name that a connection tries, in the order of
// InterleaveFamilies: enough for every address family's few answers, few
// enough that a long list cannot hold a connection beyond reason.
constexpr size_t kMaxAddressesPerName = 16;

// A connection attempt that has not connected in this time gets a second
// one to the next address beside it (RFC 8305 recommends 250 ms).
constexpr unsigned kConnectionAttemptDelayMilliseconds = 250;

// Longest sleep of a wait that has no event to wake it (the platform refused
// one), and how often a transfer between blocks drains the message queue:
// window messages stay responsive without spinning a processor.
constexpr unsigned kWaitSliceMilliseconds = 10;

// Data of a transfer moves in blocks of this size: one receive (or local
// read) per block, written out at once, so memory does not grow with the
// file. Under Wine every socket call is a round trip to the server, which
// makes small blocks expensive. Measured with bench/ftp-retrieve.sh (64 MiB
// over loopback, rounds interleaved): 16 KiB blocks cost twice the CPU per
// MiB of 64 KiB ones, and 256 KiB blocks moved 12-18 % more than 64 KiB on a
// quiet machine and twice as much on a loaded one.
constexpr int kTransferBlockSize = 256 * 1024;

// The progress and abort hooks are consulted on every seventh block.
constexpr unsigned kBlocksPerProgressReport = 7;

// Redirects a URL fetch follows in a row before it gives up: more than any
// sound site needs, few enough to end a loop quickly.
constexpr unsigned kMaxRedirects = 10;
