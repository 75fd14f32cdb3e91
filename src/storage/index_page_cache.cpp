#include "storage/index_page_cache.h"

#include <algorithm>
#include <array>

#include "storage/storage_errors.h"

namespace telvora::storage {

TIndexPageCache::TIndexPageCache(TIndexPageFile& file, TPageStack& spares, int slot, const TPageFormat& format,
                                 int data_buffer_bytes)
    : file_(file),
      spares_(spares),
      slot_(slot),
      format_(format),
      capacity_(std::max(1, data_buffer_bytes / kPageCacheBytesPerPage)) {}

TIndexPageCache::~TIndexPageCache() {
  for (auto& page : sorted_) spares_.Give(std::move(page));
}

std::vector<std::unique_ptr<TPage>>::iterator TIndexPageCache::Find(std::int32_t n) {
  auto it = std::lower_bound(sorted_.begin(), sorted_.end(), n,
                             [](const std::unique_ptr<TPage>& page, std::int32_t number) { return page->number() < number; });
  if (it != sorted_.end() && (*it)->number() == n) return it;
  return sorted_.end();
}

bool TIndexPageCache::Contains(std::int32_t n) const {
  return std::any_of(sorted_.begin(), sorted_.end(), [n](const auto& page) { return page->number() == n; });
}

void TIndexPageCache::Touch(TPage* page) {
  auto it = std::find(recency_.begin(), recency_.end(), page);
  if (it == recency_.begin()) return;
  if (it != recency_.end()) recency_.erase(it);
  recency_.insert(recency_.begin(), page);
}

TPage* TIndexPageCache::GetPage(std::int32_t n) {
  if (n <= 0) RaiseTableError(VORA_INDEXCORRUPT, file_.TableName());
  for (std::size_t i = 0; i < recency_.size() && i < 2; ++i) {
    if (recency_[i]->number() == n) {
      TPage* page = recency_[i];
      Touch(page);
      page->Pin();
      return page;
    }
  }
  if (auto it = Find(n); it != sorted_.end()) {
    TPage* page = it->get();
    Touch(page);
    page->Pin();
    return page;
  }
  std::array<std::uint8_t, kIndexPageSize> image{};
  if (!file_.ReadPageImage(n, image)) return nullptr;
  TPage* page = Admit(n);
  try {
    UnpackPage(image, *page, file_.TableName());
  } catch (...) {
    // A page that cannot be unpacked must not stay cached half-built.
    recency_.erase(std::find(recency_.begin(), recency_.end(), page));
    auto it = Find(n);
    spares_.Give(std::move(*it));
    sorted_.erase(it);
    throw;
  }
  page->Pin();
  return page;
}

void TIndexPageCache::ReleasePage(TPage* page) {
  if (page != nullptr) page->Unpin();
}

TPage* TIndexPageCache::Admit(std::int32_t n) {
  if (static_cast<int>(sorted_.size()) >= capacity_ && !EvictOne()) {
    if (file_.MayWriteToMakeRoom() && WriteModifiedPages() && EvictOne()) {
      // room made by writing
    } else {
      capacity_ += kPageCacheGrowth;
    }
  }
  std::unique_ptr<TPage> object = spares_.Take();
  object->Reset(n, format_);
  TPage* page = object.get();
  auto at = std::lower_bound(sorted_.begin(), sorted_.end(), n,
                             [](const std::unique_ptr<TPage>& p, std::int32_t number) { return p->number() < number; });
  if (at != sorted_.end() && (*at)->number() == n) RaiseTableError(VORA_INDEXCORRUPT, file_.TableName());
  sorted_.insert(at, std::move(object));
  recency_.insert(recency_.begin(), page);
  return page;
}

bool TIndexPageCache::EvictOne() {
  for (auto it = recency_.rbegin(); it != recency_.rend(); ++it) {
    TPage* page = *it;
    if (page->modified() || page->pin_count() > 0) continue;
    auto found = Find(page->number());
    if (found == sorted_.end()) RaiseTableError(VORA_INDEXCORRUPT, file_.TableName());
    recency_.erase(std::next(it).base());
    spares_.Give(std::move(*found));
    sorted_.erase(found);
    return true;
  }
  return false;
}

TPage* TIndexPageCache::NewPage() {
  const std::int32_t head = file_.FreeChainHead(slot_);
  TPage* page = nullptr;
  if (head != 0) {
    page = GetPage(head);
    if (page == nullptr) RaiseTableError(VORA_INDEXCORRUPT, file_.TableName());
    file_.SetFreeChainHead(slot_, page->right());
    const bool pinned_twice = page->pin_count() > 1;
    if (pinned_twice) RaiseTableError(VORA_INDEXCORRUPT, file_.TableName());
    page->Reset(head, format_);
    page->Pin();
  } else {
    const std::int32_t n = file_.AllocatePageAtEnd();
    if (Find(n) != sorted_.end()) RaiseTableError(VORA_INDEXCORRUPT, file_.TableName());
    page = Admit(n);
    page->Pin();
  }
  page->set_modified(true);
  file_.PagesChanged();
  return page;
}

void TIndexPageCache::FreePage(TPage* page) {
  page->RemoveAll();
  page->set_left(0);
  page->set_right(file_.FreeChainHead(slot_));
  page->set_freed(true);
  page->set_modified(true);
  file_.SetFreeChainHead(slot_, page->number());
  file_.PagesChanged();
}

void TIndexPageCache::WriteRun(const std::vector<TPage*>& run) {
  std::vector<std::uint8_t> images(run.size() * kIndexPageSize);
  for (std::size_t i = 0; i < run.size(); ++i) {
    PackPage(*run[i], std::span<std::uint8_t, kIndexPageSize>(images.data() + i * kIndexPageSize, kIndexPageSize),
             file_.TableName());
  }
  file_.WritePageImages(run.front()->number(), images);
  for (TPage* page : run) page->set_modified(false);
}

bool TIndexPageCache::WriteModifiedPages() {
  std::vector<TPage*> run;
  bool wrote = false;
  for (auto& object : sorted_) {
    TPage* page = object.get();
    if (!page->modified() || page->pin_count() > 0) continue;
    if (!run.empty() && run.back()->number() + 1 != page->number()) {
      WriteRun(run);
      wrote = true;
      run.clear();
    }
    run.push_back(page);
  }
  if (!run.empty()) {
    WriteRun(run);
    wrote = true;
  }
  return wrote;
}

void TIndexPageCache::Drop() {
  for (auto& page : sorted_) spares_.Give(std::move(page));
  sorted_.clear();
  recency_.clear();
}

void TIndexPageCache::Trim() {
  while (static_cast<int>(sorted_.size()) > capacity_ && EvictOne()) {
  }
  capacity_ = std::max(capacity_, static_cast<int>(sorted_.size()));
}

}  // namespace telvora::storage
