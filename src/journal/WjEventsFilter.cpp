#include "journal/WjEventsFilter.h"

#include <initializer_list>
#include <utility>
#include <vector>

#include "core/mErrorHandling.h"
#include "core/mQvCommonCalc.h"
#include "core/mQvDaoDataBase.h"

namespace qv::journal {
namespace {
using mQvDaoDataBase::Number2DaoSql;

constexpr std::string_view kEmptyDateSql = "DateSerial(1899,12,31)";

// The values whose flags are set, joined by ", "; "-1000" when none is.
std::string ValueList(std::initializer_list<std::pair<bool, const char*>> values) {
  std::string list;
  for (const auto& [on, value] : values)
    if (on) list += (list.empty() ? "" : ", ") + std::string(value);
  return list.empty() ? "-1000" : list;
}

std::string DateTest(const Variant& beg, const Variant& end) {
  const bool hasBeg = !mQvCommonCalc::IsEmptyDate(beg);
  const bool hasEnd = !mQvCommonCalc::IsEmptyDate(end);
  const std::string b = mQvDaoDataBase::Date2DaoSql(beg, kEmptyDateSql);
  const std::string e = mQvDaoDataBase::Date2DaoSql(end, kEmptyDateSql);
  if (hasBeg && hasEnd) return " between " + b + " and " + e;
  if (hasBeg) return " >= " + b;
  return " <= " + e;
}

}  // namespace

WjEventsFilter WjEventsFilter::FromObject(const Variant& aFilter) {
  if (!aFilter.IsObject() || aFilter.IsNothing())
    ThrowVb(vberr::kObjectRequired, "the events filter is Nothing");
  const ObjectPtr& o = aFilter.AsObject();
  auto flag = [&](std::string_view name) { return CBool(o->Get(name)); };
  WjEventsFilter f;
  f.usePfrPerson = flag("UsePfrPerson");
  if (f.usePfrPerson) {
    const Variant person = o->Get("PfrPerson");
    if (!person.IsObject() || person.IsNothing())
      ThrowVb(vberr::kObjectRequired, "UsePfrPerson is set without a PfrPerson");
    f.pfrPersonId = CDbl(person.AsObject()->Get("ID"));
  }
  f.useEventDate = flag("UseEventDate");
  f.dateBeg = o->Get("EvDateBeg");
  f.dateEnd = o->Get("EvDateEnd");
  f.useEventType = flag("UseEventType");
  f.typeEvent = flag("EvType_Event");
  f.typeApp = flag("EvType_App");
  f.useTracking = flag("UseTracking");
  f.trackingNone = flag("Tracking_NoTracking");
  f.trackingSzvTd = flag("Tracking_SzvTd");
  f.useEmitState = flag("UseEmitState");
  f.emitNotEmitted = flag("Emit_NotEmitted");
  f.emitBrokenLink = flag("Emit_BrokenLink");
  f.emitInWorking = flag("Emit_InWorking");
  f.emitCompleted = flag("Emit_Completed");
  f.emitDelivered = flag("Emit_Delivered");
  f.emitNotTracking = flag("Emit_NotTracking");
  f.useCancelState = flag("UseCancelState");
  f.cancelActual = flag("Cancel_Actual");
  f.cancelCanceller = flag("Cancel_Canceller");
  f.cancelCancelledBy = flag("Cancel_CancelledBy");
  return f;
}

std::string WjEventsFilter::Sql(double aTaxpayerID) const {
  std::vector<std::string> conditions;
  const bool emitToDocument = useEmitState && (emitInWorking || emitCompleted || emitDelivered);
  const std::string docJoin =
      emitToDocument ? "left join Doc_Registry AS d ON d.Document_ID = e.EmitDocID " : "";
  std::string source;
  if (usePfrPerson) {
    source = "WjEvents AS e " + docJoin;
    conditions.push_back("e.PfrPersonID = " + Number2DaoSql(pfrPersonId) + " ");
  } else {
    const std::string personJoin = "left join PfrPersons AS p ON p.ID = e.PfrPersonID) ";
    source = emitToDocument ? "(WjEvents AS e " + personJoin + docJoin
                            : "WjEvents AS e left join PfrPersons AS p ON p.ID = e.PfrPersonID ";
    conditions.push_back("p.Person_ID = " + Number2DaoSql(aTaxpayerID) + " ");
  }
  if (useEventType)
    conditions.push_back("e.EventType in (" + ValueList({{typeEvent, "1, 2"}, {typeApp, "3"}}) +
                         ")");
  if (useTracking)
    conditions.push_back("e.TrackingType in (" +
                         ValueList({{trackingNone, "0"}, {trackingSzvTd, "1"}}) + ")");
  if (useEmitState) {
    std::vector<std::string> alternatives;
    if (emitNotEmitted || emitBrokenLink)
      alternatives.push_back("e.TrackingType = 1 and e.EmitState in (" +
                             ValueList({{emitNotEmitted, "0"}, {emitBrokenLink, "2"}}) + ")");
    if (emitToDocument)
      alternatives.push_back(
          "e.TrackingType = 1 and e.EmitState = 1 and d.Status_Qv in (" +
          ValueList({{emitInWorking, "1"}, {emitCompleted, "2"}, {emitDelivered, "3"}}) + ")");
    if (emitNotTracking) alternatives.push_back("(e.TrackingType = 0) ");
    std::string joined;
    for (const std::string& a : alternatives) joined += (joined.empty() ? "" : ") or (") + a;
    // No alternative selected matches nothing, like an empty value list.
    conditions.push_back("((" + (joined.empty() ? std::string("e.EmitState = -1000") : joined) +
                         "))");
  }
  if (useCancelState)
    conditions.push_back(
        "e.CancelState in (" +
        ValueList({{cancelActual, "0"}, {cancelCanceller, "1"}, {cancelCancelledBy, "2"}}) + ")");
  if (useEventDate) {
    const std::string t = DateTest(dateBeg, dateEnd);
    conditions.push_back("((e.EventType in (1, 2) and (e.EvDate " + t +
                         ")) or ((e.EventType = 3) and (((e.AppTkIsPresent = 1) and (e.AppTkDate " +
                         t + ")) or ((e.AppTdIsPresent = 1) and (e.AppTdDate " + t + ")) )))");
  }
  std::string where;
  for (const std::string& c : conditions) where += (where.empty() ? "" : " and ") + c;
  return "select e.ID as ID from " + source + (where.empty() ? "" : " where " + where);
}

}  // namespace qv::journal
