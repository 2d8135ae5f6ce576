#pragma once
// The user database the record mappers read and write, for as long as the
// library's database session is not wired in: when no provider is set, qvdb
// gives the mappers the user database of the data folder the registry names
// (mQvRegistryParams::GetDataBasePath, which PointLibraryAt redirects),
// opened on first use per thread and reopened when the folder changes. A
// provider the library sets itself is left in place.

namespace qvdb {

// True when qvdb's provider was installed, false when one was there.
bool ProvideUserDatabaseIfMissing();

}  // namespace qvdb
