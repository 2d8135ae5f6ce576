#pragma once
// The operations of the classes `call` can create, with the signatures
// their registrations declare: `qvdb classes --members`, `qvdb help` and the
// generated reference pages (one per class) all read them from here.

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace qv {
class ClassInfo;
}

namespace qvdb {

// The creatable classes, each once, sorted by ProgID.
std::vector<const qv::ClassInfo*> CallableClasses();

// The name `call` takes for the class: without "Qv_DBProvider." for the
// library's own classes, the ProgID otherwise.
std::string CallName(const qv::ClassInfo& info);

// One line per member (each name once; the nameless default member left
// out): "CLASS.MEMBER<TAB>signature", the signature empty when the member
// declares none.
std::vector<std::string> MemberLines(const qv::ClassInfo& info);

// What the caller probably meant by a CLASS.OPERATION or CLASS that names
// nothing: the operations of that name in other classes (up to three), else
// the one name a typing slip or two away (case ignored); "" when nothing is
// that close, or when `target` names an operation that is there.
std::string SuggestCallName(const std::string& target);
// `qvdb help CLASS.OPERATION` (the signature, what Optional and ByRef mean
// for `call`) or `qvdb help CLASS` (every member). Error 5 naming the
// target when there is no such class or member.
void PrintHelp(const std::string& target, std::ostream& out);

// Writes DIR/README.md (the index) and DIR/<CLASS>.md per class, replacing
// the .md files there; returns the pages written.
int WriteReference(const std::filesystem::path& dir);

// The page of one class as WriteReference writes it.
std::string ReferencePage(const qv::ClassInfo& info);

}  // namespace qvdb
