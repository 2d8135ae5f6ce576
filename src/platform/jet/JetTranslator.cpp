#include "platform/jet/JetTranslator.h"

#include "platform/jet/sql/JetEmitter.h"
#include "platform/jet/sql/JetParser.h"

namespace qv::jet {

Translation TranslateJet(std::string_view jetSql, const SchemaView& schema) {
  const sql::Statement st = sql::JetParser(jetSql).Parse();
  return sql::JetEmitter(schema, jetSql).Translate(st);
}

}  // namespace qv::jet
