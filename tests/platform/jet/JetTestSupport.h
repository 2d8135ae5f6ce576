#pragma once
// A fresh folder per test and a connection to a new database in it.

#include <gtest/gtest.h>

#include <string>

#include "platform/jet/JetConnection.h"
#include "support/TestSupport.h"

namespace qv::jet::testing {

using testsupport::ExpectError;
using testsupport::kAnyError;
using testsupport::TempFolder;

class JetTest : public ::testing::Test {
 protected:
  JetTest() : db_(Connection::Create(folder_.File("Test.mdb"))) {}

  // The single value of a native query, as Variant::Describe renders it.
  std::string Native(const std::string& sql) {
    Statement s = db_->PrepareNative(sql);
    if (!s.Step()) return "(no row)";
    return s.Value(0).Describe();
  }

  TempFolder folder_;
  std::shared_ptr<Connection> db_;
};

}  // namespace qv::jet::testing
