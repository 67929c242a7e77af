// vexa_trust_root: puts the TLS test peers' root CA into the local machine's
// "Root" store of the Wine prefix it runs in, for scripts whose programs
// fetch from those peers (the script-host tests, the main job).
//
//   wine vexa_trust_root.exe [ROOT.DER]   (a Windows path; without it, the
//                                          file named by VEXA_TLS_ROOT_DER)
#include "TestTls.h"

int main(int argc, char** argv)
{
    const bool bTrusted = argc > 1 ? AddTrustedRoot(argv[1]) : TrustTestRoot();
    return bTrusted ? 0 : 1;
}
