#pragma once
// The cell storage of one pension-fund sub-document as the form logic sees
// it: single cells read and written by key, without loading the
// sub-document record. A cell is addressed by the sub-document (SubDocID),
// its key, and for a repeating table its line and table numbers (0 for a
// single cell).
//
// Every kind has an empty value (the empty text, 0, Empty for a date,
// False): an absent cell reads as it, and setting it removes the cell, so
// an absent cell and an empty value are one state. Unreadable stored texts
// read as 0 or Empty, never as an error.
//
// The library hands out objects implementing it; late-bound callers use the
// same member names.

#include <cstdint>
#include <string>

#include "platform/automation/Variant.h"

namespace qv::records {

class IQvPfrCellsStorage {
 public:
  virtual ~IQvPfrCellsStorage() = default;

  // The sub-document addressed; 0 until set.
  virtual double SubDocID() const = 0;
  virtual void SetSubDocID(double aSubDocID) = 0;

  virtual std::string GetString(int32_t aKey, int32_t aLineNum = 0, int32_t aTableNum = 0) = 0;
  virtual double GetDouble(int32_t aKey, int32_t aLineNum = 0, int32_t aTableNum = 0) = 0;
  virtual double GetMoney(int32_t aKey, int32_t aLineNum = 0, int32_t aTableNum = 0) = 0;
  virtual int32_t GetLong(int32_t aKey, int32_t aLineNum = 0, int32_t aTableNum = 0) = 0;
  // A date, or Empty.
  virtual Variant GetDate(int32_t aKey, int32_t aLineNum = 0, int32_t aTableNum = 0) = 0;
  virtual bool GetBoolean(int32_t aKey, int32_t aLineNum = 0, int32_t aTableNum = 0) = 0;

  virtual void SetString(int32_t aKey, const std::string& aValue, int32_t aLineNum = 0,
                         int32_t aTableNum = 0) = 0;
  virtual void SetDouble(int32_t aKey, double aValue, int32_t aLineNum = 0,
                         int32_t aTableNum = 0) = 0;
  virtual void SetMoney(int32_t aKey, double aValue, int32_t aLineNum = 0,
                        int32_t aTableNum = 0) = 0;
  virtual void SetLong(int32_t aKey, int32_t aValue, int32_t aLineNum = 0,
                       int32_t aTableNum = 0) = 0;
  // A date; Null or Empty removes the cell.
  virtual void SetDate(int32_t aKey, const Variant& aValue, int32_t aLineNum = 0,
                       int32_t aTableNum = 0) = 0;
  virtual void SetBoolean(int32_t aKey, bool aValue, int32_t aLineNum = 0,
                          int32_t aTableNum = 0) = 0;

  // Removes the lines of key aKey beyond the last actual one (when
  // aLastActualLineNum is not 0 and aLastActualTableNum is 0), or the
  // tables beyond the last actual one (when aLastActualLineNum is 0).
  virtual void ClearDynamicRest(int32_t aKey, int32_t aLastActualTableNum,
                                int32_t aLastActualLineNum) = 0;
  // Removes the cells of key aKey that meet a criterion (L, T: the cell's
  // line and table): 1 L > last line; 2 T > last table; 3 T = last table
  // and L > last line; 4 T > last table and L = last line; any other: none.
  virtual void ClearDynamics(int32_t aCriteria, int32_t aLastActualTableNum = -1,
                             int32_t aLastActualLineNum = -1, int32_t aKey = -1) = 0;
};

}  // namespace qv::records
