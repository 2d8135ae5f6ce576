#include "platform/jet/sql/JetAst.h"

namespace qv::jet::sql {

// Out of line: each node owns nodes of types declared after it.
Expr::~Expr() = default;
TableRef::~TableRef() = default;
Select::~Select() = default;
Query::~Query() = default;
Statement::Statement(Statement&&) noexcept = default;
Statement& Statement::operator=(Statement&&) noexcept = default;
Statement::~Statement() = default;

}  // namespace qv::jet::sql
