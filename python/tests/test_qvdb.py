import datetime
import os
import pathlib
import subprocess
import sys

import pytest

import qvdb

SOURCE = pathlib.Path(os.environ["QV_SOURCE_DIR"])


def test_recordset_rows_by_position_name_and_attribute():
    countries = qvdb.create("Qv_DBProvider.DictQueries").GetCountry("643;112", 0)
    assert isinstance(countries, qvdb.Recordset)
    assert len(countries) == 2
    assert countries.fields[:3] == ["ID", "Alfa2", "Alfa3"]
    russia = countries[0]
    assert russia.ID == 643 and type(russia.ID) is int
    assert russia["ShortName"] == "Россия"
    assert russia["alfa3"] == "RUS"  # field names ignore case, as the recordset's do
    assert russia.as_dict()["Alfa2"] == "RU"
    assert [row.Alfa3 for row in countries] == ["RUS", "BLR"]
    assert countries[-1] == tuple(countries[1])
    with pytest.raises(IndexError):
        countries[2]
    with pytest.raises(KeyError):
        russia["NoSuchField"]


@pytest.mark.parametrize("value, back", [
    (7, 7),
    (2**40, float(2**40)),  # beyond a Long: a Double, as identifiers are
    (2.5, 2.5),
    ("Ёлка", "Ёлка"),
    (True, True),
    (None, None),
    (qvdb.Empty, None),
    (datetime.datetime(2024, 3, 31, 13, 5, 9), datetime.datetime(2024, 3, 31, 13, 5, 9)),
    # before the dates' base day the time still counts forward from midnight
    (datetime.datetime(1812, 9, 7, 6, 30), datetime.datetime(1812, 9, 7, 6, 30)),
    (datetime.date(2025, 1, 1), datetime.datetime(2025, 1, 1)),
    (b"\x00\xffz", b"\x00\xffz"),
    ([1, "a", None], [1, "a", None]),
])
def test_values_round_trip(value, back):
    items = qvdb.create("VBA.Collection")
    items.Add(value)
    stored = items.Item(1)
    assert stored == back and type(stored) is type(back)


def test_collection_is_a_sequence_with_keys():
    bag = qvdb.create("VBA.Collection")
    bag.Add(5, "_5")
    bag.Add("x", "_7")
    assert len(bag) == 2 and list(bag) == [5, "x"]
    assert bag[1] == "x" and bag[-1] == "x" and bag["_5"] == 5
    assert bag.keys() == ["_5", "_7"]
    with pytest.raises(KeyError):
        bag["_6"]


def test_errors_carry_number_and_description():
    dictionaries = qvdb.create("Qv_DBProvider.DictQueries")
    with pytest.raises(qvdb.Error) as e:
        dictionaries.GetCountry("643;1)", 0)
    assert e.value.number == 5
    assert "GetCountry" in e.value.description
    # The location is the source, not glued in front of the description.
    assert e.value.source.startswith("[Qv_DBProvider::DictQueries.GetCountry")
    assert not e.value.description.startswith("[")
    with pytest.raises(qvdb.Error) as e:
        qvdb.create("Qv_DBProvider.NoSuchClass")
    assert e.value.number == 429
    with pytest.raises(AttributeError):
        dictionaries.NoSuchOperation
    # A lone surrogate has no UTF-8 form: a clear error naming where it is.
    with pytest.raises(ValueError, match="lone surrogate at position 3"):
        dictionaries.GetCountry("643\ud800", 0)


def test_records_from_dicts_and_arguments_written_by_the_call():
    offices = qvdb.create("Qv_DBProvider.DBTaxOffice")
    result, args = offices.invoke("ReadRecord", 7701, {"record": "Qv_Records.QvTaxOffice"})
    office = args[1]
    assert office.progid == "Qv_Records.QvTaxOffice"
    assert office["ShortName"].startswith("ИФНС")
    assert office.ShortName == office["ShortName"]  # a record's property as an attribute

    reference = qvdb.record("Qv_Records.QvTaxOffice", ID=7701)
    assert reference["RState"] == 1  # a reference to the stored row, read on first use
    assert reference["INN"] == office["INN"]
    with pytest.raises(TypeError):
        offices.ReadRecord(7701, {"Code": "7701"})
    with pytest.raises(qvdb.Error):
        qvdb.record("Qv_Records.QvTaxOffice", NoSuchProperty=1)


def test_to_pandas():
    pandas = pytest.importorskip("pandas")
    frame = qvdb.create("Qv_DBProvider.DictQueries").GetCountry("643;112", 0).to_pandas()
    assert isinstance(frame, pandas.DataFrame)
    assert list(frame["Alfa3"]) == ["RUS", "BLR"]


def test_readme_examples_are_the_ones_run():
    readme = (SOURCE / "README.md").read_text()
    for example in ["examples/python/countries.py", "examples/consumer/main.cpp",
                    "examples/consumer/CMakeLists.txt"]:
        assert (SOURCE / example).read_text() in readme, example


def test_python_example():
    out = subprocess.run([sys.executable, str(SOURCE / "examples/python/countries.py"), "643"],
                         check=True, capture_output=True, text=True).stdout
    assert out == "RUS Россия\n"
