#include "records/miBlobs.h"

#include <string>
#include <vector>

#include "core/QvErrors.h"
#include "core/mErrorHandling.h"
#include "core/mQvDaoDataBase.h"
#include "platform/dao/Database.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/Transaction.h"
#include "records/MapperEngine.h"
#include "records/MapperSession.h"
#include "siblings/packer/QvZLib.h"
#include "siblings/records/QvByteStream.h"

namespace qv::miBlobs {

namespace {

constexpr std::string_view kTable = "CourBlobs";
constexpr std::string_view kCompressorProgId = "Qv_Packer.QvZLib";

ObjectPtr Compressor() {
  thread_local ObjectPtr compressor;
  if (!compressor) compressor = mErrorHandling::CreateObjectErr(kCompressorProgId);
  return compressor;
}

std::shared_ptr<dao::Recordset> BlobTable(dao::Database& db) {
  auto rs = db.OpenTable(kTable);
  rs->SetIndex("Id");
  return rs;
}

bool Seek(dao::Recordset& rs, double id) {
  const Variant key[] = {Variant(id)};
  rs.Seek("=", key);
  return !rs.NoMatch();
}

std::vector<uint8_t> BytesOf(const Variant& v) {
  return v.IsByteArray() ? v.AsBytes().bytes : std::vector<uint8_t>();
}

}  // namespace

SavedBlob SaveDataBlob(double& rID, std::span<const uint8_t> aContent,
                       int32_t aDesiredCompression) {
  return Guard(QV_HERE, [&] {
    if (aContent.empty()) {
      if (rID <= 0) return SavedBlob{};
      DeleteDataBlob(rID);
      return SavedBlob{BlobWrite::kDeleted};
    }
    int32_t actual = aDesiredCompression;
    if (actual == kZlib && aContent.size() < kMinCompressedLength) actual = kStored;
    Variant stored;
    if (actual == kStored) {
      stored = Variant(ByteArray{0, {aContent.begin(), aContent.end()}});
    } else if (actual == kZlib) {
      ObjectPtr zlib = Compressor();
      zlib->Let("Level", Variant(kZlibLevel));
      zlib->Let("Active", Variant(true));
      // The library's compressor deflates the caller's bytes where they lie:
      // a Byte array to pass them was a copy of the whole content into fresh
      // memory (1 MB copied and faulted in per 1 MB saved).
      if (const auto own = std::dynamic_pointer_cast<packer::QvZLib>(zlib))
        stored = Variant(ByteArray{0, packer::QvZLib::Deflate(aContent, own->Level())});
      else
        stored = zlib->CallV("Compress", Variant(ByteArray{0, {aContent.begin(), aContent.end()}}));
    } else {
      throw Error(liberr::kBlobCompression, std::string(liberr::kUnknownCompressionText));
    }
    const int32_t length = static_cast<int32_t>(stored.AsBytes().bytes.size());

    auto db = records::MapperUserDatabase();
    dao::Transaction tx(*db, dao::kWriteLock);
    auto rs = BlobTable(*db);
    if (rID != 0) {
      if (!Seek(*rs, rID)) return SavedBlob{};
      rs->Edit();
    } else {
      const double id = mQvDaoDataBase::NextId(*rs, "ID");
      rs->AddNew();
      rs->SetField("ID", Variant(id));
      rID = id;
    }
    rs->SetField("ContentLength", Variant(length));
    rs->SetField("DesiredCompressionType", Variant(aDesiredCompression));
    rs->SetField("ActualCompressionType", Variant(actual));
    rs->SetField("Content", stored);
    rs->Update();
    rs->Close();
    tx.Commit();
    return SavedBlob{BlobWrite::kWritten, length};
  });
}

void LoadCourBlobTo(double aID, records::QvByteStream& aTarget) {
  Guard(QV_HERE, [&] {
    if (aID == 0) return;
    auto db = records::MapperUserDatabase();
    auto rs = BlobTable(*db);
    if (!Seek(*rs, aID)) return;
    const int32_t length = mQvDaoDataBase::GetDaoLong(*rs, "ContentLength");
    const int32_t type = mQvDaoDataBase::GetDaoLong(*rs, "ActualCompressionType");
    if (type != kStored && type != kZlib)
      throw Error(liberr::kBlobCompression, liberr::UnknownStoredCompression(type));
    const Variant content = rs->FieldValue("Content");
    rs->Close();
    if (length <= 0) return;
    if (type == kStored) {
      aTarget.SetData(BytesOf(content));
      return;
    }
    Variant plain;
    try {
      plain = Compressor()->CallV("Decompress", Variant(ByteArray{0, BytesOf(content)}));
    } catch (const Error& e) {
      throw Error(liberr::kBlobCompression,
                  "The content of database blob (" + mQvDaoDataBase::Number2DaoSql(aID) +
                      ") is not valid compressed data: " + e.Description());
    }
    aTarget.SetData(std::move(plain.AsBytesMut().bytes));
  });
}

void DeleteDataBlob(double aID) {
  Guard(QV_HERE, [&] {
    auto db = records::MapperUserDatabase();
    auto rs = BlobTable(*db);
    if (Seek(*rs, aID)) rs->Delete();
    rs->Close();
  });
}

}  // namespace qv::miBlobs
