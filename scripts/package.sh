#!/usr/bin/env bash
# Builds the program (no tests) and makes the Debian package build/app/ordwell_<version>_<arch>.deb,
# with its debug information in build/app/ordwell-dbgsym_<version>_<arch>.ddeb.
# Install it with: sudo apt install ./build/app/ordwell_*.deb
# The time stamps inside come from the last commit (SOURCE_DATE_EPOCH), and the paths recorded in
# the debug information are relative to the checkout, so every checkout of a commit built on the
# same system gives the same bytes (scripts/check-reproducible.sh checks it).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build dpkg-dev
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH="$(git log -1 --format=%ct 2>/dev/null)" \
    || { echo "not a git checkout: set SOURCE_DATE_EPOCH to the sources' time" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH LC_ALL=C TZ=UTC
umask 022
cmake --preset app >/dev/null
cmake --build --preset app
(cd build/app && cpack -G DEB)

# CPack lists the debug package's files in its md5sums under their absolute staging paths, which
# dpkg cannot check and which differ from one checkout to another: list them relative to the
# package root, as in any package, and pack it again.
for ddeb in build/app/*.ddeb; do
  [ -f "$ddeb" ] || continue
  root="$(mktemp -d)"
  dpkg-deb -R "$ddeb" "$root/pkg"
  sed -i 's#  .*/_CPack_Packages/[^/]*/DEB/[^/]*/#  #' "$root/pkg/DEBIAN/md5sums"
  dpkg-deb --root-owner-group --build "$root/pkg" "$ddeb" >/dev/null
  rm -rf "$root"
done
