#pragma once
// Searches for the document another one is built on: the version a new
// adjustment continues, and the same form of the same stream and instance
// in the period before or after a document's period.

#include <cstdint>
#include <string_view>

namespace qv::mQvDocumentSrv {

inline constexpr std::string_view kModule = "mQvDocumentSrv";

// The version of the instance (0: instances without a number too) of any
// template of the template's class, in the currency, that a new adjustment
// continues: a current version (Top_Doc_ID 0 or Null), accepted or not;
// among several (separate chains) the latest accepted, then the highest
// adjustment number; 0 when there is none.
double GetBottomDocumentIDForNewDocument(double aAccStreamID, double aTimePeriodID,
                                         double aTemplateID, int32_t aInstanceNumber,
                                         int32_t aCurrencyID);

// The newest version of the same stream and instance made from a template
// of the document's class (or of its class group) in the month or quarter
// ending the day before the document's period begins; failing that, one of
// the class's alternative class. 0 when there is none or the document or
// its class does not exist.
double GetPrevDocumentID(double aDocumentID);
// The same for the periods beginning the day after the document's period
// ends, the latest accepted first (versions not yet accepted count too,
// last); failing the class and its alternative, a class whose alternative
// is the document's class. It finds a document whenever GetPrevDocumentID
// of one of the next period's documents finds this one.
double GetNextDocumentID(double aDocumentID);

}  // namespace qv::mQvDocumentSrv
