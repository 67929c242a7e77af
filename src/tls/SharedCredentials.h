// The Schannel client credentials of the whole process. Every TLS channel
// uses the same handle: Windows keeps TLS sessions per credentials handle
// and target name, so a second connection to a server resumes the session
// of the first (an abbreviated handshake) only when both share the handle.
// (Wine 8's Schannel never resumes; there the one handle saves an
// AcquireCredentialsHandle per connection.) Acquired on first use, kept
// across fetches, released when the module is about to unload.
#pragma once

#include <windows.h>
#define SECURITY_WIN32
#include <security.h>

namespace tls {

// The shared handle; null when the package refuses it, with its answer in
// *pStatus. The handle may be used by several channels at once.
CredHandle* SharedClientCredentials(SECURITY_STATUS* pStatus);
// Frees the handle when no channel can use it any more (the module's last
// object is gone); the next channel acquires a new one.
void ReleaseSharedClientCredentials();

} // namespace tls
