#pragma once
// Relations of persons kept in tables of their own: branches (Branches:
// ParentPersonID, ChildPersonID; a branch has one parent) and the persons
// the user keeps accounts for (AccPerson). The person mapper reads them with
// a person's lazy part and removes them with the person; the query classes
// read and change them on the session's database. Each works on the
// database it is given.

#include <memory>

namespace qv::dao {
class Database;
}
namespace qv::jet {
class EngineStatement;
}

namespace qv::records {

// True when the person is a branch of another organisation.
bool IsBranch(dao::Database& db, double aPersonID);
// True when the person is one of the persons the user keeps accounts for.
bool IsAccPerson(dao::Database& db, double aPersonID);
// Both of the above for one person, as IsBranch and IsAccPerson give them;
// a server answers both in one select (one round trip).
struct PersonMarks {
  bool branch = false;
  bool accounted = false;
};
PersonMarks ReadPersonMarks(dao::Database& db, double aPersonID);
// ReadPersonMarks in two steps, for a read that has another select to make
// meanwhile: on a server the marks' select is made here and goes with the
// connection's next select (one round trip for both); Read gives the marks
// (a failure of the select raises there). On a file Read reads them.
class PersonMarksReader {
 public:
  PersonMarksReader(dao::Database& db, double aPersonID);
  ~PersonMarksReader();
  PersonMarksReader(const PersonMarksReader&) = delete;
  PersonMarksReader& operator=(const PersonMarksReader&) = delete;
  PersonMarks Read();

 private:
  dao::Database& db_;
  double id_;
  std::unique_ptr<jet::EngineStatement> st_;  // on a server
};
// Removes the person's branch relation to its parent (none: nothing).
void RemoveBranch(dao::Database& db, double aBranchOrgID);
// Removes the person from the accounted persons (not one: nothing).
void RemoveAccPerson(dao::Database& db, double aPersonID);

}  // namespace qv::records
