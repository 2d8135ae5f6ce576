#pragma once
// The schemas of a server data folder as a whole: what the folder's files
// are to a folder on disk (made, renamed into place, listed, removed), each
// reached by a location whose search path names it first
// (ServerLocationInSchema). Each call connects on its own, outside every
// transaction of the library's connections, as a file is made and removed
// outside them.
//
// Errors: 3051 the server cannot be reached; the server's own mapped onto
// Jet's (PgToJetError); 3204 a schema made that exists; 3218 a schema
// removed while another session's transaction uses one of its tables.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct pg_conn;

namespace qv::jet {

// Makes the schema `location` names first (ServerFolderSchema).
void CreateServerSchema(std::string_view location);

// Whether the schema `location` names exists.
bool ServerSchemaExists(std::string_view location);

// The schemas of the server database whose names are `prefix` followed by
// one or more digits, in name order. `builds`, when given, is set to whether
// a temporary schema of a build of one of them (ServerSchemaBuild) exists.
std::vector<std::string> ServerSchemasNumbered(std::string_view location, std::string_view prefix,
                                               bool* builds = nullptr);

// Removes the schemas `names` of the server database `location` names,
// with everything in them, all or none (one transaction); with `probe` the
// removal is rolled back: whether it would succeed now. It waits for no
// other session: one that has any of them open (a database open on it) or
// whose transaction holds a lock on any of their tables makes it fail with
// 3218.
void DropServerSchemas(std::string_view location, const std::vector<std::string>& names,
                       bool probe = false);

// What follows a family's common name (its schemas' names without their last
// digits, ServerSchemaBuild's `family`) in the names of the temporary schemas
// its builds make: a POSIX regular expression, anchored at its end only (the
// caller anchors its start): a member's digits, "_n" and the builder's
// session id, or an older build's pid and count.
std::string FamilyBuildPattern();

// Removes the temporary schemas that cut-off builds (ServerSchemaBuild) of
// the schemas named `prefix` and digits left, by the builds' own rule: only
// those whose build lock and open lock it can take without waiting, all in
// one transaction; what it cannot remove now stays. How many it removed.
int DropLeftoverBuilds(std::string_view location, std::string_view prefix);

// A temporary schema of a build (ServerSchemaBuild) as SweepTemporarySchemas
// found it.
struct TemporarySchema {
  std::string name;
  // Its build lock is held: a build under way in another session.
  bool building = false;
  // Another session has it open, or (when removing) its transaction holds a
  // lock on one of its tables.
  bool held = false;
  bool removed = false;
};

// The schemas named `prefix` followed by a match of `pattern` (anchored at
// its start: FamilyBuildPattern for a family), in name order, each with
// whether another session's build or open holds it; with `remove`, those no
// other session holds are removed, each on its own, by the builds' rule
// (neither lock waited for, nor a table lock). `pattern` must match
// temporary names only: a schema it matches that no session holds goes.
std::vector<TemporarySchema> SweepTemporarySchemas(std::string_view location,
                                                   std::string_view prefix,
                                                   std::string_view pattern, bool remove);

// A schema built under a temporary name of its own and then renamed into
// place, as a file is built and linked: `<schema>_n<id>`, with <id> the
// builder's server session (unique among live sessions, on every host).
// That session holds, from before the temporary schema is made until it is
// closed, a shared session-level advisory lock (kBuildLockClass, hashtext
// of the temporary name), which the server releases when the session ends,
// a killed builder's included. Before making its own, a build removes the
// temporary schemas of the same schema ("_n" and digits, "_" and digits)
// whose builder is gone: those whose build lock and open lock
// (kOpenLockClass) it can take without waiting, in one transaction.
class ServerSchemaBuild {
 public:
  // Connects to the server database `location` names and makes the
  // temporary schema of the schema it names first. 3204 when it exists
  // (a live session's). With `family` (the schema's name without its last
  // digits: the shards of one document) the leftovers removed are those of
  // every schema named `family` and digits, in the same look (none more).
  explicit ServerSchemaBuild(std::string_view location, std::string_view family = {});
  // Removes the temporary schema unless renamed; ends the session.
  ~ServerSchemaBuild();
  ServerSchemaBuild(const ServerSchemaBuild&) = delete;
  ServerSchemaBuild& operator=(const ServerSchemaBuild&) = delete;

  // The location of the temporary schema: `location` naming it first.
  const std::string& Location() const { return temp_; }
  // Gives the temporary schema its own name unless a schema of that name
  // exists (then false, and the temporary schema is removed with the build).
  bool Publish();

 private:
  std::unique_ptr<pg_conn, void (*)(pg_conn*)> conn_;
  std::string schema_, tempSchema_, temp_;
  bool done_ = false;
};

// The first number of the build lock (ServerSchemaBuild).
inline constexpr int32_t kBuildLockClass = 0x51760002;

}  // namespace qv::jet
