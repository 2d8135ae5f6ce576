# Prints the countries whose codes are given ("643;112" by default).
# The data folder is the registry's DataBasePath (qvdb init DIR, then qvdb
# generate for the dictionaries' rows).
import sys

import qvdb

dictionaries = qvdb.create("Qv_DBProvider.DictQueries")
try:
    countries = dictionaries.GetCountry(sys.argv[1] if len(sys.argv) > 1 else "643;112", 0)
except qvdb.Error as e:
    sys.exit(f"Error {e.number}: {e.description}")
for row in countries:
    print(row.Alfa3, row["ShortName"])
