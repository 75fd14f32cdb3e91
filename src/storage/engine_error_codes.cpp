#include "storage/engine_error_codes.h"

#include <algorithm>

namespace telvora::storage {
namespace {

constexpr EngineErrorEntry kEngineErrors[] = {
    {VORA_BOF, "VORA_BOF", "Beginning of table '%s' unexpectedly encountered", {EngineErrorArgument::kTable}},
    {VORA_EOF, "VORA_EOF", "End of table '%s' unexpectedly encountered", {EngineErrorArgument::kTable}},
    {VORA_KEYORRECDELETED, "VORA_KEYORRECDELETED", "Record has been changed or deleted by another user, session, or table cursor in the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_NOCURRREC, "VORA_NOCURRREC", "No current record in the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_RECNOTFOUND, "VORA_RECNOTFOUND", "Record not found in the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_ENDOFBLOB, "VORA_ENDOFBLOB", "End of blob data in the table '%s' reached prematurely", {EngineErrorArgument::kTable}},
    {VORA_HEADERCORRUPT, "VORA_HEADERCORRUPT", "Header information corrupt in the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_FILECORRUPT, "VORA_FILECORRUPT", "Data record buffers corrupt in the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_MEMOCORRUPT, "VORA_MEMOCORRUPT", "BLOB block buffers corrupt in the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_INDEXCORRUPT, "VORA_INDEXCORRUPT", "Index page buffers corrupt in the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_READERR, "VORA_READERR", "Error reading from the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_WRITEERR, "VORA_WRITEERR", "Error writing to the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_FILEDELETEFAIL, "VORA_FILEDELETEFAIL", "Cannot delete the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_FILENOACCESS, "VORA_FILENOACCESS", "Error accessing header information for the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_RECTOOBIG, "VORA_RECTOOBIG", "Maximum record size exceeded in the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_TABLEFULL, "VORA_TABLEFULL", "The table '%s' is full and cannot contain any more data", {EngineErrorArgument::kTable}},
    {VORA_INTERNALLIMIT, "VORA_INTERNALLIMIT", "Too many filters defined for the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_INDEXLIMIT, "VORA_INDEXLIMIT", "Maximum or minimum limits on number of indexes or fields in an index exceeded in the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_FLDLIMIT, "VORA_FLDLIMIT", "Maximum or minimum limits on number of fields, auto-increment field value, or field size exceeded in the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_OPENBLOBLIMIT, "VORA_OPENBLOBLIMIT", "Too many blobs opened in the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_BLOBLIMIT, "VORA_BLOBLIMIT", "Too many blob fields or invalid blob block size specified for the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_KEYVIOL, "VORA_KEYVIOL", "Duplicate key found in the index '%s' of the table '%s'", {EngineErrorArgument::kIndex, EngineErrorArgument::kTable}},
    {VORA_MINVALERR, "VORA_MINVALERR", "The value for the field '%s' in the table '%s' is below the minimum allowable value", {EngineErrorArgument::kField, EngineErrorArgument::kTable}},
    {VORA_MAXVALERR, "VORA_MAXVALERR", "The value for the field '%s' in the table '%s' is above the maximum allowable value", {EngineErrorArgument::kField, EngineErrorArgument::kTable}},
    {VORA_REQDERR, "VORA_REQDERR", "A value must be provided for the field '%s' in the table '%s'", {EngineErrorArgument::kField, EngineErrorArgument::kTable}},
    {VORA_OUTOFRANGE, "VORA_OUTOFRANGE", "Invalid field number or name '%s' specified for the table '%s'", {EngineErrorArgument::kField, EngineErrorArgument::kTable}},
    {VORA_PRIMARYKEYREDEFINE, "VORA_PRIMARYKEYREDEFINE", "A primary index is already defined for the table '%s' and cannot be added again", {EngineErrorArgument::kTable}},
    {VORA_INVALIDBLOBOFFSET, "VORA_INVALIDBLOBOFFSET", "Invalid blob offset into the table '%s' specified", {EngineErrorArgument::kTable}},
    {VORA_INVALIDFLDTYPE, "VORA_INVALIDFLDTYPE", "Invalid field definition specified for the field '%s' in the table '%s'", {EngineErrorArgument::kField, EngineErrorArgument::kTable}},
    {VORA_INVALIDVCHKSTRUCT, "VORA_INVALIDVCHKSTRUCT", "Invalid default, min or max validity check, or expression specified for the field '%s' in the table '%s'", {EngineErrorArgument::kField, EngineErrorArgument::kTable}},
    {VORA_INDEXNAMEREQUIRED, "VORA_INDEXNAMEREQUIRED", "The secondary index name is missing or not specified for the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_INVALIDPASSWORD, "VORA_INVALIDPASSWORD", "Password provided for the table '%s' is invalid", {EngineErrorArgument::kTable}},
    {VORA_INVALIDINDEXNAME, "VORA_INVALIDINDEXNAME", "Invalid secondary index name '%s' specified for the table '%s'", {EngineErrorArgument::kIndex, EngineErrorArgument::kTable}},
    {VORA_INVALIDIDXDESC, "VORA_INVALIDIDXDESC", "Invalid field number '%s' specified in the index '%s' for the table '%s'", {EngineErrorArgument::kField, EngineErrorArgument::kIndex, EngineErrorArgument::kTable}},
    {VORA_INVALIDKEY, "VORA_INVALIDKEY", "Invalid key size specified in the index '%s' for the table '%s'", {EngineErrorArgument::kIndex, EngineErrorArgument::kTable}},
    {VORA_INDEXEXISTS, "VORA_INDEXEXISTS", "The secondary index '%s' already exists for the table '%s'", {EngineErrorArgument::kIndex, EngineErrorArgument::kTable}},
    {VORA_INVALIDBLOBLEN, "VORA_INVALIDBLOBLEN", "Invalid blob length in the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_INVALIDBLOBHANDLE, "VORA_INVALIDBLOBHANDLE", "Invalid blob handle for the table '%s' specified", {EngineErrorArgument::kTable}},
    {VORA_TABLEOPEN, "VORA_TABLEOPEN", "The table '%s' is already in use", {EngineErrorArgument::kTable}},
    {VORA_INVALIDFIELDNAME, "VORA_INVALIDFIELDNAME", "Invalid or duplicate field name '%s' specified for the table '%s'", {EngineErrorArgument::kField, EngineErrorArgument::kTable}},
    {VORA_NOSUCHFILTER, "VORA_NOSUCHFILTER", "Invalid filter handle specified for the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_INVALIDFILTER, "VORA_INVALIDFILTER", "Filter error for the table '%s' - %s", {EngineErrorArgument::kTable, EngineErrorArgument::kDetail}},
    {VORA_INVALIDINDEXDELETE, "VORA_INVALIDINDEXDELETE", "The primary index cannot be removed from the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_LOCKED, "VORA_LOCKED", "The table '%s' is already locked by another user", {EngineErrorArgument::kTable}},
    {VORA_UNLOCKFAILED, "VORA_UNLOCKFAILED", "Cannot unlock table or record in the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_LOCKTIMEOUT, "VORA_LOCKTIMEOUT", "General lock failure with the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_NEEDEXCLACCESS, "VORA_NEEDEXCLACCESS", "The table '%s' must be opened exclusively", {EngineErrorArgument::kTable}},
    {VORA_RECLOCKFAILED, "VORA_RECLOCKFAILED", "Record in the table '%s' is in use by another user", {EngineErrorArgument::kTable}},
    {VORA_NOTSUFFTABLERIGHTS, "VORA_NOTSUFFTABLERIGHTS", "Insufficient rights to the table '%s', a password is required", {EngineErrorArgument::kTable}},
    {VORA_NOTABLOB, "VORA_NOTABLOB", "Invalid blob field '%s' specified for the table '%s'", {EngineErrorArgument::kField, EngineErrorArgument::kTable}},
    {VORA_NOTINITIALIZED, "VORA_NOTINITIALIZED", "The database engine is not initialized", {}},
    {VORA_OSENOENT, "VORA_OSENOENT", "Table '%s' does not exist", {EngineErrorArgument::kTable}},
    {VORA_OSEMFILE, "VORA_OSEMFILE", "Too many operating system files open while attempting to open the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_OSEACCES, "VORA_OSEACCES", "Access denied to table '%s'", {EngineErrorArgument::kTable}},
    {VORA_OSEBADF, "VORA_OSEBADF", "Invalid operating system file handle for the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_OSENOMEM, "VORA_OSENOMEM", "There is insufficient operating system memory available for the current operation", {}},
    {VORA_OSEINVMEM, "VORA_OSEINVMEM", "Invalid length for the in-memory table '%s'", {EngineErrorArgument::kTable}},
    {VORA_OSENODEV, "VORA_OSENODEV", "Access denied to logical operating system device for the table '%s'", {EngineErrorArgument::kTable}},
    {VORA_OSENOTSAM, "VORA_OSENOTSAM", "The table '%s' has been moved", {EngineErrorArgument::kTable}},
    {VORA_OSUNKNOWN, "VORA_OSUNKNOWN", "An unknown operating system error %s occurred with the table '%s'", {EngineErrorArgument::kSystemErrorNumber, EngineErrorArgument::kTable}},
    {VORA_REMOTECOMMLOST, "VORA_REMOTECOMMLOST", "", {}},
    {VORA_REMOTEUNKNOWN, "VORA_REMOTEUNKNOWN", "", {}},
    {VORA_REMOTECONNECT, "VORA_REMOTECONNECT", "", {}},
    {VORA_REMOTENOLOGIN, "VORA_REMOTENOLOGIN", "", {}},
    {VORA_REMOTEMAXCONNECT, "VORA_REMOTEMAXCONNECT", "", {}},
    {VORA_REMOTEADDRESSBLOCK, "VORA_REMOTEADDRESSBLOCK", "", {}},
    {VORA_REMOTECALLBACK, "VORA_REMOTECALLBACK", "", {}},
    {VORA_REMOTECALLBACKERR, "VORA_REMOTECALLBACKERR", "", {}},
    {VORA_REMOTEVERSION, "VORA_REMOTEVERSION", "", {}},
    {VORA_REMOTEINVLOGIN, "VORA_REMOTEINVLOGIN", "", {}},
    {VORA_REMOTENOTAUTH, "VORA_REMOTENOTAUTH", "", {}},
    {VORA_REMOTENOTADMIN, "VORA_REMOTENOTADMIN", "", {}},
    {VORA_REMOTEINVUSER, "VORA_REMOTEINVUSER", "", {}},
    {VORA_REMOTENOUSER, "VORA_REMOTENOUSER", "", {}},
    {VORA_REMOTEDUPUSER, "VORA_REMOTEDUPUSER", "", {}},
    {VORA_REMOTEINVDB, "VORA_REMOTEINVDB", "", {}},
    {VORA_REMOTENODB, "VORA_REMOTENODB", "", {}},
    {VORA_REMOTEDUPDB, "VORA_REMOTEDUPDB", "", {}},
    {VORA_REMOTEINVDBUSER, "VORA_REMOTEINVDBUSER", "", {}},
    {VORA_REMOTENODBUSER, "VORA_REMOTENODBUSER", "", {}},
    {VORA_REMOTEDUPDBUSER, "VORA_REMOTEDUPDBUSER", "", {}},
    {VORA_REMOTEINVREQUEST, "VORA_REMOTEINVREQUEST", "", {}},
    {VORA_IMPORTERROR, "VORA_IMPORTERROR", "An error occurred during the import into the table '%s' - %s", {EngineErrorArgument::kTable, EngineErrorArgument::kDetail}},
    {VORA_EXPORTERROR, "VORA_EXPORTERROR", "An error occurred during the export from the table '%s' - %s", {EngineErrorArgument::kTable, EngineErrorArgument::kDetail}},
    {VORA_SQLPARSE, "VORA_SQLPARSE", "SQL error - %s", {EngineErrorArgument::kDetail}},
    {VORA_OLDVERSION, "VORA_OLDVERSION", "The table '%s' is not the correct version", {EngineErrorArgument::kTable}},
    {VORA_SEARCHCOLREQD, "VORA_SEARCHCOLREQD", "Invalid field '%s' specified for the index '%s' in the table '%s'", {EngineErrorArgument::kField, EngineErrorArgument::kIndex, EngineErrorArgument::kTable}},
    {VORA_TABLEEXISTS, "VORA_TABLEEXISTS", "The table '%s' already exists", {EngineErrorArgument::kTable}},
    {VORA_COMPRESS, "VORA_COMPRESS", "Error compressing data", {}},
    {VORA_UNCOMPRESS, "VORA_UNCOMPRESS", "Error uncompressing data", {}},
    {VORA_CANNOTLOADLDDRV, "VORA_CANNOTLOADLDDRV", "The language driver for the table '%s' is not available or installed", {EngineErrorArgument::kTable}},
};

constexpr bool IsSortedByCode() {
  for (std::size_t i = 1; i < std::size(kEngineErrors); ++i) {
    if (kEngineErrors[i - 1].code >= kEngineErrors[i].code) return false;
  }
  return true;
}
// FindEngineErrorEntry searches by halving, which needs the order.
static_assert(IsSortedByCode(), "engine error table must be sorted by code, without repeats");

}  // namespace

std::span<const EngineErrorEntry> EngineErrorTable() { return kEngineErrors; }

const EngineErrorEntry* FindEngineErrorEntry(std::uint16_t code) {
  const auto* end = std::end(kEngineErrors);
  const auto* it = std::lower_bound(std::begin(kEngineErrors), end, code,
                                    [](const EngineErrorEntry& e, std::uint16_t c) { return e.code < c; });
  return (it != end && it->code == code) ? it : nullptr;
}

}  // namespace telvora::storage
