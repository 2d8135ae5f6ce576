#include "Reference.h"

#include <algorithm>
#include <fstream>
#include <ostream>
#include <set>

#include "Call.h"
#include "platform/automation/Error.h"
#include "platform/automation/Object.h"
#include "platform/automation/VbaText.h"
#include "siblings/records/RecordClass.h"

namespace qvdb {

namespace fs = std::filesystem;

namespace {

// The members in registration order, each name once, the nameless one out.
std::vector<const qv::Member*> DistinctMembers(const qv::ClassInfo& info) {
  std::vector<const qv::Member*> members;
  std::set<std::string> seen;
  for (const qv::Member& m : info.Members())
    if (!m.name.empty() && seen.insert(qv::AsciiLower(m.name)).second) members.push_back(&m);
  return members;
}

// A member read and set without arguments is a property: "Property Notes As
// String"; the rest as their signature declares them.
std::string SignatureOf(const qv::Member& m) {
  if (m.signature && m.call && m.let && m.signature->params.empty() && m.signature->result)
    return "Property " + m.name + " As " + m.signature->result();
  return m.signature ? qv::FormatSignature(m.name, *m.signature) : std::string();
}

const qv::ClassInfo* FindCallable(const std::string& name) {
  const std::string progId =
      name.find('.') == std::string::npos ? std::string(kOwnLibrary) + "." + name : name;
  const qv::ClassInfo* info = qv::ProgIdRegistry::Find(progId);
  return info && info->Creatable() ? info : nullptr;
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The edits (a character put in, left out or changed) that turn one text into
// the other, case ignored.
size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      const bool same = Lower(a[i - 1]) == Lower(b[j - 1]);
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

std::string SuggestCallName(const std::string& target) {
  const size_t dot = target.rfind('.');
  const std::string operation = dot == std::string::npos ? "" : target.substr(dot + 1);
  // A name that is there needs no other: the error came from elsewhere (an
  // argument's @PROGID, a member the operation itself looked for).
  if (const qv::ClassInfo* info =
          dot == std::string::npos ? nullptr : FindCallable(target.substr(0, dot)))
    if (info->Find(operation)) return "";
  std::vector<std::string> sameName;
  std::string nearest;
  // A class's name alone is short and its slips are whole endings (DictQuery for
  // DictQueries): it takes a third of its letters changed, a full name a sixth.
  size_t best = std::max<size_t>(2, target.size() / (dot == std::string::npos ? 3 : 6)) + 1;
  for (const qv::ClassInfo* info : CallableClasses()) {
    const std::string cls = CallName(*info);
    if (const size_t d = EditDistance(target, cls); d < best) best = d, nearest = cls;
    for (const qv::Member* m : DistinctMembers(*info)) {
      const std::string full = cls + "." + m->name;
      if (!operation.empty() && qv::AsciiLower(m->name) == qv::AsciiLower(operation))
        sameName.push_back(full);
      if (const size_t d = EditDistance(target, full); d < best) best = d, nearest = full;
    }
  }
  // A slip in the class's name: the nearest name has the operation typed.
  if (sameName.empty() ||
      (!nearest.empty() &&
       qv::AsciiLower(nearest.substr(nearest.rfind('.') + 1)) == qv::AsciiLower(operation)))
    return nearest;
  std::string list;
  for (size_t i = 0; i < sameName.size() && i < 3; ++i)
    list += (i == 0 ? "" : i + 1 == sameName.size() || i == 2 ? " or " : ", ") + sameName[i];
  return list;
}

std::vector<const qv::ClassInfo*> CallableClasses() {
  std::vector<const qv::ClassInfo*> classes;
  std::set<std::string> seen;
  for (const std::string& progId : qv::ProgIdRegistry::ProgIds()) {
    const qv::ClassInfo* info = qv::ProgIdRegistry::Find(progId);
    if (info && info->Creatable() && seen.insert(qv::AsciiLower(info->ProgId())).second)
      classes.push_back(info);
  }
  std::sort(classes.begin(), classes.end(), [](const qv::ClassInfo* a, const qv::ClassInfo* b) {
    return a->ProgId() < b->ProgId();
  });
  return classes;
}

std::string CallName(const qv::ClassInfo& info) {
  return info.Library() == kOwnLibrary ? std::string(info.Name()) : info.ProgId();
}

std::vector<std::string> MemberLines(const qv::ClassInfo& info) {
  std::vector<std::string> lines;
  for (const qv::Member* m : DistinctMembers(info))
    lines.push_back(CallName(info) + "." + m->name + "\t" + SignatureOf(*m));
  return lines;
}

namespace {

// "Property INN As String": a record's property, which `call` reads as
// CLASS.NAME and an argument sets as @CLASS{NAME=value}.
std::string PropertyLine(const qv::records::PropertyDef& p) {
  using qv::records::Kind;
  std::string type;
  switch (p.kind) {
    case Kind::kText:
      type = "String";
      break;
    case Kind::kLong:
      type = "Long";
      break;
    case Kind::kDouble:
      type = "Double";
      break;
    case Kind::kDate:
      type = "Date";
      break;
    case Kind::kBoolean:
      type = "Boolean";
      break;
    case Kind::kVariant:
      type = "Variant";
      break;
    case Kind::kCollection:
      type = "VBA.Collection";
      break;
    default:
      type = p.progId.empty() ? "Object" : std::string(p.progId);
  }
  return "Property " + std::string(p.name) + " As " + type;
}

}  // namespace

void PrintHelp(const std::string& target, std::ostream& out) {
  const size_t dot = target.rfind('.');
  // CLASS alone, or CLASS.OPERATION (a ProgID has a dot of its own).
  if (const qv::ClassInfo* info = FindCallable(target)) {
    out << info->ProgId() << "\n";
    for (const qv::Member* m : DistinctMembers(*info))
      out << "  " << (m->signature ? SignatureOf(*m) : m->name) << "\n";
    if (const auto* record = qv::records::FindRecordClass(info->ProgId()))
      for (int i = 0; i < record->PropertyCount(); ++i)
        out << "  " << PropertyLine(record->Property(i)) << "\n";
    return;
  }
  const qv::ClassInfo* info =
      dot == std::string::npos ? nullptr : FindCallable(target.substr(0, dot));
  const qv::Member* m = info ? info->Find(target.substr(dot + 1)) : nullptr;
  const auto* record = info && !m ? qv::records::FindRecordClass(info->ProgId()) : nullptr;
  if (const int i = record ? record->PropertyIndex(target.substr(dot + 1)) : -1; i >= 0) {
    const std::string name(record->Property(i).name);
    out << info->ProgId() << "." << name << "\n  " << PropertyLine(record->Property(i))
        << "\n  an argument sets it as @" << info->ProgId() << "{" << name << "=value}\n";
    return;
  }
  if (!m) {
    const std::string meant = SuggestCallName(target);
    qv::ThrowVb(qv::vberr::kInvalidProcedureCall,
                "no class or operation \"" + target + "\" (" +
                    (meant.empty() ? "" : "did you mean " + meant + "? ") +
                    "see qvdb classes --members)");
  }
  out << CallName(*info) << "." << m->name << "\n  "
      << (m->signature ? SignatureOf(*m) : (m->let ? "Property " : "") + m->name) << "\n";
  if (!m->signature) return;
  for (const qv::Param& p : m->signature->params) {
    if (p.optional)
      out << "  " << p.name
          << " may be left out, or given as `empty` when an argument after it is given: its "
             "default stands in\n";
    if (p.byRef) out << "  " << p.name << " is written back: call prints it after the call\n";
  }
}

std::string ReferencePage(const qv::ClassInfo& info) {
  std::string page = "# " + CallName(info) + "\n\n";
  page += "ProgID `" + info.ProgId() + "`. Generated by `qvdb reference`; do not edit.\n\n";
  page += "```vb\n";
  for (const qv::Member* m : DistinctMembers(info))
    page += (m->signature ? SignatureOf(*m) : "Property " + m->name) + "\n";
  page += "```\n";
  return page;
}

namespace {

void WritePage(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary);
  out << text;
  out.close();
  if (!out) qv::ThrowVb(qv::vberr::kPathFileAccessError, "cannot write " + file.string());
}

}  // namespace

int WriteReference(const fs::path& dir) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec || !fs::is_directory(dir, ec))
    qv::ThrowVb(qv::vberr::kPathFileAccessError,
                "cannot create the folder " + dir.string() + (ec ? ": " + ec.message() : ""));
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().extension() == ".md") fs::remove(entry.path());
  std::string index =
      "# Reference\n\nThe classes `qvdb call` can create, one page each, with the signature of "
      "every operation as its registration declares it. Generated by `qvdb reference "
      "docs/reference`; a test fails when a page is stale.\n\n";
  int pages = 0;
  for (const qv::ClassInfo* info : CallableClasses()) {
    const std::string name = CallName(*info);
    WritePage(dir / (name + ".md"), ReferencePage(*info));
    index += "- [" + name + "](" + name + ".md)\n";
    ++pages;
  }
  WritePage(dir / "README.md", index);
  return pages;
}

}  // namespace qvdb
