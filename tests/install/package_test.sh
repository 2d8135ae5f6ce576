#!/usr/bin/env bash
# Checks the Debian packages `cpack -G DEB` made in BUILD_DIR/package: one per
# part (library, qvdb, development files, Python module), each file where
# Debian wants it (the library in the multiarch folder, the man page
# compressed, a copyright file and changelog.Debian.gz per package), no file
# in two packages, the dependencies between them and on the libraries they
# link, qvdb running from the unpacked tree without a run path, and no
# lintian error (its warnings are printed).
# Usage: package_test.sh BUILD_DIR
set -euo pipefail
dir=$1/package
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
  echo "package_test: $*" >&2
  exit 1
}
arch=$(dpkg --print-architecture)
ma=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)

# package -> files it must hold (paths below /, regular expressions)
declare -A must=(
  [libqv-dbprovider1]="usr/lib/$ma/libQv_DBProvider\.so\.1 usr/share/Qv_DBProvider/refdata/EDITION"
  [qvdb]="usr/bin/qvdb usr/share/man/man1/qvdb\.1\.gz usr/share/bash-completion/completions/qvdb"
  [libqv-dbprovider-dev]="usr/include/Qv_DBProvider/QvDBProvider\.h usr/lib/$ma/libQv_DBProvider\.so
    usr/lib/$ma/pkgconfig/QvDBProvider\.pc usr/lib/$ma/cmake/QvDBProvider/QvDBProviderConfig\.cmake"
  [python3-qvdb]="usr/lib/python3/dist-packages/qvdb\..*\.so"
)
# package -> what its Depends must name (;-separated)
declare -A depends=(
  [libqv-dbprovider1]="libsqlite3-0"
  [qvdb]="libqv-dbprovider1 (= ;libreadline8"
  [libqv-dbprovider-dev]="libqv-dbprovider1 (= "
  [python3-qvdb]="libqv-dbprovider1 (= ;python3 (>= "
)
debs=()
for pkg in "${!must[@]}"; do
  deb=$(ls "$dir/${pkg}_"*"_$arch.deb" 2>/dev/null | head -1 || true)
  [ -n "$deb" ] || fail "no package $pkg in $dir"
  debs+=("$deb")
  files=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's#^\./##')
  for f in ${must[$pkg]} "usr/share/doc/$pkg/copyright" "usr/share/doc/$pkg/changelog\.Debian\.gz"; do
    grep -qx "$f" <<<"$files" || fail "$pkg lacks $f"
  done
  dep=$(dpkg-deb -f "$deb" Depends)
  IFS=';' read -ra wanted <<<"${depends[$pkg]}"
  for d in "${wanted[@]}"; do
    grep -qF "$d" <<<"$dep" || fail "$pkg does not depend on '$d' (Depends: $dep)"
  done
  echo "package_test: $(basename "$deb"): Depends: $dep"
  # The files of a package, not its folders, for the overlap check.
  dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' >>"$tmp/all"
  dpkg-deb -x "$deb" "$tmp/root"
done
dup=$(sort "$tmp/all" | uniq -d)
[ -z "$dup" ] || fail "files in two packages: $dup"
gzip -t "$tmp/root/usr/share/man/man1/qvdb.1.gz" || fail "the man page is not gzip"
zcat "$tmp/root/usr/share/doc/qvdb/changelog.Debian.gz" | head -1 | grep -q "^qv-dbprovider (" ||
  fail "the changelog does not start with the source package's entry"
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  "$tmp/root/usr/share/doc/qvdb/copyright" || fail "the copyright file is not machine-readable"

# The packaged binaries carry no run path; qvdb finds the library by the
# linker's path (here the unpacked multiarch folder).
for f in "$tmp/root/usr/bin/qvdb" "$tmp"/root/usr/lib/python3/dist-packages/qvdb.*.so; do
  ! readelf -d "$f" | grep -qE 'RPATH|RUNPATH' || fail "$(basename "$f") has a run path"
done
LD_LIBRARY_PATH="$tmp/root/usr/lib/$ma" "$tmp/root/usr/bin/qvdb" --version | grep -q '[0-9]\.[0-9]' ||
  fail "the packaged qvdb does not run"

if command -v lintian >/dev/null; then
  lintian --fail-on error "${debs[@]}" >"$tmp/lintian" 2>&1 ||
    { cat "$tmp/lintian" >&2; fail "lintian reports errors"; }
  echo "package_test: lintian: no errors, $(grep -c '^W:' "$tmp/lintian" || true) warnings"
  grep '^W:' "$tmp/lintian" || true
else
  echo "package_test: lintian is not installed: its check is skipped" >&2
fi
