#include "tools/data_file_length_mend.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "storage/data_file_header.h"
#include "tools/table_backup.h"

namespace telvora::tools {

std::vector<std::string> MendDataFileLength(const std::string& data_path) {
  std::error_code error;
  const std::uintmax_t length = std::filesystem::file_size(data_path, error);
  if (error || length < storage::kDataFileHeaderSize) return {};
  std::array<std::uint8_t, storage::kDataFileHeaderSize> image{};
  {
    std::ifstream file(data_path, std::ios::binary);
    if (!file.read(reinterpret_cast<char*>(image.data()), image.size())) return {};
  }
  storage::TDataFileHeader header(image);
  const std::uintmax_t descriptors_end =
      storage::kDataFileHeaderSize + std::uintmax_t{768} * header.FieldCount();
  const std::uintmax_t record_size = header.RecordSize();
  // A header this broken is not a question of length: the engine reports it.
  if (record_size == 0 || header.NextRecordNumber() < 1 || length < descriptors_end) return {};

  const std::uintmax_t whole_records = (length - descriptors_end) / record_size;
  const std::uintmax_t counted = static_cast<std::uintmax_t>(header.NextRecordNumber()) - 1;
  const std::uintmax_t kept = std::min(counted, whole_records);
  const std::uintmax_t new_length = descriptors_end + kept * record_size;
  const bool lower_count = counted > whole_records;
  const bool clear_deleted_head =
      header.DeletedChainHead() < 0 || static_cast<std::uintmax_t>(header.DeletedChainHead()) > kept;
  if (new_length == length && !lower_count && !clear_deleted_head) return {};

  std::vector<std::string> done;
  const std::string backup = FreeBackupName(data_path);
  std::filesystem::copy_file(data_path, backup, error);
  if (error) throw std::runtime_error("cannot back up '" + data_path + "': " + error.message());
  done.push_back("backup: " + backup);

  if (lower_count || clear_deleted_head) {
    if (lower_count) header.SetNextRecordNumber(static_cast<std::int32_t>(kept + 1));
    if (clear_deleted_head) header.SetDeletedChainHead(0);
    std::fstream file(data_path, std::ios::binary | std::ios::in | std::ios::out);
    file.write(reinterpret_cast<const char*>(header.Image().data()), static_cast<std::streamsize>(header.Image().size()));
    if (!file.flush()) throw std::runtime_error("cannot write the header of '" + data_path + "'");
    if (lower_count) {
      done.push_back("changed: data file header counted " + std::to_string(counted) + " records, the file holds " +
                     std::to_string(kept) + "; the count is lowered");
    }
    if (clear_deleted_head) done.push_back("changed: deleted-record chain head beyond the records; cleared");
  }
  if (new_length != length) {
    std::filesystem::resize_file(data_path, new_length, error);
    if (error) throw std::runtime_error("cannot cut '" + data_path + "': " + error.message());
    done.push_back("changed: data file cut from " + std::to_string(length) + " to " + std::to_string(new_length) +
                   " bytes, the " + std::to_string(kept) + " records its header counts (the rest was an insert "
                   "that never finished)");
  }
  return done;
}

}  // namespace telvora::tools
