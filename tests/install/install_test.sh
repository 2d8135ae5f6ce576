#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses it only from there, as
# a user would: the library's SONAME, qvdb with its man page and completion,
# the pkg-config file, and the example consumer configured with find_package,
# built and run on a data folder made by the installed qvdb.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
fail() {
  echo "install_test: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$prefix" >/dev/null
lib=$(find "$prefix" -name 'libQv_DBProvider.so.*.*' | head -1)
[ -n "$lib" ] || fail "no versioned library installed"
# In the multiarch folder, as a Debian system has it.
ma=$(gcc -print-multiarch)
[ "$(dirname "$lib")" = "$prefix/lib/$ma" ] || fail "the library is in $(dirname "$lib"), not lib/$ma"
soname=$(objdump -p "$lib" | awk '$1 == "SONAME" {print $2}')
[ "$soname" = "libQv_DBProvider.so.1" ] || fail "SONAME is '$soname'"
[ -L "$(dirname "$lib")/libQv_DBProvider.so" ] || fail "no development link libQv_DBProvider.so"

# qvdb runs from the prefix (it finds the library beside it) and makes the data folder.
export QV_REGISTRY=$tmp/registry.ini
"$prefix/bin/qvdb" --version | grep -q '[0-9]\.[0-9]' || fail "qvdb --version prints no version"
init=$("$prefix/bin/qvdb" init "$tmp/data")
# The law's reference data comes from the prefix, not from the source tree.
grep -qF "reference data: edition $(cat "$source/data/refdata/EDITION")," <<<"$init" &&
  grep -qF "($prefix/share/Qv_DBProvider/refdata)" <<<"$init" ||
  fail "init did not load the installed reference data: $init"
# The dictionaries' reference rows (countries, tax offices) come with generated data.
"$prefix/bin/qvdb" generate --streams 1 --documents 1 --cells 1 >/dev/null

man=$prefix/share/man/man1/qvdb.1.gz
[ -f "$man" ] || fail "no man page"
zcat "$man" | grep -q 'keep.*unknown' || fail "the man page lacks the commands' options"

# Completion: the commands, and the class names `call` takes.
complete_words() {
  COMP_WORDS=("$prefix/bin/qvdb" "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _qvdb
  printf '%s\n' "${COMPREPLY[@]}"
}
complete() { :; }  # the script's registration needs an interactive shell
source "$prefix/share/bash-completion/completions/qvdb"
complete_words imp | grep -qx 'import-mdb' || fail "completion lacks the command import-mdb"
complete_words call DictQueries.GetCou | grep -qx 'DictQueries.GetCountry' ||
  fail "completion lacks DictQueries.GetCountry"
complete_words call --data "$tmp/data" DBTaxOffice.ReadRecord 7701 @Qv_Records.QvTax |
  grep -qx '@Qv_Records.QvTaxOffice' || fail "completion lacks @Qv_Records.QvTaxOffice"

# pkg-config points into the prefix.
pc=$(find "$prefix" -name QvDBProvider.pc)
[ -f "$(pkg-config --variable=includedir "$pc")/QvDBProvider.h" ] || fail "pkg-config includedir"
[ -e "$(pkg-config --variable=libdir "$pc")/libQv_DBProvider.so" ] || fail "pkg-config libdir"

# The consumer sees nothing of the source tree: only the prefix.
cmake -S "$source/examples/consumer" -B "$tmp/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER_LAUNCHER="$(command -v ccache || true)" >/dev/null
cmake --build "$tmp/consumer" >/dev/null
out=$("$tmp/consumer/countries" "643;112")
echo "$out"
[ "$out" = $'RUS Россия\nBLR Беларусь' ] || fail "the consumer printed something else"
