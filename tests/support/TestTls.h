// Trust for the TLS test peers: the test root CA made by
// tests/peers/make-certs.sh goes into the local machine's "Root" store of
// the Wine prefix, where the platform's chain engine finds it. A root added
// this way is trusted by Wine 8's chain engine at once, in this process and
// in later ones.
#pragma once

// Adds the DER certificate in the file at pszPath (a Windows path) to the
// local machine's "Root" store, replacing an equal one. Prints why it failed.
bool AddTrustedRoot(const char* pszPath);

// AddTrustedRoot for the file named by VEXA_TLS_ROOT_DER (a Unix path, as
// tests/peers/peers.sh exports it). Idempotent.
bool TrustTestRoot();

// Empties Wine's cache of revocation verdicts, so that the next check of a
// certificate fetches its CRL. Wine 8 fetches the CRL and finds a revoked
// certificate revoked, but caches the verdict as "not revoked" until the
// CRL's next update, under a file name that does not even tell certificates
// apart: every later check of that certificate, and of others, passes.
void ForgetCachedRevocation();
