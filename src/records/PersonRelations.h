#pragma once
// Relations of persons kept in tables of their own: branches (Branches:
// ParentPersonID, ChildPersonID; a branch has one parent) and the persons
// the user keeps accounts for (AccPerson). The person mapper reads them with
// a person's lazy part and removes them with the person; the query classes
// read and change them on the session's database. Each works on the
// database it is given.

namespace qv::dao {
class Database;
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
// Removes the person's branch relation to its parent (none: nothing).
void RemoveBranch(dao::Database& db, double aBranchOrgID);
// Removes the person from the accounted persons (not one: nothing).
void RemoveAccPerson(dao::Database& db, double aPersonID);

}  // namespace qv::records
