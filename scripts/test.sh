#!/bin/bash
# The whole test suite: installs what is missing, builds the 32-bit and the
# 64-bit DLL trees and the native parser tests, then runs every test inside a
# private network namespace with only loopback up: the native tests and the
# fuzzers once, every Windows test twice, the x86_64 programs under the
# 64-bit loader and the i686 programs under the 32-bit loader, each in a
# prefix of its own; then the Windows Installer packages, installed, repaired,
# upgraded and removed under Wine in a namespace of their own (tests/install);
# then every benchmark once, quickly. Arguments go to both
# CTest runs (for example -R VexSock -V) and leave the benchmarks out;
# VEXA_TEST_ARCHS="i686" runs one architecture only.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build_root=${VEXA_BUILD_ROOT:-$root/build}
cd "$root"

# Root needs no sudo (a minimal machine has none); anybody else does.
if [ "$(id -u)" != 0 ]; then
    exec sudo --preserve-env=VEXA_BUILD_ROOT,VEXA_DIST,VEXA_TEST_ARCHS "$0" "$@"
fi

scripts/setup.sh
# CI signs the distribution with a throwaway certificate made here; the
# installer tests verify the signatures against its test root.
tests/install/make-signing-cert.sh "$build_root/signing"
export VEXA_SIGN_CERT=$build_root/signing/signer.pem VEXA_SIGN_KEY=$build_root/signing/signer.key
export VEXA_SIGN_VERIFY_ROOT=$build_root/signing/root.pem
scripts/build.sh

for arch in ${VEXA_TEST_ARCHS:-x86_64 i686}; do
    (
        source scripts/wine-env.sh "$arch"
        vexa_loader_runs || exit 0
        scripts/wine-prefix.sh
        # A wineserver started outside the namespace would put every socket on
        # the host's loopback: stop it, the namespace starts its own.
        wineserver -k 2>/dev/null || true
    )
done

unshare --net --pid --fork --mount-proc scripts/netns-tests.sh "$@"
unshare --net --pid --fork --mount-proc tests/install/run.sh

# Every benchmark once on small files (the whole suite only, not a run
# narrowed by arguments): one that no longer starts or reports a figure fails
# the suite. Its figures mean nothing; bench/run-all.sh without --quick
# measures.
if [ $# -eq 0 ]; then
    VEXA_BENCH_BUILT=1 bench/run-all.sh --quick
fi
