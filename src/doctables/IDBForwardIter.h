#pragma once
// A forward-only walk over rows: Count, MoveNext, IsEOF and the current
// row's fields by name, converted (at the end the getters give their
// default, Empty for GetField and GetDate). TBigTableIterator implements it
// over the sub-documents of a big document's volume.

#include <cstdint>
#include <string>

#include "platform/automation/Object.h"

namespace qv::doctables {

class IDBForwardIter : public Object {
 public:
  // The rows of the walk, counted once.
  virtual int32_t Count() = 0;
  virtual void MoveNext() = 0;
  virtual bool IsEOF() = 0;
  virtual Variant GetField(const std::string& aName) = 0;
  virtual std::string GetString(const std::string& aName, const std::string& aDefault) = 0;
  virtual int32_t GetLong(const std::string& aName, int32_t aDefault) = 0;
  virtual double GetDouble(const std::string& aName, double aDefault) = 0;
  virtual Variant GetDate(const std::string& aName) = 0;
};

}  // namespace qv::doctables
