#include "platform/jet/JetTranslator.h"

#include "platform/jet/sql/JetEmitter.h"
#include "platform/jet/sql/JetParser.h"

namespace qv::jet {

Translation TranslateJet(std::string_view jetSql, const SchemaView& schema, SqlDialect dialect) {
  const sql::TreeScope tree;  // the syntax tree lives until the translation is made
  const sql::Statement st = sql::JetParser(jetSql).Parse();
  return sql::JetEmitter(schema, jetSql, dialect).Translate(st);
}

Translation TranslateJetParameterized(std::string_view jetSql, const SchemaView& schema,
                                      std::span<const size_t> literalPositions,
                                      std::vector<LiteralUse>& uses, SqlDialect dialect) {
  const sql::TreeScope tree;
  const sql::Statement st = sql::JetParser(jetSql).Parse();
  uses.assign(literalPositions.size(), LiteralUse::kNone);
  sql::JetEmitter emitter(schema, jetSql, dialect);
  emitter.ParameterizeLiterals(literalPositions, uses);
  return emitter.Translate(st);
}

}  // namespace qv::jet
