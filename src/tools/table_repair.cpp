#include "tools/table_repair.h"

#include <algorithm>
#include <limits>
#include <map>
#include <optional>
#include <stdexcept>

#include "storage/engine_error.h"
#include "storage/index_file_header.h"
#include "storage/index_key.h"
#include "storage/index_tree.h"
#include "storage/page_image.h"
#include "storage/record_image.h"
#include "storage/text_index_parameters.h"

namespace telvora::tools {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string IndexLabel(int slot, const storage::TIndexDescriptor& descriptor) {
  if (slot == storage::kPrimaryIndexSlot) return "primary index";
  return "index '" + descriptor.Name() + "'";
}

// The indexes whose trees are rebuilt, record-id index last.
std::vector<int> TreeSlots(const storage::TIndexFileHeader& header) {
  std::vector<int> slots;
  if (!header.PrimaryIndexUnavailable() && header.Descriptor(storage::kPrimaryIndexSlot).KeyFieldCount() > 0) {
    slots.push_back(storage::kPrimaryIndexSlot);
  }
  for (int k = 1; k <= header.SecondaryIndexCount(); ++k) {
    if (!header.Descriptor(k).Temporary()) slots.push_back(k);
  }
  slots.push_back(storage::kRecordIdIndexSlot);
  return slots;
}

// One repair of one table, in the order that keeps a failure harmless:
// read and plan everything, refuse what cannot be repaired, then write the
// data file (slots, chain, counters) and last the index file. Used once.
class Rebuild {
 public:
  explicit Rebuild(storage::TDataTable& table) : table_(table) {}

  std::vector<std::string> Run() {
    if (table_.read_only()) throw std::runtime_error("the table is read-only and cannot be repaired");
    const storage::TIndexDescriptor text = table_.index_file().Header().Descriptor(storage::kTextIndexSlot);
    if (text.KeyFieldCount() > 0) {
      throw std::runtime_error("the table has a text index, which repair cannot rebuild; nothing was changed");
    }
    // Every table the engine creates stores the text index's parameters,
    // even with no field to index; they go into the rebuilt file again.
    ReadTextParameters();
    ReadSlots();
    PlanRecordIds();
    CheckUniqueKeys();
    FixSlots();
    RebuildIndexes();
    return std::move(changes_);
  }

 private:
  void ReadTextParameters() {
    try {
      text_parameters_ = storage::ReadTextIndexParameters(table_.OpenIndex(storage::kTextIndexSlot));
    } catch (const storage::EVoraEngineError&) {
      text_parameters_ = storage::TTextIndexParameters::Defaults();
      changes_.push_back("text index parameters unreadable: the defaults stored");
    }
  }

  void ReadSlots() {
    storage::TDataFile& data = table_.data_file();
    const auto physical = static_cast<std::int32_t>(data.PhysicalRecordCount());
    slots_.assign(static_cast<std::size_t>(physical) + 1, Bytes{});
    for (std::int32_t n = 1; n <= physical; ++n) {
      storage::TRecord* record = data.GetRecord(n);
      if (record == nullptr) throw std::runtime_error("the table changed while it was being repaired");
      const auto image = record->Image();
      slots_[static_cast<std::size_t>(n)].assign(image.begin(), image.end());
      data.ReleaseRecord(record);
    }
  }

  std::int32_t Physical() const { return static_cast<std::int32_t>(slots_.size()) - 1; }
  Bytes& Slot(std::int32_t n) { return slots_[static_cast<std::size_t>(n)]; }
  bool Active(std::int32_t n) { return Slot(n)[storage::TRecordImage::kDeletedFlagOffset] == 0; }

  // Record ids must be positive and unique: a slot whose id is not keeps
  // the slot, under a new id from the auto-increment counter.
  void PlanRecordIds() {
    std::map<std::int32_t, std::int32_t> owner;
    std::int32_t highest = table_.data_file().Header().LastAutoIncValue();
    for (std::int32_t n = 1; n <= Physical(); ++n) {
      const std::int32_t id = storage::TRecordImage(Slot(n)).RecordId();
      if (id > 0 && owner.emplace(id, n).second) highest = std::max(highest, id);
    }
    for (std::int32_t n = 1; n <= Physical(); ++n) {
      storage::TRecordImage record(Slot(n));
      const std::int32_t id = record.RecordId();
      if (id > 0 && owner[id] == n) continue;
      if (highest == std::numeric_limits<std::int32_t>::max()) throw std::runtime_error("no record id left to give");
      record.SetRecordId(++highest);
      new_ids_[n] = id;
    }
    last_id_ = highest;
  }

  // A unique index cannot hold two records with one key; which one to drop
  // is the user's decision, so repair stops before changing anything.
  void CheckUniqueKeys() {
    const storage::TIndexFileHeader& header = table_.index_file().Header();
    for (int slot : TreeSlots(header)) {
      if (slot == storage::kRecordIdIndexSlot || !header.Descriptor(slot).Unique()) continue;
      const storage::TIndexKeyDefinition definition = table_.IndexKey(slot);
      const storage::TIndexKeyOrder order = table_.KeyOrder(definition);
      std::vector<std::pair<Bytes, std::int32_t>> keys;
      for (std::int32_t n = 1; n <= Physical(); ++n) {
        if (Active(n)) keys.emplace_back(storage::BuildKey(definition, storage::TRecordImage(Slot(n)), order.upper_case), n);
      }
      const std::size_t k = definition.key_length;
      std::sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
        const int c = order.compare(a.first.data(), b.first.data(), k);
        return c != 0 ? c < 0 : a.second < b.second;
      });
      for (std::size_t i = 1; i < keys.size(); ++i) {
        if (order.compare(keys[i - 1].first.data(), keys[i].first.data(), k) == 0) {
          throw std::runtime_error("records " + std::to_string(keys[i - 1].second) + " and " +
                                   std::to_string(keys[i].second) + " have the same key in the unique " +
                                   IndexLabel(slot, header.Descriptor(slot)) + "; nothing was changed");
        }
      }
    }
  }

  void FixSlots() {
    storage::TDataFile& data = table_.data_file();
    // The chain is a stack: linking the deleted slots in ascending order
    // leaves the highest at its head, so the next insert reuses it first.
    std::int32_t link = 0;
    int deleted = 0;
    for (std::int32_t n = 1; n <= Physical(); ++n) {
      storage::TRecord* record = data.GetRecord(n);
      if (record == nullptr) throw std::runtime_error("the table changed while it was being repaired");
      const std::uint8_t flag = record->Image()[storage::TRecordImage::kDeletedFlagOffset];
      if (flag > 1) {
        record->SetDeleted(true);
        changes_.push_back("slot " + std::to_string(n) + ": deleted flag " + std::to_string(flag) + " set to 1");
      }
      if (auto it = new_ids_.find(n); it != new_ids_.end()) {
        const std::int32_t id = storage::TRecordImage(Slot(n)).RecordId();
        record->SetAutoIncWord(id);
        changes_.push_back("slot " + std::to_string(n) + ": record id " + std::to_string(it->second) + " replaced by " +
                           std::to_string(id));
      }
      if (flag != 0) {
        if (record->Link() != link) {
          record->SetLink(link);
          record->SetModified(true);
          chain_changed_ = true;
        }
        link = n;
        ++deleted;
      }
      data.ReleaseRecord(record);
    }
    storage::TDataFileHeader& header = data.MutableHeader();
    if (header.DeletedChainHead() != link) chain_changed_ = true;
    header.SetDeletedChainHead(link);
    if (chain_changed_) {
      changes_.push_back("deleted-record chain relinked: " + std::to_string(deleted) + " slot(s), head " + std::to_string(link));
    }
    if (header.LastAutoIncValue() < last_id_) {
      changes_.push_back("last auto-increment value " + std::to_string(header.LastAutoIncValue()) + " raised to " +
                         std::to_string(last_id_));
      header.SetLastAutoIncValue(last_id_);
    }
    table_.Flush({.force_data_header = true, .force_os_flush = true});
  }

  void RebuildIndexes() {
    storage::TIndexFile& index = table_.index_file();
    // Pages of the old trees must not be written over the new ones.
    table_.DropCaches();
    storage::TIndexFileHeader& header = index.MutableHeader();
    const std::int32_t old_pages = header.NextPageNumber() - 1;
    for (int slot = 0; slot < storage::kIndexSlotCount; ++slot) {
      storage::TIndexDescriptor descriptor = header.Descriptor(slot);
      if (descriptor.Temporary()) continue;
      descriptor.SetRootPage(0);
      descriptor.SetFreeChainHead(0);
      if (slot == storage::kTextIndexSlot) descriptor.SetDataPage(0);
      header.SetDescriptor(slot, descriptor);
    }
    header.SetNextPageNumber(1);
    std::int32_t active = 0;
    for (std::int32_t n = 1; n <= Physical(); ++n) active += Active(n) ? 1 : 0;
    const std::int32_t old_active = header.ActiveRecordCount();
    header.SetActiveRecordCount(active);
    index.MarkModified();
    const std::uint8_t nothing = 0;
    index.WriteAt(storage::kIndexPageSize, &nothing, 0);  // a write of no bytes cuts the file there
    if (old_active != active) {
      changes_.push_back("active-record count " + std::to_string(old_active) + " set to " + std::to_string(active));
    }

    for (int slot : TreeSlots(header)) {
      const storage::TIndexKeyDefinition definition = table_.IndexKey(slot);
      const storage::TIndexKeyOrder order = table_.KeyOrder(definition);
      storage::TIndexTree tree = table_.IndexTree(slot);
      std::int64_t keys = 0;
      for (std::int32_t n = 1; n <= Physical(); ++n) {
        const storage::TRecordImage record(Slot(n));
        if (slot == storage::kRecordIdIndexSlot) {
          tree.AddKey(storage::RecordIdIndexKey(!Active(n), record.RecordId()).data(), n);
        } else if (Active(n)) {
          tree.AddKey(storage::BuildKey(definition, record, order.upper_case).data(), n);
        } else {
          continue;
        }
        ++keys;
      }
      const std::string label = slot == storage::kRecordIdIndexSlot ? "record-id index"
                                                                    : IndexLabel(slot, header.Descriptor(slot));
      changes_.push_back(label + " rebuilt: " + std::to_string(keys) + " key(s)");
    }
    if (text_parameters_) storage::WriteTextIndexParameters(table_.OpenIndex(storage::kTextIndexSlot), *text_parameters_);
    table_.Flush({.trim = true, .force_data_header = true, .force_os_flush = true, .force_index_header = true});
    changes_.push_back("index file rewritten: " + std::to_string(index.NextPageNumber() - 1) + " page(s), was " +
                       std::to_string(old_pages));
  }

  storage::TDataTable& table_;
  std::vector<Bytes> slots_;  // slot n at index n, record ids as planned
  std::map<std::int32_t, std::int32_t> new_ids_;  // slot -> the id it had
  std::int32_t last_id_ = 0;
  bool chain_changed_ = false;
  std::vector<std::string> changes_;
  std::optional<storage::TTextIndexParameters> text_parameters_;
};

}  // namespace

std::vector<std::string> RebuildTable(storage::TDataTable& table) { return Rebuild(table).Run(); }

}  // namespace telvora::tools
