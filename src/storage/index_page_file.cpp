#include "storage/index_page_file.h"

#include "storage/storage_errors.h"

namespace telvora::storage {

void CheckNewPageNumber(std::int64_t number, const std::string& table_name) {
  const std::int64_t end = (number + 1) * static_cast<std::int64_t>(kIndexPageSize);
  if (number > kMaxIndexPageNumber || end > kMaxIndexFileEnd) RaiseTableError(VORA_TABLEFULL, table_name);
}

}  // namespace telvora::storage
