#!/usr/bin/env bash
# `qvdb sql --server` on the test server (QV_TEST_PG): a database made by the
# library (--create), statements run one per call and as a script, the output
# formats, an error's number on stderr and the exit status. Skipped (77)
# without a server.
set -euo pipefail
qvdb=$1
if [ -z "${QV_TEST_PG:-}" ]; then
  echo "skipped: QV_TEST_PG is not set (scripts/test starts a PostgreSQL server and sets it)"
  exit 77
fi
schema=qv_shell_$$
psql "$QV_TEST_PG" -qXc "CREATE SCHEMA $schema"
trap 'psql "$QV_TEST_PG" -qXc "SET client_min_messages TO warning; DROP SCHEMA $schema CASCADE"' EXIT
server="$QV_TEST_PG options='-c search_path=$schema'"
failures=0
expect() {  # expect NAME WANT GOT
  if [ "$2" != "$3" ]; then
    printf 'FAILED %s\n  expected: %q\n  got:      %q\n' "$1" "$2" "$3"
    failures=$((failures + 1))
  fi
}

# Without the catalogue the database is refused; --create makes it.
err=$("$qvdb" sql --server "$server" "SELECT 1" 2>&1 >/dev/null || true)
expect "no catalogue" "Error 3343:" "${err:0:11}"
expect "create" "0 rows affected" \
  "$("$qvdb" sql --server "$server" --create \
    "CREATE TABLE Staff (ID LONG CONSTRAINT pk PRIMARY KEY, Name TEXT(5) NOT NULL)")"
expect "insert" "1 row affected" \
  "$("$qvdb" sql --server "$server" "INSERT INTO Staff VALUES (1, 'Ёлкин')")"
expect "script" $'ID\tName\n1\tЁлкин\n2\tAdams' \
  "$(printf "INSERT INTO Staff VALUES (2, 'Adams');\nSELECT ID, Name FROM Staff ORDER BY ID;\n" |
    "$qvdb" sql --server "$server" --format tsv | tail -n +2)"
expect "json" '{"rowsAffected":2}' \
  "$("$qvdb" sql --server "$server" --format json "UPDATE Staff SET Name = Name WHERE ID > 0")"
expect "tables" "Staff" "$(echo .tables | "$qvdb" sql --server "$server")"
set +e
err=$("$qvdb" sql --server "$server" "INSERT INTO Staff VALUES (3, 'Zimmermann')" 2>&1 >/dev/null)
status=$?
set -e
expect "too long" "Error 3163:" "${err:0:11}"
expect "status" 1 "$status"

[ "$failures" -eq 0 ] && echo "qvdb sql --server: all passed"
exit $((failures > 0))
