#!/usr/bin/env bash
# scripts/release from a fresh clone of the tree: refuses a change, gives this build's very bytes, signs them with a
# throwaway certificate (verified, and given back when the signature is removed), and the signed file runs.
#
# Usage: release_test.sh TREE "build/win32/Remove Pelvane.exe" pelvane-driver.exe, in the 32-bit Wine ring
# (scripts/wine-tests --win32 sets up its prefix and display). Ends with "N passed, N failed".
set -uo pipefail
tree="$1" built="$2" driver="$3"
work="$(mktemp -d "${TMPDIR:-/tmp}/pelvane-release-test.XXXXXX")"
trap 'rm -rf "${work:?}"' EXIT
passed=0 failed=0
check() {
    local what="$1"
    shift
    if "$@" >"$work/last.log" 2>&1; then echo "ok: $what"; passed=$((passed + 1))
    else echo "FAILED: $what"; cat "$work/last.log"; failed=$((failed + 1)); fi
}

# The tree as it is, committed in a repository of its own, cloned into another folder as a new user would.
"$tree/scripts/lib/copy-tree" "$tree" "$work/origin"
git -C "$work/origin" init -q && git -C "$work/origin" add -A &&
    git -C "$work/origin" -c user.name=test -c user.email=test@invalid commit -q -m "the tree under test" &&
    git clone -q "$work/origin" "$work/a clone" || { echo "FAILED: cannot make the clone"; exit 1; }
clone="$work/a clone" dist="$work/a clone/dist"

echo "changed" >>"$clone/README.md"
check "a tree with a change is refused, the change named, nothing written" bash -c \
    '! "$1/scripts/release" >"$2" 2>&1 && grep -q "uncommitted changes" "$2" && grep -q "M README.md" "$2" &&
     [ ! -e "$1/dist" ]' _ "$clone" "$work/refused.log"
git -C "$clone" checkout -q README.md

check "scripts/release writes the file, SHA256SUMS and RELEASE.txt" "$clone/scripts/release"
check "the released file is the same bytes as this build's" cmp "$dist/Remove Pelvane.exe" "$built"
check "SHA256SUMS checks out" bash -c 'cd "$1" && sha256sum --check --strict SHA256SUMS' _ "$dist"
check "RELEASE.txt: version, commit, size, SHA-256" grep -qzE \
    "^Remove Pelvane 6\.0\.159\.1.*$(git -C "$clone" rev-parse HEAD).*$(stat -c %s "$built") bytes.*$(sha256sum "$built" | cut -d' ' -f1)" \
    "$dist/RELEASE.txt"

openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Throwaway Remove Pelvane test signer" \
    -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" >"$work/openssl.log" 2>&1 ||
    { cat "$work/openssl.log"; echo "FAILED: openssl could not make a certificate"; exit 1; }
check "scripts/release --sign signs with the throwaway certificate" \
    "$clone/scripts/release" --sign "$work/cert.pem" "$work/key.pem"
check "osslsigncode verify passes" osslsigncode verify -CAfile "$work/cert.pem" -in "$dist/Remove Pelvane.exe"
check "SHA256SUMS names the signed file" bash -c 'cd "$1" && sha256sum --check --strict SHA256SUMS' _ "$dist"
check "removing the signature gives back the reproducible bytes" bash -c \
    'osslsigncode remove-signature -in "$1" -out "$2" && ! cmp -s "$1" "$3" && cmp "$2" "$3"' \
    _ "$dist/Remove Pelvane.exe" "$work/unsigned.exe" "$built"

# The signed file under Wine's i386 loader: the first question answered No ends it with exit code 0.
windows_path="Z:${dist//\//\\}\\Remove Pelvane.exe"
check "the signed file runs: its first question answered No, exit code 0" bash -c \
    'timeout 150 "$1/scripts/wine32-run" "$2" --program "$3" --answers no --time-limit 90 >"$4" 2>&1; status=$?
     report="$(tr -d "\r" <"$4")"; echo "$report"
     [ $status -eq 0 ] && grep -q "^dialog 1 .*Do you want to proceed?" <<<"$report" &&
     grep -q "answered at .*: No$" <<<"$report" && ! grep -q "^dialog 2" <<<"$report" &&
     grep -q "^exit code: 0 after" <<<"$report"' \
    _ "$tree" "$driver" "$windows_path" "$work/run.txt"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
