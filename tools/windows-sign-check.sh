#!/usr/bin/env bash
# Checks signing with a throwaway self-signed certificate, made here: tools/windows-package.sh,
# given it, signs the program, the installer and the uninstaller that the installer writes out (the
# installer runs silently in a fresh wine prefix for it), and osslsigncode reads each signature back
# and finds it whole and made by that certificate. The deliverables in build-windows/, made without
# a certificate, carry no signature. The signed ones are made in build-windows/sign-check/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$PWD/build-windows
work=$build/sign-check
version=$(sed -n 's/^project(ConfigOrtex VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
fail() { echo "windows-sign-check: FAILED: $*" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work/out"

for file in "$build/ConfigOrtex-$version-win64/ConfigOrtex.exe" "$build/ConfigOrtex-$version-setup.exe"; do
  ! osslsigncode verify -in "$file" >"$work/unsigned.log" 2>&1 ||
    fail "$(basename "$file"), made without a certificate, is signed"
  grep -q "No signature found" "$work/unsigned.log" || fail "osslsigncode did not read $(basename "$file"): $(cat "$work/unsigned.log")"
done

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=ConfigOrtex signing check" \
  -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
echo "throwaway-$RANDOM" >"$work/password"
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout "file:$work/password" \
  -out "$work/cert.p12"
ORTEX_PACKAGE_OUT=$work/out ORTEX_SIGN_PKCS12=$work/cert.p12 ORTEX_SIGN_PASSWORD_FILE=$work/password \
  bash tools/windows-package.sh >"$work/package.log"

# No menu entries or icons for the installed program in the home folder.
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wineboot -i >/dev/null 2>&1
# Wine plays Windows 7 by default, which the installer refuses.
wine reg add 'HKCU\Software\Wine' /v Version /d win10 /f >/dev/null
wine "$work/out/ConfigOrtex-$version-setup.exe" /S
wineserver -w
uninstaller="$WINEPREFIX/drive_c/Program Files/ConfigOrtex/uninstall.exe"
[ -f "$uninstaller" ] || fail "the signed installer wrote no uninstaller"
cp "$uninstaller" "$work/uninstall.exe"
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"

# The certificate is its own authority: with it as the trusted one, the chain verifies too.
for file in "$work/out/ConfigOrtex-$version-win64/ConfigOrtex.exe" "$work/out/ConfigOrtex-$version-setup.exe" \
            "$work/uninstall.exe"; do
  osslsigncode verify -CAfile "$work/cert.pem" -in "$file" >"$work/verify.log" 2>&1 ||
    fail "$(basename "$file"): the signature does not verify: $(tail -5 "$work/verify.log")"
  grep -q "Subject: /CN=ConfigOrtex signing check" "$work/verify.log" ||
    fail "$(basename "$file"): not signed with the throwaway certificate: $(cat "$work/verify.log")"
  echo "windows-sign-check: $(basename "$file") signed and verified"
done
rm -f "$work/key.pem" "$work/cert.p12" "$work/password"
echo "windows-sign-check: all checks passed"
