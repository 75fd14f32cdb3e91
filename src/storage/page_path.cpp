#include "storage/page_path.h"

#include "storage/storage_errors.h"

namespace telvora::storage {

void TPagePath::Push(std::int32_t page, int position, const std::string& table_name) {
  if (depth_ >= kMaxPathLevels) RaiseTableError(VORA_INDEXCORRUPT, table_name);
  levels_[static_cast<std::size_t>(depth_)] = TPathLevel{page, position};
  ++depth_;
}

}  // namespace telvora::storage
