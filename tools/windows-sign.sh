#!/usr/bin/env bash
# Signs one Windows program in place (Authenticode, SHA-256) with the certificate that
# ORTEX_SIGN_PKCS12 names and the password that ORTEX_SIGN_PASSWORD_FILE holds:
#   bash tools/windows-sign.sh FILE.exe
# tools/windows-package.sh calls it for the program, and makensis for the installer and for the
# uninstaller the installer carries.
set -euo pipefail
file=$1
[ -f "${ORTEX_SIGN_PKCS12:-}" ] || { echo "windows-sign: no certificate in ORTEX_SIGN_PKCS12" >&2; exit 1; }
[ -f "${ORTEX_SIGN_PASSWORD_FILE:-}" ] || { echo "windows-sign: no password file in ORTEX_SIGN_PASSWORD_FILE" >&2; exit 1; }
osslsigncode sign -pkcs12 "$ORTEX_SIGN_PKCS12" -readpass "$ORTEX_SIGN_PASSWORD_FILE" -h sha256 \
  -n "Конфигуратор Ортекс" -in "$file" -out "$file.signed" >/dev/null
mv "$file.signed" "$file"
