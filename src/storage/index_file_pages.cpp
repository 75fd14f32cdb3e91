#include "storage/index_file_pages.h"

#include "storage/index_descriptor.h"
#include "storage/index_file.h"

namespace telvora::storage {

bool TIndexFilePages::ReadPageImage(std::int32_t n, std::span<std::uint8_t, kIndexPageSize> image) {
  TTableFileOwner* owner = file_.owner();
  if (owner != nullptr && !owner->Settings().StrictChangeDetection && owner->LockForRead()) return false;
  file_.ReadPageImage(n, image, owner != nullptr && owner->ShortReadAllowed());
  return true;
}

void TIndexFilePages::WritePageImages(std::int32_t first, std::span<const std::uint8_t> images) {
  file_.WritePageImages(first, images);
}

std::int32_t TIndexFilePages::AllocatePageAtEnd() {
  CheckNewPageNumber(file_.NextPageNumber(), TableName());
  return file_.TakeNextPageNumber();
}

std::int32_t TIndexFilePages::RootPage(int slot) const { return file_.Header().Descriptor(slot).RootPage(); }

void TIndexFilePages::SetRootPage(int slot, std::int32_t page) {
  TIndexDescriptor descriptor = file_.Header().Descriptor(slot);
  descriptor.SetRootPage(page);
  file_.MutableHeader().SetDescriptor(slot, descriptor);
}

std::int32_t TIndexFilePages::FreeChainHead(int slot) const {
  return file_.Header().Descriptor(slot).FreeChainHead();
}

void TIndexFilePages::SetFreeChainHead(int slot, std::int32_t page) {
  TIndexDescriptor descriptor = file_.Header().Descriptor(slot);
  descriptor.SetFreeChainHead(page);
  file_.MutableHeader().SetDescriptor(slot, descriptor);
}

std::int32_t TIndexFilePages::TextDataPage() const { return file_.Header().Descriptor(kTextIndexSlot).DataPage(); }

void TIndexFilePages::SetTextDataPage(std::int32_t page) {
  TIndexDescriptor descriptor = file_.Header().Descriptor(kTextIndexSlot);
  descriptor.SetDataPage(page);
  file_.MutableHeader().SetDescriptor(kTextIndexSlot, descriptor);
}

void TIndexFilePages::PagesChanged() { file_.MutableHeader().MarkModified(); }

bool TIndexFilePages::MayWriteToMakeRoom() const {
  const TTableFileOwner* owner = file_.owner();
  return owner == nullptr || !owner->TableLocked();
}

std::string TIndexFilePages::TableName() const { return file_.table_name(); }

}  // namespace telvora::storage
