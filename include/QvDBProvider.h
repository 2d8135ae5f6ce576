#pragma once
// What a program using the installed library includes: creating the
// library's classes by name and calling their operations (Object), the
// values that cross the interface (Variant, with VBA's conversions and date
// functions), collections, the error every failure raises, and the
// disconnected recordsets query operations return.
//
//   qv::ObjectPtr dict = qv::CreateObject("Qv_DBProvider.DictQueries");
//   qv::Variant rs = dict->CallV("GetCountry", "643", int32_t{1});
//   auto countries = rs.ObjectAs<qv::ado::Recordset>();
//
// The data folder is the registry's DataBasePath (the file $QV_REGISTRY,
// else ~/.config/qvdb/registry.ini), as `qvdb init` records it.

#include "platform/ado/Recordset.h"
#include "platform/automation/Collection.h"
#include "platform/automation/Error.h"
#include "platform/automation/Object.h"
#include "platform/automation/Variant.h"
#include "platform/automation/VbaDate.h"
