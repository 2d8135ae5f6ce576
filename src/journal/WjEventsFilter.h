#pragma once
// WjEventsFilter: a snapshot of the caller's journal filter object, read
// late-bound by property name, and the statement that selects the events
// it lets through.
//
// Each "Use..." switch adds one condition; a switch on with none of its
// values selected gives the list "-1000", which matches nothing. The
// event-date test applies to EvDate for personnel events (types 1, 2) and
// to the dates of the applications present for applications (type 3); an
// empty bound leaves that side open.

#include <string>

#include "platform/automation/Object.h"

namespace qv::journal {

class WjEventsFilter {
 public:
  // Reads every property the filter names. Errors: 424 for Nothing, 438
  // for an object without one of the properties.
  static WjEventsFilter FromObject(const Variant& aFilter);

  // "select e.ID as ID from ..." over the events of the taxpayer (or of the
  // filter's pension-fund person, with UsePfrPerson).
  std::string Sql(double aTaxpayerID) const;

  bool usePfrPerson = false;
  double pfrPersonId = 0;
  bool useEventDate = false;
  Variant dateBeg, dateEnd;
  bool useEventType = false, typeEvent = false, typeApp = false;
  bool useTracking = false, trackingNone = false, trackingSzvTd = false;
  bool useEmitState = false, emitNotEmitted = false, emitBrokenLink = false, emitInWorking = false,
       emitCompleted = false, emitDelivered = false, emitNotTracking = false;
  bool useCancelState = false, cancelActual = false, cancelCanceller = false,
       cancelCancelledBy = false;
};

}  // namespace qv::journal
