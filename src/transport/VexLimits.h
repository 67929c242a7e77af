// Time limits of the engine, in one place.
#pragma once

// Limit of each single wait of a transfer. Test builds may shorten it so that
// every timeout path runs in seconds; release builds keep 300.
#ifndef VEXA_TRANSFER_TIMEOUT_SECONDS
#define VEXA_TRANSFER_TIMEOUT_SECONDS 300
#endif
constexpr unsigned kTransferTimeoutSeconds = VEXA_TRANSFER_TIMEOUT_SECONDS;

// Limit of the connectivity probe's connection attempt.
constexpr unsigned kProbeTimeoutSeconds = 1;

// Longest single block inside select before the message queue is drained
// again: window messages stay responsive while a waiting channel sleeps
// instead of spinning a processor.
constexpr unsigned kWaitSliceMilliseconds = 10;
