# Shared by the scripts of this folder (sourced after `set -euo pipefail`,
# with $qvdb and $functions set): skipped (77) without a test server or the
# Jet functions' script; a database of the run's own ($db, connection $base),
# dropped with the work folder $work at exit; `at SCHEMA` the location of a
# schema of it (the Jet functions in jetfn); `expect` and `run` count
# $failures.
if [ -z "${QV_TEST_PG:-}" ]; then
  echo "skipped: QV_TEST_PG is not set (scripts/test starts a PostgreSQL server and sets it)"
  exit 77
fi
if [ ! -f "$functions" ]; then
  echo "skipped: no Jet functions' script $functions (a build without the server headers)"
  exit 77
fi
db=qv_${QV_TOOLS_DB:-tools}_$$
work=$(mktemp -d)
psql "$QV_TEST_PG" -qXc "CREATE DATABASE $db"
cleanup() {
  psql "$QV_TEST_PG" -qXc "DROP DATABASE IF EXISTS $db WITH (FORCE)" || true
  rm -rf "$work"
}
trap cleanup EXIT
export QV_REGISTRY=$work/registry.json
base="$QV_TEST_PG dbname=$db"
# The location of a schema; the Jet functions are in jetfn.
at() { echo "$base options='-c search_path=$1,jetfn'"; }

failures=0
expect() { # expect NAME WANT GOT
  if [ "$2" != "$3" ]; then
    printf 'FAILED %s\n  expected: %q\n  got:      %q\n' "$1" "$2" "$3"
    failures=$((failures + 1))
  fi
}
# run NAME WANT-STATUS COMMAND...: the command's status must be WANT; its
# stderr's first line is kept in $err.
run() {
  local name=$1 want=$2 status=0
  shift 2
  "$@" >"$work/out" 2>"$work/err" || status=$?
  err=$(head -1 "$work/err")
  if [ "$status" != "$want" ]; then
    printf 'FAILED %s: status %s, expected %s\n' "$name" "$status" "$want"
    sed 's/^/  /' "$work/out" "$work/err" | tail -20
    failures=$((failures + 1))
  fi
}

