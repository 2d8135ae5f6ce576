#!/usr/bin/env bash
# qvdb's commands on a server folder, on the test server (QV_TEST_PG): sql
# --server, init --server, check, a generated folder copied onto the server
# and back, a backup of the server folder and its restore, every table of every
# database compared (rows and a digest of their values) after each move;
# bytes moved byte for byte both ways; and the refusals: a DEST that is not
# empty, a server without the extension, a server that cannot be reached, a
# copy that fails half-way (nothing of it left). Each run has a database of
# its own, dropped at the end. Skipped (77) without a server.
#
#   qvdb-tools.sh QVDB FUNCTIONS-SCRIPT
set -euo pipefail
qvdb=$1
functions=$2
# shellcheck source=qvdb-common.sh
source "$(dirname "$0")/qvdb-common.sh"

# "TABLE ROWS DIGEST" for every table of one database (qvdb sql's arguments
# that open it): the rows' values as JSON, in sorted order, so that two
# engines' row orders do not matter.
digest() {
  local tables
  tables=$(echo .tables | "$qvdb" sql "$@")
  for t in $tables; do echo "SELECT * FROM [$t];"; done |
    "$qvdb" sql "$@" --format json |
    python3 -c '
import hashlib, json, sys
tables = sys.argv[1].split()
for table, line in zip(tables, sys.stdin):
    rows = sorted(json.dumps(r, ensure_ascii=False) for r in json.loads(line)["rows"])
    print(table, len(rows), hashlib.md5("\n".join(rows).encode()).hexdigest())
' "$tables" | LC_ALL=C sort
}
# The schema of a database of a server folder whose schema is $1.
schema_of() { # schema_of FOLDER-SCHEMA RELATIVE-NAME
  if [ "$2" = Quivane.mdb ]; then echo "$1"; else
    echo "$1_$(echo "${2%.mdb}" | tr 'A-Z' 'a-z' | sed 's/[^a-z0-9]/_/g')"
  fi
}
# Every database of the folder on disk $1 against the same one of the
# server folder whose schema is $2, and of the folder on disk $3 if given.
compare() { # compare NAME DIR SCHEMA [DIR2]
  local name=$1 dir=$2 schema=$3 dir2=${4:-} rel want
  while read -r rel; do
    want=$(digest --db "$dir/$rel")
    expect "$name: $rel on the server" "$want" "$(digest --server "$(at "$(schema_of "$schema" "$rel")")")"
    [ -z "$dir2" ] || expect "$name: $rel in $dir2" "$want" "$(digest --db "$dir2/$rel")"
  done < <(cd "$dir" && find . -name '*.mdb' | sed 's|^\./||' | LC_ALL=C sort)
}

# A server that cannot be reached, and one without the extension.
run "unreachable" 1 "$qvdb" init --server "host=$work/nowhere port=1 dbname=x"
expect "unreachable: error" "Error 3051:" "${err:0:11}"
run "no extension" 1 "$qvdb" init --server "$(at office)"
expect "no extension: error" "Error 3251:" "${err:0:11}"
grep -q "install the package qv-dbprovider-postgresql" "$work/err" ||
  expect "no extension: the package named" "named" "$(cat "$work/err")"
expect "no extension: no schema made" "" \
  "$(psql "$base" -qXtAc "SELECT nspname FROM pg_namespace WHERE nspname IN ('jet', 'office')")"

# init --server with the functions' script, then check; a second init is refused.
run "init --server" 0 "$qvdb" init --server "$(at office)" --functions "$functions"
run "check of the new server folder" 0 "$qvdb" check --data "$(at office)"
expect "check: the three databases" "3 files, 0 problems" "$(grep ' files, ' "$work/out")"
# Functions an older build made (jet_store_integer's result an integer, as
# before it was a bigint; no version) are replaced by check, in place: a
# whole number beyond Long into a Long column is the column's 3464 again,
# where the older function's integer overflowed (6).
probe() { echo "$1" | "$qvdb" sql --server "$(at office)" 2>&1 | grep -o 'Error [0-9]*' || true; }
run "a table to store into" 0 "$qvdb" sql --server "$(at office)" <<<"CREATE TABLE Probe (N LONG)"
psql "$base" -qXc "DO \$\$DECLARE m text; BEGIN
  SELECT probin INTO m FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace
   WHERE n.nspname = 'jetfn' AND p.proname = 'jet_like' LIMIT 1;
  DROP FUNCTION jetfn.jet_store_integer(\"any\"), jetfn.jet_functions_version();
  EXECUTE format('CREATE FUNCTION jetfn.jet_store_integer(\"any\") RETURNS integer AS %L, %L '
                 'LANGUAGE C IMMUTABLE', m, 'qv_jet_call'); END\$\$"
expect "older functions: the integer's overflow" "Error 6" "$(probe 'INSERT INTO Probe (N) VALUES (2147483648)')"
run "check of older functions" 0 "$qvdb" check --data "$(at office)"
expect "check: older functions replaced" "OLDER   of no version in schema jetfn" \
  "$(grep -o 'OLDER   of no version in schema jetfn' "$work/out")"
expect "replaced functions: the column's refusal" "Error 3464" "$(probe 'INSERT INTO Probe (N) VALUES (2147483648)')"
run "check of replaced functions" 0 "$qvdb" check --data "$(at office)"
expect "check: functions up to date" "  ok      version" "$(grep -A1 'Jet functions on the server' "$work/out" | tail -1 | cut -c1-17)"
run "drop the probe" 0 "$qvdb" sql --server "$(at office)" <<<"DROP TABLE Probe"
# The law's reference data loaded again into the server folder: nothing new.
run "refdata load on the server folder" 0 "$qvdb" refdata load --data "$(at office)"
expect "refdata load: nothing new" "0 rows added, 0 changed" "$(tail -1 "$work/out" | cut -d';' -f1)"
# The address classifier of the server folder replaced: a region and a street.
python3 - "$work/dbf" <<'PY'
import os, struct, sys
os.makedirs(sys.argv[1])
def dbf(name, fields, row):  # dBase III, text fields, code page 866, one row
    head = struct.pack("<BBBBIHH20x", 3, 126, 12, 10, 1, 33 + 32 * len(fields),
                       1 + sum(w for _, w in fields))
    for n, w in fields: head += struct.pack("<11sc4xBB14x", n.encode(), b"C", w, 0)
    body = b" " + b"".join(v.encode("cp866").ljust(w) for (_, w), v in zip(fields, row))
    open(os.path.join(sys.argv[1], name), "wb").write(head + b"\r" + body + b"\x1a")
dbf("SOCRBASE.DBF", [("LEVEL", 5), ("SCNAME", 10), ("SOCRNAME", 29), ("KOD_T_ST", 3)],
    ["1", "г", "Город", "103"])
dbf("KLADR.DBF", [("NAME", 40), ("SOCR", 10), ("CODE", 13), ("INDEX", 6)],
    ["Москва", "г", "7700000000000", ""])
dbf("STREET.DBF", [("NAME", 40), ("SOCR", 10), ("CODE", 17), ("INDEX", 6)],
    ["Тверская", "г", "77000000000028700", "125009"])
PY
run "kladr import on the server folder" 0 "$qvdb" kladr import --data "$(at office)" "$work/dbf"
expect "kladr import: the rows" "1 abbreviations, 1 regions, districts, cities and settlements, 1 streets" \
  "$(sed 's/^Imported into .*: //' "$work/out")"
run "init --server again" 1 "$qvdb" init --server "$(at office)" --functions "$functions"
expect "init again: error" "Error 3204:" "${err:0:11}"
# A location in the folder's place is a server folder too (as a folder on
# disk it was begun, failed and left a catalogue behind).
run "init LOCATION" 0 "$qvdb" init "$(at positional)" --functions "$functions"
run "check of init LOCATION" 0 "$qvdb" check --data "$(at positional)"
# And so is the registry's DataBasePath, which that init recorded.
psql "$base" -qXc "SET client_min_messages = warning; DROP SCHEMA positional, positional_kladr, positional_okato CASCADE"
run "init at the registry's location" 0 "$qvdb" init --functions "$functions"
run "check of it" 0 "$qvdb" check --data "$(at positional)"
# The demo on the server folder: it generates its sample there (big documents'
# shards as schemas) and walks it; no step may fail.
run "demo on the server folder" 0 "$qvdb" demo --data "$(at office)"
expect "demo: no step failed" "0" "$(cat "$work/out" "$work/err" | grep -c '^Error')"
# Its last line names the folder as one shell word: pasted, it gives the location back.
next=$(grep '^Next: qvdb sql --data ' "$work/out" | sed 's/^Next: qvdb sql --data //; s/   (an interactive shell)$//')
eval "set -- $next"
expect "demo: the next command's location" "$(at office)" "$1"

# qvdb sql --server on a database of its own: without the catalogue it is
# refused, --create makes it; statements per call and as a script, the
# formats, .tables, and an error's number and exit status.
psql "$base" -qXc "CREATE SCHEMA shell"
run "sql: no catalogue" 1 "$qvdb" sql --server "$(at shell)" "SELECT 1"
expect "sql: no catalogue: error" "Error 3343:" "${err:0:11}"
grep -q "add --create to make one there" "$work/err" ||
  expect "sql: no catalogue: --create named" "named" "$(cat "$work/err")"
expect "sql: create" "0 rows affected" \
  "$("$qvdb" sql --server "$(at shell)" --create \
    "CREATE TABLE Staff (ID LONG CONSTRAINT pk PRIMARY KEY, Name TEXT(5) NOT NULL)")"
expect "sql: insert" "1 row affected" \
  "$("$qvdb" sql --server "$(at shell)" "INSERT INTO Staff VALUES (1, 'Ёлкин')")"
expect "sql: script" $'ID\tName\n1\tЁлкин\n2\tAdams' \
  "$(printf "INSERT INTO Staff VALUES (2, 'Adams');\nSELECT ID, Name FROM Staff ORDER BY ID;\n" |
    "$qvdb" sql --server "$(at shell)" --format tsv | tail -n +2)"
expect "sql: json" '{"rowsAffected":2}' \
  "$("$qvdb" sql --server "$(at shell)" --format json "UPDATE Staff SET Name = Name WHERE ID > 0")"
expect "sql: tables" "Staff" "$(echo .tables | "$qvdb" sql --server "$(at shell)")"
run "sql: too long" 1 "$qvdb" sql --server "$(at shell)" "INSERT INTO Staff VALUES (3, 'Zimmermann')"
expect "sql: too long: error" "Error 3163:" "${err:0:11}"

# A generated folder on disk, with a table of its own with a counter.
run "init a folder" 0 "$qvdb" init "$work/local"
run "generate" 0 "$qvdb" generate --data "$work/local" --streams 3 --documents 20 --cells 10
run "a table of the folder's own" 0 "$qvdb" sql --data "$work/local" \
  "CREATE TABLE Notes (ID COUNTER CONSTRAINT pk PRIMARY KEY, T TEXT(20)); INSERT INTO Notes (T) VALUES ('один'); INSERT INTO Notes (T) VALUES ('два');"
# Its counter has handed out 3, whose row is gone: a move must not hand it out again.
run "a note added and deleted" 0 "$qvdb" sql --data "$work/local" \
  "INSERT INTO Notes (T) VALUES ('удалена'); DELETE FROM Notes WHERE T = 'удалена';"

# Onto the server: into the folder made by init it is refused (not empty).
run "copy into a folder that is not empty" 1 "$qvdb" copy "$work/local" "$(at office)" \
  --functions "$functions"
expect "not empty: error" "Error 3204:" "${err:0:11}"
run "copy onto the server" 0 "$qvdb" copy "$work/local" "$(at moved)" --functions "$functions"
run "check of the copy on the server" 0 "$qvdb" check --data "$(at moved)"
compare "onto the server" "$work/local" moved
# The counter goes on after the largest value the folder's counter handed
# out, not after the rows copied.
expect "counter after the copy" "4" \
  "$("$qvdb" sql --data "$(at moved)" --format tsv \
    "INSERT INTO Notes (T) VALUES ('три'); SELECT Max(ID) FROM Notes WHERE T = 'три';" | tail -1)"
run "delete the new note" 0 "$qvdb" sql --data "$(at moved)" "DELETE FROM Notes WHERE ID = 4"

# Bytes, moved byte for byte both ways: 0x00, 0xFF, bytes around a zero, no
# bytes, 1 MB of random bytes; then a copy that fails half-way (a text that
# is no UTF-8, which the server refuses) leaves no schema behind, and the
# same copy goes through once the value is gone.
if command -v sqlite3 >/dev/null; then
  cp -r "$work/local" "$work/blob"
  sqlite3 "$work/blob/Quivane.mdb" "INSERT INTO CourBlobs (ID, ContentLength, Content) VALUES
    (1, 1, x'00'), (2, 1, x'ff'), (3, 3, x'00ff00'), (4, 0, x''), (5, 1048576, randomblob(1048576))"
  blobs() {
    sqlite3 "$1" "SELECT CAST(ID AS INTEGER), typeof(Content), length(Content), hex(Content)
      FROM CourBlobs ORDER BY ID" | md5sum
  }
  run "copy of bytes onto the server" 0 "$qvdb" copy "$work/blob" "$(at blob)" --functions "$functions"
  expect "bytes on the server" "$(blobs "$work/blob/Quivane.mdb")" \
    "$(psql "$base" -qXtAc "SELECT \"ID\" || '|blob|' || length(\"Content\") || '|' ||
       upper(encode(\"Content\", 'hex')) FROM blob.\"CourBlobs\" ORDER BY \"ID\"" | md5sum)"
  expect "1 MB on the server" "1048576" \
    "$(psql "$base" -qXtAc 'SELECT length("Content") FROM blob."CourBlobs" WHERE "ID" = 5')"
  run "check of the bytes on the server" 0 "$qvdb" check --data "$(at blob)"
  run "copy of bytes back" 0 "$qvdb" copy "$(at blob)" "$work/blob-back"
  expect "bytes back" "$(blobs "$work/blob/Quivane.mdb")" "$(blobs "$work/blob-back/Quivane.mdb")"
  compare "bytes" "$work/blob" blob "$work/blob-back"

  cp -r "$work/local" "$work/bad"
  # (The file's own check of the text's length calls a function of the
  # library's, which sqlite3 lacks.)
  sqlite3 "$work/bad/Quivane.mdb" "PRAGMA ignore_check_constraints = 1;
    INSERT INTO Notes (T) VALUES (CAST(x'ff' AS TEXT))"
  run "copy of a text that is no UTF-8" 1 "$qvdb" copy "$work/bad" "$(at bad)" --functions "$functions"
  grep -q "(Quivane.mdb, table Notes)" "$work/err" ||
    expect "no UTF-8: the table named" "... (Quivane.mdb, table Notes)" "$(cat "$work/err")"
  expect "no UTF-8: no schema left" "0" \
    "$(psql "$base" -qXtAc "SELECT count(*) FROM pg_namespace WHERE nspname LIKE 'bad%'")"
  sqlite3 "$work/bad/Quivane.mdb" "DELETE FROM Notes WHERE ID > 2"
  run "the same copy without it" 0 "$qvdb" copy "$work/bad" "$(at bad)" --functions "$functions"
fi

# Names beyond the server's 63 bytes (a table of 32 Cyrillic letters, a
# counter, a field and an index of 40), which the server keeps under short
# forms: moved with their rows, and the counter goes on after them.
cp -r "$work/local" "$work/long"
letters() { printf "$1%.0s" $(seq "$2"); }
t="[$(letters Ж 32)]" n="[$(letters Ч 40)]" v="[$(letters Ш 40)]"
run "a table of long names" 0 "$qvdb" sql --data "$work/long" \
  "CREATE TABLE $t ($n COUNTER CONSTRAINT pk PRIMARY KEY, $v TEXT(20)); CREATE INDEX [$(letters И 40)] ON $t ($v); INSERT INTO $t ($v) VALUES ('один'); INSERT INTO $t ($v) VALUES ('два');"
run "copy of long names onto the server" 0 "$qvdb" copy "$work/long" "$(at long)" --functions "$functions"
compare "long names" "$work/long" long
expect "long names: the counter after the copy" "3" \
  "$("$qvdb" sql --data "$(at long)" --format tsv \
    "INSERT INTO $t ($v) VALUES ('три'); SELECT Max($n) FROM $t WHERE $v = 'три';" | tail -1)"

# Back to a folder on disk; into a folder that is not empty it is refused.
run "copy back into a folder that is not empty" 1 "$qvdb" copy "$(at moved)" "$work/local"
expect "back, not empty: error" "Error 3204:" "${err:0:11}"
run "copy back" 0 "$qvdb" copy "$(at moved)" "$work/back"
run "check of the copy back" 0 "$qvdb" check --data "$work/back"
compare "back" "$work/local" moved "$work/back"
# Back on disk the counter goes on after the server's 4, whose row is gone.
expect "counter after the copy back" "5" \
  "$("$qvdb" sql --data "$work/back" --format tsv \
    "INSERT INTO Notes (T) VALUES ('пять'); SELECT Max(ID) FROM Notes WHERE T = 'пять';" | tail -1)"

# A backup of the server folder, restored onto the server.
run "backup" 0 "$qvdb" backup "$(at moved)" "$work/backup"
run "check of the backup" 0 "$qvdb" check --data "$work/backup"
run "restore" 0 "$qvdb" copy "$work/backup" "$(at restored)" --functions "$functions"
run "check of the restored folder" 0 "$qvdb" check --data "$(at restored)"
compare "backup and restore" "$work/local" restored "$work/backup"
run "backup into a folder that is not empty" 1 "$qvdb" backup "$(at moved)" "$work/backup"
expect "backup, not empty: error" "Error 3204:" "${err:0:11}"

# What no document owns in the restored folder, each row: a schema, what
# another session holds of it (its build lock, its open lock, or nothing),
# and its line of the check's report without and with --remove-unowned.
# The temporary schemas of shard builds cut off are made by hand, named as a
# build names them; the shards are those of the big documents, whose rows
# are deleted; a name of no build is not taken ("-": no line).
shard=$(psql "$base" -qXtAc "SELECT min(nspname) FROM pg_namespace WHERE nspname ~ '^restored_bigdocs_'")
rows="${shard}_n4242 - FAILED removed
${shard}_n4243_7 open FAILED FAILED
${shard}_n4244 build busy busy
${shard}x_n4245 - - -
$shard open FAILED FAILED"
for other in $(psql "$base" -qXtAc "SELECT nspname FROM pg_namespace WHERE nspname ~ '^restored_bigdocs_[0-9_]+$' AND nspname <> '$shard'"); do
  rows+=$'\n'"$other - FAILED removed"
done
line() { [ "$2" = - ] && echo "" || printf '  %-8s%s\n' "$2" "$1"; }
report() { grep -E "^  [a-zA-Z]+ +restored_bigdocs_" "$work/out" | sed 's/ (.*//' | LC_ALL=C sort; }
expected() { while read -r schema _ before after; do line "$schema" "$([ "$1" = before ] && echo "$before" || echo "$after")"; done <<<"$rows" | grep . | LC_ALL=C sort; }
psql "$base" -qXc "DELETE FROM restored.doc_registry WHERE \"EditorType\" = 6"
holds=
while read -r schema hold _; do
  psql "$base" -qXc "CREATE SCHEMA IF NOT EXISTS $schema" 2>/dev/null
  case $hold in
    build) holds+="SELECT pg_advisory_lock_shared($((0x51760002)), hashtext('$schema'));" ;;
    open) holds+="SELECT pg_advisory_lock_shared($((0x51760001)), oid::integer) FROM pg_namespace WHERE nspname = '$schema';" ;;
  esac
done <<<"$rows"
PGAPPNAME=qv_holder psql "$base" -qXc "$holds" -c "SELECT pg_sleep(600)" >/dev/null 2>&1 &
holder=$!
for _ in $(seq 100); do
  [ "$(psql "$base" -qXtAc "SELECT count(*) FROM pg_locks l JOIN pg_stat_activity a USING (pid) WHERE a.application_name = 'qv_holder' AND l.locktype = 'advisory' AND l.granted")" = 3 ] && break
  sleep 0.1
done
run "check of what no document owns" 1 "$qvdb" check --data "$(at restored)"
expect "what no document owns: the report" "$(expected before)" "$(report)"
run "check removing what no document owns" 1 "$qvdb" check --data "$(at restored)" --remove-unowned
expect "what no document owns: removed but what is held" "$(expected after)" "$(report)"
expect "what no document owns: the schemas left" \
  "$(while read -r schema _ _ after; do [ "$after" = removed ] || echo "$schema"; done <<<"$rows" | LC_ALL=C sort)" \
  "$(psql "$base" -qXtAc "SELECT nspname FROM pg_namespace WHERE nspname ~ '^restored_bigdocs_'" | LC_ALL=C sort)"
psql "$base" -qXtAc "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = 'qv_holder'" >/dev/null
wait "$holder" || true
run "check removing what is no longer held" 0 "$qvdb" check --data "$(at restored)" --remove-unowned
expect "what no document owns: all removed" "${shard}x_n4245" \
  "$(psql "$base" -qXtAc "SELECT nspname FROM pg_namespace WHERE nspname ~ '^restored_bigdocs_'")"

# The functions an extension made: init --server runs CREATE EXTENSION qv_jet
# over the build's control file, install script and module, which the server
# finds through its extension_destdir (a Debian server's setting: a folder
# whose share and lib folders stand in for the installed ones; the location's
# options set it, as a superuser may, and the server's user must read it;
# pg_available_extensions does not list what it finds there). With the module
# missing the server's own error is raised, not the missing extension's, and
# nothing is left. An older set of the extension's (jet_store_integer's result
# an integer, no version) is replaced by check, in place: the function made
# again is the extension's member again.
if [ "$(psql "$base" -qXtAc "SELECT count(*) FROM pg_settings WHERE name = 'extension_destdir'")" = 1 ] &&
  command -v pg_config >/dev/null; then
  dest=$work/destdir
  mkdir -p "$dest$(pg_config --sharedir)/extension" "$dest$(pg_config --pkglibdir)"
  cp "$(dirname "$0")/../../../pg/qv_jet.control" "$(dirname "$functions")/qv_jet--1.0.sql" \
    "$dest$(pg_config --sharedir)/extension/"
  chmod a+x "$work" && chmod -R a+rX "$dest"
  ext="$base options='-c search_path=extmade,jet -c extension_destdir=$dest'"
  run "extension without its module" 1 "$qvdb" init --server "$ext"
  expect "extension without its module: the server's error" "Error 3000:" "${err:0:11}"
  grep -qF "could not access file \"\$libdir/qv_jet\"" "$work/err" ||
    expect "extension without its module: the module named" "named" "$(cat "$work/err")"
  expect "extension without its module: no schema made" "" \
    "$(psql "$base" -qXtAc "SELECT nspname FROM pg_namespace WHERE nspname IN ('jet', 'extmade')")"
  cp "$(dirname "$functions")/qv_jet.so" "$dest$(pg_config --pkglibdir)/"
  chmod -R a+rX "$dest"
  run "init --server making the extension" 0 "$qvdb" init --server "$ext"
  expect "init --server: the extension in schema jet" "jet" \
    "$(psql "$base" -qXtAc "SELECT extnamespace::regnamespace FROM pg_extension WHERE extname = 'qv_jet'")"
  member() { # member FUNCTION: "RESULT-TYPE MEMBERS-OF-qv_jet"
    psql "$base" -qXtAc "SELECT p.prorettype::regtype || ' ' || count(d.objid) FROM pg_proc p
      JOIN pg_namespace n ON n.oid = p.pronamespace LEFT JOIN pg_depend d ON d.objid = p.oid
      AND d.classid = 'pg_proc'::regclass AND d.deptype = 'e' AND d.refobjid =
      (SELECT oid FROM pg_extension WHERE extname = 'qv_jet')
      WHERE n.nspname = 'jet' AND p.proname = '$1' GROUP BY p.prorettype"
  }
  expect "extension: its function" "bigint 1" "$(member jet_store_integer)"
  psql "$ext" -qXc "DO \$\$DECLARE m text; BEGIN
    SELECT probin INTO m FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace
     WHERE n.nspname = 'jet' AND p.proname = 'jet_like' LIMIT 1;
    ALTER EXTENSION qv_jet DROP FUNCTION jet.jet_store_integer(\"any\");
    ALTER EXTENSION qv_jet DROP FUNCTION jet.jet_functions_version();
    DROP FUNCTION jet.jet_store_integer(\"any\"), jet.jet_functions_version();
    EXECUTE format('CREATE FUNCTION jet.jet_store_integer(\"any\") RETURNS integer AS %L, %L '
                   'LANGUAGE C IMMUTABLE', m, 'qv_jet_call');
    ALTER EXTENSION qv_jet ADD FUNCTION jet.jet_store_integer(\"any\"); END\$\$"
  expect "older extension: its function" "integer 1" "$(member jet_store_integer)"
  xprobe() { echo "$1" | "$qvdb" sql --server "$ext" 2>&1 | grep -o 'Error [0-9]*' || true; }
  run "extension: a table to store into" 0 "$qvdb" sql --server "$ext" <<<"CREATE TABLE Probe (N LONG)"
  expect "older extension: the integer's overflow" "Error 6" "$(xprobe 'INSERT INTO Probe (N) VALUES (2147483648)')"
  run "check of the older extension" 0 "$qvdb" check --data "$ext"
  expect "check: the older extension replaced" "OLDER   of no version in schema jet" \
    "$(grep -o 'OLDER   of no version in schema jet' "$work/out")"
  expect "replaced extension: its function" "bigint 1" "$(member jet_store_integer)"
  # The function the older set lacked is the extension's too (else a CREATE EXTENSION
  # after a DROP EXTENSION would find it there and refuse to replace it).
  expect "replaced extension: no function of schema jet outside it" "" \
    "$(psql "$base" -qXtAc "SELECT p.proname FROM pg_proc p JOIN pg_namespace n ON
      n.oid = p.pronamespace WHERE n.nspname = 'jet' AND NOT EXISTS (SELECT 1 FROM pg_depend d
      WHERE d.objid = p.oid AND d.classid = 'pg_proc'::regclass AND d.deptype = 'e')")"
  expect "replaced extension: the column's refusal" "Error 3464" "$(xprobe 'INSERT INTO Probe (N) VALUES (2147483648)')"
  run "check of the replaced extension" 0 "$qvdb" check --data "$ext"
  expect "check: the extension up to date" "  ok      version" "$(grep -A1 'Jet functions on the server' "$work/out" | tail -1 | cut -c1-17)"
else
  echo "not run: the extension's older set (the server has no extension_destdir, or no pg_config)"
fi

[ "$failures" -eq 0 ] && echo "qvdb on a server folder: all passed"
exit $((failures > 0))
