// The Python module `qvdb`: creates the library's classes by name and calls
// their operations with Python values.
//
//   import qvdb
//   dict_queries = qvdb.create("Qv_DBProvider.DictQueries")
//   for row in dict_queries.GetCountry("643;112", 0):
//       print(row.Alfa3, row["ShortName"])
//
// Values cross as they do for a late-bound caller: None is Null, int a Long
// (a Double beyond 32 bits), float a Double, str a String, bool a Boolean,
// datetime and date a Date (to the second), bytes a byte array, a list or
// tuple an array, a dict with a "record" key the object of that ProgID with
// the other keys as its properties. Results come back the same way, Empty
// and Null as None; a recordset is a sequence of rows with field names, a
// collection a sequence with keys, any other object an Object whose
// operations are its attributes. Every library error is a qvdb.Error with
// its number, description and source.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
// After Python.h, which pybind11 includes.
#include <datetime.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Error.h"
#include "platform/automation/Object.h"
#include "platform/automation/Variant.h"
#include "platform/automation/VbaDate.h"
#include "platform/automation/VbaText.h"
#include "siblings/records/RecordFactory.h"

namespace py = pybind11;

namespace {

using qv::Variant;

// The value of an omitted result or a deliberately empty argument.
struct EmptyValue {};

// An object that is neither a recordset nor a collection.
struct PyLibObject {
  qv::ObjectPtr object;
};

// The field names of one recordset, shared by its rows.
struct FieldNames {
  std::vector<std::string> names;
  std::unordered_map<std::string, size_t> byName;  // as given; a miss tries NamesEqual
  std::optional<size_t> Find(const std::string& name) const {
    if (auto it = byName.find(name); it != byName.end()) return it->second;
    for (size_t i = 0; i < names.size(); ++i)
      if (qv::NamesEqual(names[i], name)) return i;
    return std::nullopt;
  }
};

// One row: its values, read when the row was taken from the recordset.
struct Row {
  std::shared_ptr<const FieldNames> fields;
  py::tuple values;
  py::object Get(const std::string& name) const {
    auto col = fields->Find(name);
    if (!col) throw py::key_error(name);
    return values[*col];
  }
};

struct PyRecordset {
  qv::ado::RecordsetPtr rs;
  std::shared_ptr<const FieldNames> fields;
};

struct PyCollection {
  qv::CollectionPtr items;
};

py::object ToPython(const Variant& v);

py::object TextToPython(const std::string& s) {
  // A text the engine holds is UTF-8; a stray byte must not make the whole
  // result unreadable.
  return py::reinterpret_steal<py::object>(
      PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "surrogateescape"));
}

py::object DateToPython(qv::OleDate d) {
  const qv::DateParts p = qv::SplitDate(d);
  return py::reinterpret_steal<py::object>(
      PyDateTime_FromDateAndTime(p.year, p.month, p.day, p.hour, p.minute, p.second, 0));
}

PyRecordset WrapRecordset(qv::ado::RecordsetPtr rs) {
  auto fields = std::make_shared<FieldNames>();
  for (size_t c = 0; c < rs->FieldCount(); ++c) {
    fields->byName.emplace(rs->FieldAt(c).name, c);
    fields->names.push_back(rs->FieldAt(c).name);
  }
  return PyRecordset{std::move(rs), std::move(fields)};
}

py::object ObjectToPython(const qv::ObjectPtr& object) {
  if (!object) return py::none();
  if (auto rs = std::dynamic_pointer_cast<qv::ado::Recordset>(object))
    return py::cast(WrapRecordset(std::move(rs)));
  if (auto items = std::dynamic_pointer_cast<qv::Collection>(object))
    return py::cast(PyCollection{std::move(items)});
  return py::cast(PyLibObject{object});
}

py::object ToPython(const Variant& v) {
  switch (v.Type()) {
    case qv::VarType::kEmpty:
    case qv::VarType::kNull:
      return py::none();
    case qv::VarType::kBoolean:
      return py::bool_(qv::CBool(v));
    case qv::VarType::kByte:
    case qv::VarType::kInteger:
    case qv::VarType::kLong:
      return py::int_(qv::CLng(v));
    case qv::VarType::kSingle:
    case qv::VarType::kDouble:
    case qv::VarType::kCurrency:
      return py::float_(qv::CDbl(v));
    case qv::VarType::kDate:
      return DateToPython(qv::CDate(v));
    case qv::VarType::kString:
      return TextToPython(v.AsString());
    case qv::VarType::kObject:
      return ObjectToPython(v.AsObject());
    case qv::VarType::kError:
      if (v.IsMissing()) return py::none();
      return py::int_(v.AsErrorCode());
    case qv::VarType::kArrayFlag: {
      if (v.IsByteArray()) {
        const auto& b = v.AsBytes().bytes;
        return py::bytes(reinterpret_cast<const char*>(b.data()), b.size());
      }
      py::list items;
      for (const Variant& item : v.AsArray().items) items.append(ToPython(item));
      return items;
    }
    default:
      throw py::type_error("a value of type " + v.Describe() + " has no Python form");
  }
}

Variant FromPython(py::handle h);

// A Python text as the library's UTF-8. A stray byte a text read from the
// engine carried (decoded with surrogateescape) goes back as that byte; a
// lone surrogate is no character and has no UTF-8 form: a clear error.
std::string TextFromPython(py::handle h) {
  PyObject* bytes = PyUnicode_AsEncodedString(h.ptr(), "utf-8", "surrogateescape");
  if (!bytes) {
    PyErr_Clear();
    const Py_ssize_t n = PyUnicode_GetLength(h.ptr());
    Py_ssize_t at = 0;
    while (at < n) {
      const Py_UCS4 c = PyUnicode_ReadChar(h.ptr(), at);
      if (c >= 0xD800 && c <= 0xDFFF) break;
      ++at;
    }
    throw py::value_error("a text holds a lone surrogate at position " + std::to_string(at) +
                          ", which is no character and cannot be stored: pass whole characters "
                          "(a pair of surrogates is one character in Python only when joined)");
  }
  std::string out(PyBytes_AS_STRING(bytes), static_cast<size_t>(PyBytes_GET_SIZE(bytes)));
  Py_DECREF(bytes);
  return out;
}

Variant RecordFromDict(const py::dict& d) {
  if (!d.contains("record"))
    throw py::type_error(
        "a dict passed as an argument describes a record: it needs a \"record\" key naming "
        "the ProgID");
  const std::string progId = py::cast<std::string>(d["record"]);
  std::vector<std::pair<std::string, Variant>> props;
  for (auto [key, value] : d) {
    const std::string name = py::cast<std::string>(key);
    if (name != "record") props.emplace_back(name, FromPython(value));
  }
  return Variant(qv::records::CreateWithProperties(progId, props));
}

Variant FromPython(py::handle h) {
  if (h.is_none()) return Variant::Null();
  if (py::isinstance<EmptyValue>(h)) return Variant();
  if (PyBool_Check(h.ptr())) return Variant(h.ptr() == Py_True);
  if (PyLong_Check(h.ptr())) {
    int overflow = 0;
    const long long n = PyLong_AsLongLongAndOverflow(h.ptr(), &overflow);
    if (overflow == 0 && n >= INT32_MIN && n <= INT32_MAX) return Variant(static_cast<int32_t>(n));
    // Identifiers are Doubles; a whole number beyond 2^53 loses its last digits.
    return Variant(PyLong_AsDouble(h.ptr()));
  }
  if (PyFloat_Check(h.ptr())) return Variant(PyFloat_AsDouble(h.ptr()));
  if (PyUnicode_Check(h.ptr())) return Variant(TextFromPython(h));
  if (PyBytes_Check(h.ptr()) || PyByteArray_Check(h.ptr())) {
    const bool isBytes = PyBytes_Check(h.ptr());
    const auto* data = reinterpret_cast<const uint8_t*>(isBytes ? PyBytes_AS_STRING(h.ptr())
                                                                : PyByteArray_AS_STRING(h.ptr()));
    const Py_ssize_t size = isBytes ? PyBytes_GET_SIZE(h.ptr()) : PyByteArray_GET_SIZE(h.ptr());
    return Variant(qv::ByteArray{0, std::vector<uint8_t>(data, data + size)});
  }
  if (PyDateTime_Check(h.ptr())) {
    return Variant(qv::MakeDate(
        qv::DateParts{PyDateTime_GET_YEAR(h.ptr()), PyDateTime_GET_MONTH(h.ptr()),
                      PyDateTime_GET_DAY(h.ptr()), PyDateTime_DATE_GET_HOUR(h.ptr()),
                      PyDateTime_DATE_GET_MINUTE(h.ptr()), PyDateTime_DATE_GET_SECOND(h.ptr())}));
  }
  if (PyDate_Check(h.ptr()))
    return Variant(qv::DateSerial(PyDateTime_GET_YEAR(h.ptr()), PyDateTime_GET_MONTH(h.ptr()),
                                  PyDateTime_GET_DAY(h.ptr())));
  if (py::isinstance<PyLibObject>(h)) return Variant(py::cast<const PyLibObject&>(h).object);
  if (py::isinstance<PyRecordset>(h)) return Variant(py::cast<const PyRecordset&>(h).rs);
  if (py::isinstance<PyCollection>(h)) return Variant(py::cast<const PyCollection&>(h).items);
  if (py::isinstance<py::dict>(h)) return RecordFromDict(py::reinterpret_borrow<py::dict>(h));
  if (py::isinstance<py::list>(h) || py::isinstance<py::tuple>(h)) {
    std::vector<Variant> items;
    for (py::handle item : h) items.push_back(FromPython(item));
    return Variant(qv::VariantArray::Of(std::move(items)));
  }
  throw py::type_error("a " + std::string(py::str(h.get_type().attr("__name__"))) +
                       " cannot be passed to the library");
}

std::vector<Variant> ArgsFromPython(const py::args& args) {
  std::vector<Variant> out;
  out.reserve(args.size());
  for (py::handle a : args) out.push_back(FromPython(a));
  return out;
}

Row TakeRow(const PyRecordset& r, Py_ssize_t index) {
  const auto count = static_cast<Py_ssize_t>(r.rs->RowCount());
  if (index < 0) index += count;
  if (index < 0 || index >= count) throw py::index_error("row out of range");
  py::tuple values(r.fields->names.size());
  for (size_t c = 0; c < r.fields->names.size(); ++c)
    values[c] = ToPython(r.rs->Value(static_cast<size_t>(index), c));
  return Row{r.fields, std::move(values)};
}

// A member's call: a method, or a property get called as one (as in VB).
py::object Call(const qv::ObjectPtr& object, const std::string& name, const py::args& args) {
  std::vector<Variant> values = ArgsFromPython(args);
  return ToPython(object->Call(name, values));
}

py::object BoundMember(const qv::ObjectPtr& object, const std::string& name) {
  if (object->Class().Find(name) == nullptr)
    throw py::attribute_error(object->Class().ProgId() + " has no member " + name);
  return py::cpp_function([object, name](const py::args& args) { return Call(object, name, args); },
                          py::name(name.c_str()));
}

// obj.Name: an operation as a callable; a property a record answers itself
// (not in its class's table, listed by members()) as its value.
py::object Attribute(const qv::ObjectPtr& object, const std::string& name) {
  if (object->Class().Find(name) == nullptr)
    for (const std::string& member : object->MemberNames())
      if (qv::EqualsAsciiNoCase(member, name)) return ToPython(object->Get(name));
  return BoundMember(object, name);
}

// An error's description split into the location lines the library's
// procedures put in front ("[Qv_DBProvider::Class.Operation]") and the
// message after them.
std::pair<std::string, std::string> LocationAndMessage(const std::string& description) {
  std::string location;
  size_t at = 0;
  while (at < description.size() && description[at] == '[') {
    const size_t end = description.find("\r\n", at);
    if (end == std::string::npos) break;
    location += (location.empty() ? "" : "\n") + description.substr(at, end - at);
    at = end + 2;
  }
  return {location, description.substr(at)};
}

std::string Repr(const Row& row) {
  std::string s = "Row(";
  for (size_t i = 0; i < row.fields->names.size(); ++i) {
    if (i) s += ", ";
    s += row.fields->names[i] + "=" + std::string(py::repr(row.values[i]));
  }
  return s + ")";
}

}  // namespace

PYBIND11_MODULE(qvdb, m) {
  m.doc() =
      "The data-access library's classes, created by name, with their operations called "
      "by name.";
  PyDateTime_IMPORT;

  static py::exception<qv::Error> error(m, "Error");
  error.doc() =
      "An error of the library: number (the error number), description (the chain of the "
      "library's procedures and the message), source.";
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const qv::Error& e) {
      py::object exc =
          py::handle(error.ptr())("Error " + std::to_string(e.Number()) + ": " + e.Description());
      exc.attr("number") = e.Number();
      // description: the message; source: where it was raised (the
      // procedures' location lines) and the failing component's source.
      const auto [location, message] = LocationAndMessage(e.Description());
      std::string source = location;
      if (!e.Source().empty()) source += (source.empty() ? "" : "\n") + e.Source();
      exc.attr("description") = TextToPython(message);
      exc.attr("source") = TextToPython(source);
      PyErr_SetObject(error.ptr(), exc.ptr());
    }
  });

  py::class_<EmptyValue>(m, "EmptyType", "The type of qvdb.Empty")
      .def("__repr__", [](const EmptyValue&) { return "qvdb.Empty"; });
  m.attr("Empty") = py::cast(EmptyValue{});

  py::class_<PyLibObject>(m, "Object",
                          "An object of the library: its operations and properties are its "
                          "attributes; obj[\"Prop\"] reads a property, obj.Prop = v sets one")
      .def_property_readonly("progid",
                             [](const PyLibObject& o) { return o.object->Class().ProgId(); })
      .def("members", [](const PyLibObject& o) { return o.object->MemberNames(); })
      .def(
          "invoke",
          [](const PyLibObject& o, const std::string& name, const py::args& args) {
            std::vector<Variant> values = ArgsFromPython(args);
            py::object result = ToPython(o.object->Call(name, values));
            py::list after;
            for (const Variant& v : values) after.append(ToPython(v));
            return py::make_tuple(result, after);
          },
          "Calls an operation; returns (result, [every argument after the call]), for the "
          "operations that write into their arguments")
      .def("__getattr__",
           [](const PyLibObject& o, const std::string& name) { return Attribute(o.object, name); })
      .def("__setattr__", [](const PyLibObject& o, const std::string& name,
                             py::handle value) { o.object->Let(name, FromPython(value)); })
      .def("__getitem__", [](const PyLibObject& o,
                             const std::string& name) { return ToPython(o.object->Get(name)); })
      .def("__setitem__", [](const PyLibObject& o, const std::string& name,
                             py::handle value) { o.object->Let(name, FromPython(value)); })
      .def("__eq__",
           [](const PyLibObject& a, const PyLibObject& b) { return a.object == b.object; })
      .def("__hash__",
           [](const PyLibObject& o) { return std::hash<qv::Object*>()(o.object.get()); })
      .def("__repr__",
           [](const PyLibObject& o) { return "<qvdb.Object " + o.object->Class().ProgId() + ">"; });

  py::class_<Row>(m, "Row", "One row of a recordset: by position, by field name, or as attribute")
      .def("__len__", [](const Row& r) { return r.values.size(); })
      .def("__getitem__",
           [](const Row& r, Py_ssize_t i) -> py::object {
             const auto n = static_cast<Py_ssize_t>(r.values.size());
             if (i < 0) i += n;
             if (i < 0 || i >= n) throw py::index_error("field out of range");
             return r.values[i];
           })
      .def("__getitem__", &Row::Get)
      .def("__getattr__",
           [](const Row& r, const std::string& name) {
             try {
               return r.Get(name);
             } catch (const py::key_error&) {
               throw py::attribute_error("no field " + name);
             }
           })
      .def("__iter__", [](const Row& r) { return py::iter(r.values); })
      .def("__eq__",
           [](const Row& r, py::handle other) {
             if (py::isinstance<Row>(other))
               return r.values.equal(py::cast<const Row&>(other).values);
             return py::isinstance<py::tuple>(other) && r.values.equal(other);
           })
      .def("keys", [](const Row& r) { return r.fields->names; })
      .def("values", [](const Row& r) { return r.values; })
      .def("as_dict",
           [](const Row& r) {
             py::dict d;
             for (size_t i = 0; i < r.fields->names.size(); ++i)
               d[py::str(r.fields->names[i])] = r.values[i];
             return d;
           })
      .def("__repr__", &Repr);

  py::class_<PyRecordset>(m, "Recordset",
                          "A recordset: a sequence of rows in its current order; fields names "
                          "its columns; its operations are attributes (MoveFirst ...), and obj "
                          "is the recordset as an Object (obj.Sort = \"Name\")")
      .def("__len__", [](const PyRecordset& r) { return r.rs->RowCount(); })
      .def("__getitem__", &TakeRow)
      .def("__iter__",
           [](const PyRecordset& r) {
             py::list rows;
             for (size_t i = 0; i < r.rs->RowCount(); ++i)
               rows.append(py::cast(TakeRow(r, static_cast<Py_ssize_t>(i))));
             return py::iter(rows);
           })
      .def_property_readonly("fields", [](const PyRecordset& r) { return r.fields->names; })
      .def_property_readonly("obj", [](const PyRecordset& r) { return PyLibObject{r.rs}; })
      .def("__getattr__",
           [](const PyRecordset& r, const std::string& name) { return BoundMember(r.rs, name); })
      .def(
          "to_pandas",
          [](const PyRecordset& r) {
            py::module_ pandas = py::module_::import("pandas");
            py::list rows;
            for (size_t i = 0; i < r.rs->RowCount(); ++i)
              rows.append(TakeRow(r, static_cast<Py_ssize_t>(i)).values);
            return pandas.attr("DataFrame")
                .attr("from_records")(rows, py::arg("columns") = r.fields->names);
          },
          "A pandas DataFrame of the rows (ImportError when pandas is not installed)")
      .def("__repr__", [](const PyRecordset& r) {
        return "<qvdb.Recordset " + std::to_string(r.rs->RowCount()) + " rows>";
      });

  py::class_<PyCollection>(m, "Collection",
                           "A collection: a sequence of its items (from 0), an item also by "
                           "its key (c[\"_5\"]); its operations are attributes (Add, Item ...)")
      .def("__len__", [](const PyCollection& c) { return c.items->Count(); })
      .def("__getitem__",
           [](const PyCollection& c, Py_ssize_t i) {
             const Py_ssize_t n = c.items->Count();
             if (i < 0) i += n;
             if (i < 0 || i >= n) throw py::index_error("item out of range");
             return ToPython(c.items->At(static_cast<int32_t>(i + 1)));
           })
      .def("__getitem__",
           [](const PyCollection& c, const std::string& key) {
             const Variant* item = c.items->FindByKey(key);
             if (item == nullptr) throw py::key_error(key);
             return ToPython(*item);
           })
      .def("keys",
           [](const PyCollection& c) {
             std::vector<std::string> keys;
             for (int32_t i = 1; i <= c.items->Count(); ++i) keys.push_back(c.items->KeyAt(i));
             return keys;
           })
      .def("__iter__",
           [](const PyCollection& c) {
             py::list items;
             for (int32_t i = 1; i <= c.items->Count(); ++i) items.append(ToPython(c.items->At(i)));
             return py::iter(items);
           })
      .def_property_readonly("obj", [](const PyCollection& c) { return PyLibObject{c.items}; })
      .def("__getattr__", [](const PyCollection& c,
                             const std::string& name) { return BoundMember(c.items, name); })
      .def("__repr__", [](const PyCollection& c) {
        return "<qvdb.Collection " + std::to_string(c.items->Count()) + " items>";
      });

  m.def(
      "create", [](const std::string& progId) { return ObjectToPython(qv::CreateObject(progId)); },
      py::arg("progid"), "Creates an object of the library by its ProgID");
  m.def(
      "record",
      [](const std::string& progId, const py::kwargs& props) {
        py::dict d(props);
        d["record"] = progId;
        return ObjectToPython(RecordFromDict(d).AsObject());
      },
      py::arg("progid"),
      "A record object of the ProgID with the given properties set (ID makes it a reference "
      "to the stored row)");
}
