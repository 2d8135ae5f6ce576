#!/usr/bin/env bash
# `qvdb backup` of a server folder reads the whole folder at one instant: a
# writer commits, in one transaction each, a row to a table of the user
# database and a row to a table of a big-document shard, as fast as it can,
# all through the backup; the backup must hold both rows of every commit or
# neither (as many notes as marks, each note's number among the marks), and
# be a folder `qvdb check` passes and `qvdb copy` restores. The writer's
# commits must straddle the backup (some before, some during it), else the
# test proves nothing and fails. Skipped (77) without a server.
#
#   qvdb-snapshot.sh QVDB FUNCTIONS-SCRIPT
set -euo pipefail
qvdb=$1
functions=$2
QV_TOOLS_DB=snapshot
# shellcheck source=qvdb-common.sh
source "$(dirname "$0")/qvdb-common.sh"

writer=
stop_writer() {
  if [ -n "$writer" ]; then
    kill "$writer" 2>/dev/null || true
    wait "$writer" 2>/dev/null || true
    writer=
  fi
}
trap 'stop_writer; cleanup' EXIT

# A folder with shards, onto the server, with a table of its own in the user
# database and in the first shard.
run "init a folder" 0 "$qvdb" init "$work/local"
run "generate" 0 "$qvdb" generate --data "$work/local" --streams 3 --documents 20 --cells 10
shard=$(cd "$work/local" && find BigDocs -name '*.mdb' | LC_ALL=C sort | head -1)
[ -n "$shard" ] || { echo "FAILED: the generated folder has no shard"; exit 1; }
shard_schema=busy_$(echo "${shard%.mdb}" | tr 'A-Z' 'a-z' | sed 's/[^a-z0-9]/_/g')
run "notes" 0 "$qvdb" sql --data "$work/local" \
  "CREATE TABLE Notes (ID COUNTER CONSTRAINT pk PRIMARY KEY, N LONG)"
run "marks" 0 "$qvdb" sql --db "$work/local/$shard" \
  "CREATE TABLE Marks (N LONG CONSTRAINT pk PRIMARY KEY)"
run "copy onto the server" 0 "$qvdb" copy "$work/local" "$(at busy)" --functions "$functions"

# The writer: note N and mark N in one transaction, until the note 0 is there.
count() { psql "$base" -qXtAc "SELECT count(*) FROM $1"; }
psql "$base" -qXv ON_ERROR_STOP=1 >"$work/writer.log" 2>&1 <<SQL &
DO \$\$
DECLARE i int := 0;
BEGIN
  LOOP
    i := i + 1;
    INSERT INTO busy."Notes" ("N") VALUES (i);
    INSERT INTO $shard_schema."Marks" ("N") VALUES (i);
    COMMIT;
    EXIT WHEN EXISTS (SELECT 1 FROM busy."Notes" WHERE "N" = 0);
    PERFORM pg_sleep(0.001);
  END LOOP;
END \$\$;
SQL
writer=$!
for _ in $(seq 100); do
  [ "$(count busy.\"Notes\")" -gt 0 ] && break
  sleep 0.1
done
before=$(count busy.\"Notes\")
run "backup while the writer commits" 0 "$qvdb" backup "$(at busy)" "$work/backup"
after=$(count busy.\"Notes\")
psql "$base" -qXc 'INSERT INTO busy."Notes" ("N") VALUES (0)'
wait "$writer" || { echo "FAILED: the writer"; cat "$work/writer.log"; failures=$((failures + 1)); }
writer=

value() { "$qvdb" sql --db "$1" --format tsv "$2" | tail -1; }
notes=$(value "$work/backup/Quivane.mdb" "SELECT Count(*) FROM Notes")
marks=$(value "$work/backup/$shard" "SELECT Count(*) FROM Marks")
echo "notes before the backup $before, in it $notes, after it $after; marks in it $marks"
expect "the writer committed during the backup" yes \
  "$([ "$before" -gt 0 ] && [ "$after" -gt "$before" ] && echo yes || echo "no ($before, $after)")"
expect "the backup within the writer's commits" yes \
  "$([ "$notes" -ge "$before" ] && [ "$notes" -le "$after" ] && echo yes || echo no)"
expect "as many marks as notes" "$notes" "$marks"
expect "the same numbers" "$notes $notes" \
  "$(value "$work/backup/Quivane.mdb" "SELECT Count(*), Max(N) FROM Notes" | tr '\t' ' ')"
expect "the marks' numbers" "$notes $notes" \
  "$(value "$work/backup/$shard" "SELECT Count(*), Max(N) FROM Marks" | tr '\t' ' ')"
run "check of the backup" 0 "$qvdb" check --data "$work/backup"
run "restore" 0 "$qvdb" copy "$work/backup" "$(at restored)" --functions "$functions"
expect "the restored notes" "$notes" "$(count restored.\"Notes\")"

[ "$failures" -eq 0 ] && echo "backup of a server folder: one snapshot"
exit $((failures > 0))
