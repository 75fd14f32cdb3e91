#pragma once
// TIndexPages: the page caches of all indexes of one index file, the spare
// page objects they share, and the temporary index file.
//
// A slot's cache exists while the index is open here (OpenIndex); its pages
// come from the table's index file or, for a temporary index, from the
// temporary index file, which is created (exclusively, under a unique name
// in the private directory) when the first temporary index is opened and
// closed and deleted when the temporary indexes are dropped.
//
// The index file reaches the caches through TIndexPageCaches: writing and
// dropping concern the permanent indexes, except where named temporary.
//
// Not thread-safe: owned by the index file, used under the table's locks.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "storage/index_page_cache.h"
#include "storage/index_page_caches.h"
#include "storage/index_page_file.h"
#include "storage/page_stack.h"
#include "storage/temporary_index_file.h"

namespace telvora::storage {

inline constexpr int kIndexPageSlots = 33;

class TIndexPages final : public TIndexPageCaches {
 public:
  // data_buffer_bytes: the session's data buffer size; each cache starts
  // with room for data_buffer_bytes / 8,192 pages.
  TIndexPages(TIndexPageFile& file, int data_buffer_bytes);
  ~TIndexPages() override;

  // Where the temporary index file goes, and whether its pages are
  // scrambled (they are when the table is encrypted).
  void SetTemporaryDirectory(const std::string& directory, bool encrypted);

  // The cache of an index slot (0 to 32), made for the format given; a
  // cache open already is returned as it is when the format is the same and
  // dropped and made anew otherwise. REQUIRES: no page of a replaced cache
  // is pinned.
  TIndexPageCache& OpenIndex(int slot, const TPageFormat& format, bool temporary = false);
  // The open cache of a slot, or null.
  TIndexPageCache* Cache(int slot) const;
  // Forgets a slot's cache and its pages (written or not).
  void CloseIndex(int slot);

  bool WriteTemporaryPages() override;
  // Forgets the temporary indexes' caches and deletes the temporary file.
  void DropTemporaryIndexes();
  const TTemporaryIndexFile* temporary_file() const { return temporary_file_.get(); }

  bool WriteModifiedPages() override;
  void DropPermanentPages() override;
  void DropTemporaryPages() override;
  void Trim() override;

 private:
  TIndexPageFile& file_;
  int data_buffer_bytes_;
  TPageStack spares_;
  std::array<std::unique_ptr<TIndexPageCache>, kIndexPageSlots> caches_;
  std::array<bool, kIndexPageSlots> temporary_{};
  std::string temporary_directory_;
  bool encrypted_ = false;
  std::unique_ptr<TTemporaryIndexFile> temporary_file_;
};

}  // namespace telvora::storage
