#include "core/ServerStuff.h"

#include "core/mErrorHandling.h"
#include "core/miDataBase.h"

namespace qv {

QV_DEFINE_CLASS(ServerStuff, "Qv_DBProvider.ServerStuff", QV_CREATABLE(ServerStuff),
                Method("GetUserDataBase", &ServerStuff::GetUserDataBase),
                Method("GetKladrDataBase", &ServerStuff::GetKladrDataBase),
                Method("GetOkatoDataBase", &ServerStuff::GetOkatoDataBase),
                Method("IsKladrDataBasePresent", &ServerStuff::IsKladrDataBasePresent),
                Method("IsOkatoDataBasePresent", &ServerStuff::IsOkatoDataBasePresent))

std::shared_ptr<dao::Database> ServerStuff::GetUserDataBase() {
  return Guard(QV_HERE, [] { return miDataBase::GetUserDataBase(); });
}

std::shared_ptr<dao::Database> ServerStuff::GetKladrDataBase() {
  return Guard(QV_HERE, [] { return miDataBase::GetKladrDataBase(); });
}

std::shared_ptr<dao::Database> ServerStuff::GetOkatoDataBase() {
  return Guard(QV_HERE, [] { return miDataBase::GetOkatoDataBase(); });
}

bool ServerStuff::IsKladrDataBasePresent() {
  return Guard(QV_HERE, [] { return miDataBase::IsKladrFilePresents(); });
}

bool ServerStuff::IsOkatoDataBasePresent() {
  return Guard(QV_HERE, [] { return miDataBase::IsOkatoFilePresents(); });
}

}  // namespace qv
