#include "tools/table_verify.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "storage/blob_block_header.h"
#include "storage/blob_file_header.h"
#include "storage/byte_image.h"
#include "storage/field_types.h"
#include "storage/index_file_header.h"
#include "storage/index_key.h"
#include "storage/page_image.h"
#include "storage/record_image.h"

namespace telvora::tools {
namespace {

using storage::PageKind;
using Bytes = std::vector<std::uint8_t>;

// The cursor keeps at most this many levels of a tree.
constexpr int kMaxTreeDepth = 64;
// Problems of one kind listed per index or file before the rest are counted.
constexpr int kMaxListedPerKind = 12;
constexpr std::uint8_t kFlagNull = 0;
constexpr std::uint8_t kFlagValue = 1;
constexpr char kBlank = ' ';

std::string BaseName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

std::string Hex(const std::uint8_t* bytes, std::size_t length) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < length; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 0xF];
  }
  return out;
}

std::string IndexLabel(int slot, const storage::TIndexDescriptor& descriptor) {
  if (slot == storage::kPrimaryIndexSlot) return "index primary";
  return "index '" + descriptor.Name() + "'";
}

// One index entry as stored: the full key, the pointer (child page or record
// number) and, in branches with counts, the subtree count.
struct Entry {
  Bytes key;
  std::int32_t pointer = 0;
  std::optional<std::int32_t> count;
};

struct ParsedPage {
  std::uint8_t kind = 0;
  int count = 0;
  std::int32_t left = 0;
  std::int32_t right = 0;
  std::vector<Entry> entries;
  std::vector<std::string> problems;
};

// What walking one index needs.
struct IndexWalk {
  int slot = 0;
  std::string label;
  std::size_t key_length = 0;
  int compression = 0;
  bool counts = true;   // branch entries carry subtree counts
  bool suffix = false;  // keys end in the record id
  storage::TIndexKeyDefinition definition;
  storage::TIndexKeyOrder order;
};

// A leaf entry in key order, with the page it was found on.
struct LeafEntry {
  Bytes key;
  std::int32_t record = 0;
  std::int32_t page = 0;
};

// One check of one table: reads every slot once, then walks the deleted
// chain, every index and the BLOB chains over those images, claiming each
// page and block so that one reached twice is caught. Collects problems and
// never raises for what it finds; only a failed read raises. Used once.
class Verifier {
 public:
  explicit Verifier(storage::TDataTable& table)
      : table_(table),
        data_name_(BaseName(table.data_file().file_name())),
        index_name_(BaseName(table.index_file().file_name())),
        blob_name_(BaseName(table.blob_file().file_name())) {}

  std::vector<TableProblem> Run() {
    ReadSlots();
    CheckSlots();
    CheckDeletedChain();
    CheckIndexFile();
    if (table_.data_file().BlobFieldCount() > 0) CheckBlobFile();
    for (const auto& [kind, count] : kind_counts_) {
      if (count > kMaxListedPerKind) {
        problems_.push_back({kind.first, "-", std::to_string(count - kMaxListedPerKind) + " more problem(s) like the above (" +
                                                   kind.second + ")"});
      }
    }
    return std::move(problems_);
  }

 private:
  void Add(const std::string& file, std::string where, std::string reason, const std::string& kind = {}) {
    if (!kind.empty() && ++kind_counts_[{file, kind}] > kMaxListedPerKind) return;
    problems_.push_back({file, std::move(where), std::move(reason)});
  }

  // --- Data file ---

  void ReadSlots() {
    storage::TDataFile& data = table_.data_file();
    physical_ = static_cast<std::int32_t>(data.PhysicalRecordCount());
    slots_.assign(static_cast<std::size_t>(physical_) + 1, Bytes{});
    for (std::int32_t n = 1; n <= physical_; ++n) {
      storage::TRecord* record = data.GetRecord(n);
      // Under the shared lock no writer can have changed the table.
      if (record == nullptr) throw std::runtime_error("the table changed while it was being checked");
      const auto image = record->Image();
      slots_[static_cast<std::size_t>(n)].assign(image.begin(), image.end());
      data.ReleaseRecord(record);
    }
    for (const storage::TFieldDescriptor& d : data.Descriptors()) fields_.push_back(d);
  }

  std::string SlotWhere(std::int32_t n) const {
    return "slot " + std::to_string(n) + " (offset " + std::to_string(table_.data_file().SlotPosition(n)) + ")";
  }

  void CheckSlots() {
    std::map<std::int32_t, std::int32_t> ids;
    for (std::int32_t n = 1; n <= physical_; ++n) {
      Bytes& image = slots_[static_cast<std::size_t>(n)];
      storage::TRecordImage record(image);
      const std::string where = SlotWhere(n);
      const std::uint8_t flag = image[storage::TRecordImage::kDeletedFlagOffset];
      if (flag > 1) Add(data_name_, where, "deleted flag " + std::to_string(flag) + ", expected 0 or 1", "deleted flag");
      const std::int32_t id = record.RecordId();
      if (auto [it, fresh] = ids.emplace(id, n); !fresh) {
        Add(data_name_, where, "record id " + std::to_string(id) + " already used by slot " + std::to_string(it->second),
            "record id");
      }
      if (id <= 0) Add(data_name_, where, "record id " + std::to_string(id) + " not positive", "record id");
      if (flag != 0) {
        deleted_.push_back(n);
        continue;
      }
      active_.push_back(n);
      for (const storage::TFieldDescriptor& d : fields_) CheckValue(where, record, d);
    }
  }

  void CheckValue(const std::string& slot_where, const storage::TRecordImage& record, const storage::TFieldDescriptor& d) {
    const storage::TFieldLayout field = storage::TFieldLayout::Of(d);
    if (field.IsAutoInc()) return;
    const auto bytes = record.Bytes();
    if (field.offset + 1u + field.stored_length > bytes.size()) return;  // the header check covers the layout
    const std::uint8_t flag = bytes[field.offset];
    const std::uint8_t* value = bytes.data() + field.offset + 1;
    const std::size_t length = field.stored_length;
    const std::string where = slot_where + ", field \"" + d.Name() + "\"";
    const std::string kind = "field " + d.Name();
    if (flag != kFlagNull && flag != kFlagValue) {
      Add(data_name_, where, "null flag byte " + std::to_string(flag) + ", expected 0 or 1", kind);
    }
    if (flag == kFlagNull) {
      bool clean = true;
      if (field.type == storage::kTypeString) {
        clean = length == 0 || value[0] == 0;
      } else if (field.type == storage::kTypeBlob) {
        clean = storage::LoadLittle<std::int32_t>(std::span<const std::uint8_t>(value, 4), 0) == 0;
      } else {
        clean = std::all_of(value, value + length, [](std::uint8_t b) { return b == 0; });
      }
      if (!clean) Add(data_name_, where, "null field whose value bytes are not zero", kind);
      if (d.Required()) Add(data_name_, where, "required field is null", kind);
      return;
    }
    if (field.type == storage::kTypeString) {
      const auto* end = std::find(value, value + length, std::uint8_t{0});
      if (end == value + length) Add(data_name_, where, "string value not zero-terminated", kind);
      const std::size_t chars = static_cast<std::size_t>(end - value);
      if (chars == 0) {
        Add(data_name_, where, "empty string stored with a value flag", kind);
      } else if (value[chars - 1] == kBlank && chars < d.DeclaredSize()) {
        Add(data_name_, where, "string value keeps trailing blanks", kind);
      }
      if (table_.data_file().LanguageId() == 0) {
        const bool lower = d.Case() == storage::CharacterCase::Lower;
        const bool upper = d.Case() == storage::CharacterCase::Upper;
        for (std::size_t i = 0; i < chars; ++i) {
          if ((lower && value[i] >= 'A' && value[i] <= 'Z') || (upper && value[i] >= 'a' && value[i] <= 'z')) {
            Add(data_name_, where, "string value breaks the field's character case", kind);
            break;
          }
        }
      }
    } else if (field.type == storage::kTypeBoolean) {
      const auto b = storage::LoadLittle<std::uint16_t>(std::span<const std::uint8_t>(value, 2), 0);
      if (b > 1) Add(data_name_, where, "Boolean value " + std::to_string(b) + ", expected 0 or 1", kind);
    } else if (field.type == storage::kTypeBlob) {
      const auto first = storage::LoadLittle<std::int32_t>(std::span<const std::uint8_t>(value, 4), 0);
      if (first == 0) Add(data_name_, where, "BLOB flag 1 with first block 0", kind);
      if (first < 0) Add(data_name_, where, "BLOB reference " + std::to_string(first) + " is not a block number", kind);
    }
  }

  void CheckDeletedChain() {
    const std::int32_t head = table_.data_file().Header().DeletedChainHead();
    std::set<std::int32_t> seen;
    std::string where = "offset 9";
    for (std::int32_t n = head; n != 0;) {
      if (n < 1 || n > physical_) {
        Add(data_name_, where, "deleted-record chain points to record " + std::to_string(n) + ", outside 1.." +
                                   std::to_string(physical_));
        break;
      }
      if (!seen.insert(n).second) {
        Add(data_name_, SlotWhere(n), "deleted-record chain reaches slot " + std::to_string(n) + " twice");
        break;
      }
      const Bytes& image = slots_[static_cast<std::size_t>(n)];
      if (image[storage::TRecordImage::kDeletedFlagOffset] != 1) {
        Add(data_name_, SlotWhere(n), "member of the deleted-record chain is not deleted");
      }
      where = SlotWhere(n);
      n = storage::TRecordImage(slots_[static_cast<std::size_t>(n)]).RecordNumber();
    }
    const std::set<std::int32_t> all(deleted_.begin(), deleted_.end());
    if (table_.index_file().PrimaryIndexUnavailable()) {
      // Deletes with the primary order unavailable start a new chain, so the
      // chain may hold fewer slots than are deleted.
      if (seen.size() > all.size()) Add(data_name_, "offset 9", "deleted-record chain longer than the deleted slots");
    } else if (seen != all) {
      std::string missing;
      int listed = 0;
      for (std::int32_t n : all) {
        if (seen.count(n) == 0 && listed++ < 10) missing += (missing.empty() ? "" : ", ") + std::to_string(n);
      }
      Add(data_name_, "offset 9",
          "deleted-record chain holds " + std::to_string(seen.size()) + " slots, the file has " +
              std::to_string(all.size()) + " deleted slots" + (missing.empty() ? "" : " (not in chain: " + missing + ")"));
    }
  }

  // --- Index file ---

  void CheckIndexFile() {
    storage::TIndexFile& index = table_.index_file();
    const storage::TIndexFileHeader& header = index.Header();
    next_page_ = header.NextPageNumber();
    const std::uint64_t length = index.FileSize();
    if (length != static_cast<std::uint64_t>(next_page_) * storage::kIndexPageSize) {
      Add(index_name_, "offset 9",
          "next page number " + std::to_string(next_page_) + " needs a file of " +
              std::to_string(static_cast<std::uint64_t>(next_page_) * storage::kIndexPageSize) + " bytes, the file has " +
              std::to_string(length));
    }
    pages_in_file_ = static_cast<std::int32_t>(
        std::min<std::uint64_t>(static_cast<std::uint64_t>(std::max(next_page_, 1)), length / storage::kIndexPageSize));
    if (header.ActiveRecordCount() != static_cast<std::int32_t>(active_.size())) {
      Add(index_name_, "offset 3974",
          "active-record count " + std::to_string(header.ActiveRecordCount()) + ", the data file has " +
              std::to_string(active_.size()) + " active slots");
    }
    std::vector<int> slots = {storage::kPrimaryIndexSlot};
    for (int k = 1; k <= header.SecondaryIndexCount(); ++k) slots.push_back(k);
    slots.push_back(storage::kRecordIdIndexSlot);
    slots.push_back(storage::kTextIndexSlot);
    for (int slot : slots) {
      const storage::TIndexDescriptor descriptor = header.Descriptor(slot);
      if (descriptor.Temporary()) continue;
      IndexWalk walk;
      walk.slot = slot;
      walk.label = IndexLabel(slot, descriptor);
      walk.key_length = static_cast<std::size_t>(std::max<std::int16_t>(descriptor.KeyLength(), 0));
      walk.compression = descriptor.Compression();
      walk.counts = !descriptor.NoSubtreeCounts() && slot != storage::kTextIndexSlot;
      walk.suffix = !descriptor.Unique() && slot != storage::kRecordIdIndexSlot;
      if (slot == storage::kTextIndexSlot) WalkDataPages(walk, descriptor.DataPage());
      const bool no_fields = slot != storage::kRecordIdIndexSlot && descriptor.KeyFieldCount() == 0;
      if (slot == storage::kPrimaryIndexSlot && header.PrimaryIndexUnavailable()) {
        // No order to check; the pages it was given are still its own.
      } else if (no_fields) {
        if (descriptor.RootPage() != 0) Add(index_name_, walk.label, "index without key fields has a root page");
      } else {
        walk.definition = table_.IndexKey(slot);
        walk.order = table_.KeyOrder(walk.definition);
        WalkTree(walk, descriptor.RootPage());
      }
      WalkFreeChain(walk, descriptor.FreeChainHead());
    }
  }

  bool Claim(std::int32_t page, const std::string& what, const std::string& where) {
    if (page < 1 || page >= pages_in_file_) {
      Add(index_name_, where, what + ": page " + std::to_string(page) + " outside 1.." + std::to_string(pages_in_file_ - 1));
      return false;
    }
    if (auto it = page_owner_.find(page); it != page_owner_.end()) {
      Add(index_name_, where, "page " + std::to_string(page) + " reached " + what + " but already " + it->second);
      return false;
    }
    page_owner_[page] = what;
    return true;
  }

  std::array<std::uint8_t, storage::kIndexPageSize> ReadPage(std::int32_t page) {
    std::array<std::uint8_t, storage::kIndexPageSize> image{};
    table_.index_file().ReadPageImage(page, image);
    return image;
  }

  ParsedPage ParsePage(const IndexWalk& walk, const std::array<std::uint8_t, storage::kIndexPageSize>& image) const {
    ParsedPage page;
    const std::span<const std::uint8_t> bytes(image);
    page.kind = image[storage::kPageKindOffset];
    page.count = storage::LoadLittle<std::uint16_t>(bytes, storage::kPageCountOffset);
    page.left = storage::LoadLittle<std::int32_t>(bytes, storage::kPageLeftOffset);
    page.right = storage::LoadLittle<std::int32_t>(bytes, storage::kPageRightOffset);
    const auto packed = storage::LoadLittle<std::uint16_t>(bytes, storage::kPagePackedSizeOffset);
    const std::size_t k = walk.key_length;
    const std::size_t area_end = storage::kIndexPageSize;
    std::size_t end = storage::kPageHeaderSize;
    const auto kind = static_cast<PageKind>(page.kind);
    if (kind == PageKind::RootBranch || kind == PageKind::Branch || walk.compression == 0) {
      const bool branch = kind == PageKind::RootBranch || kind == PageKind::Branch;
      const std::size_t size = k + storage::kEntryPointerLength + (branch && walk.counts ? storage::kEntryCountLength : 0);
      int count = page.count;
      if (static_cast<std::size_t>(count) * size > storage::kPageDataSize) {
        page.problems.push_back(std::to_string(count) + " entries of " + std::to_string(size) +
                                " bytes do not fit 4,083 bytes");
        count = static_cast<int>(storage::kPageDataSize / size);
      }
      if (kind == PageKind::Data) count = 0;
      for (int j = 0; j < count; ++j) {
        const std::size_t p = storage::kPageHeaderSize + static_cast<std::size_t>(j) * size;
        Entry e;
        e.key.assign(image.begin() + static_cast<std::ptrdiff_t>(p), image.begin() + static_cast<std::ptrdiff_t>(p + k));
        e.pointer = storage::LoadLittle<std::int32_t>(bytes, p + k);
        if (branch && walk.counts) e.count = storage::LoadLittle<std::int32_t>(bytes, p + k + 4);
        page.entries.push_back(std::move(e));
      }
      end = storage::kPageHeaderSize + static_cast<std::size_t>(count) * size;
      if (packed != 0 && kind != PageKind::Data) page.problems.push_back("packed size " + std::to_string(packed) + " on a page without compression");
    } else {
      const bool leading = walk.compression == 1 || walk.compression == 3;
      const bool trailing = walk.compression == 2 || walk.compression == 3;
      std::size_t p = storage::kPageHeaderSize;
      const Bytes* previous = nullptr;
      for (int j = 0; j < page.count; ++j) {
        std::size_t d = 0, t = 0;
        const std::string entry = "entry " + std::to_string(j + 1);
        if (p + (leading ? 1 : 0) + (trailing ? 1 : 0) > area_end) {
          page.problems.push_back(entry + " starts beyond the entry area");
          break;
        }
        if (leading) d = image[p++];
        if (trailing) t = image[p++];
        if (d > storage::kMaxCompressedRun || t > storage::kMaxCompressedRun || d > k || t > k - d ||
            (j == 0 && d != 0) || (d > 0 && previous == nullptr)) {
          page.problems.push_back(entry + ": counts d=" + std::to_string(d) + " t=" + std::to_string(t) +
                                  " impossible here");
          break;
        }
        const std::size_t stored = k - d - t;
        if (p + stored + storage::kEntryPointerLength > area_end) {
          page.problems.push_back(entry + " ends beyond the entry area");
          break;
        }
        Entry e;
        if (d > 0) e.key.assign(previous->begin(), previous->begin() + static_cast<std::ptrdiff_t>(d));
        const auto from = image.begin() + static_cast<std::ptrdiff_t>(p);
        if (t > 0 && walk.suffix) {
          if (stored < storage::kRecordIdSuffixLength) {
            page.problems.push_back(entry + ": trailing count leaves no room for the record id");
            break;
          }
          const auto suffix_at = from + static_cast<std::ptrdiff_t>(stored - storage::kRecordIdSuffixLength);
          e.key.insert(e.key.end(), from, suffix_at);
          e.key.insert(e.key.end(), t, 0);
          e.key.insert(e.key.end(), suffix_at, from + static_cast<std::ptrdiff_t>(stored));
        } else {
          e.key.insert(e.key.end(), from, from + static_cast<std::ptrdiff_t>(stored));
          e.key.insert(e.key.end(), t, 0);
        }
        p += stored;
        e.pointer = storage::LoadLittle<std::int32_t>(bytes, p);
        p += storage::kEntryPointerLength;
        page.entries.push_back(std::move(e));
        previous = &page.entries.back().key;
      }
      end = p;
      if (packed != end - storage::kPageHeaderSize) {
        page.problems.push_back("packed size field " + std::to_string(packed) + ", the entries take " +
                                std::to_string(end - storage::kPageHeaderSize) + " bytes");
      }
    }
    if (kind != PageKind::Data && std::any_of(image.begin() + static_cast<std::ptrdiff_t>(std::min(end, area_end)), image.end(),
                                              [](std::uint8_t b) { return b != 0; })) {
      page.problems.push_back("bytes after the entries (from offset " + std::to_string(end) + ") not zero");
    }
    return page;
  }

  struct Level {
    std::int32_t page, left, right;
  };

  struct TreeWalk {
    std::map<int, std::vector<Level>> levels;
    std::set<int> broken;
    std::set<int> leaf_depths;
    std::vector<LeafEntry> leaves;
  };

  // The first key and the leaf entries below a page, or nothing when the
  // page could not be read as part of the tree.
  std::optional<std::pair<Bytes, std::int64_t>> Visit(const IndexWalk& walk, TreeWalk& tree, std::int32_t number,
                                                      int depth, const std::string& where) {
    if (depth >= kMaxTreeDepth) {
      Add(index_name_, where, "tree deeper than " + std::to_string(kMaxTreeDepth) + " levels");
      return std::nullopt;
    }
    if (!Claim(number, "in the tree of " + walk.label, where)) {
      tree.broken.insert(depth);
      return std::nullopt;
    }
    const ParsedPage page = ParsePage(walk, ReadPage(number));
    const std::string here = "page " + std::to_string(number) + " (" + walk.label + ", level " + std::to_string(depth) + ")";
    for (const std::string& p : page.problems) Add(index_name_, here, p);
    const auto kind = static_cast<PageKind>(page.kind);
    const bool kind_ok = depth == 0 ? (kind == PageKind::RootBranch || kind == PageKind::RootLeaf)
                                    : (kind == PageKind::Branch || kind == PageKind::Leaf);
    if (!kind_ok) {
      Add(index_name_, here, "page kind " + std::to_string(page.kind) + (depth == 0 ? " at the root" : " below the root"));
      if (page.kind > static_cast<std::uint8_t>(PageKind::RootLeaf)) {
        tree.broken.insert(depth);
        return std::nullopt;
      }
    }
    tree.levels[depth].push_back({number, page.left, page.right});
    if (depth == 0 && (page.left != 0 || page.right != 0)) Add(index_name_, here, "root page has sibling links");
    if (page.entries.empty()) {
      Add(index_name_, here, "empty page in a tree");
      return std::nullopt;
    }
    const std::size_t k = walk.key_length;
    if (kind == PageKind::Leaf || kind == PageKind::RootLeaf) {
      tree.leaf_depths.insert(depth);
      if (walk.compression == 0 && page.entries.size() > static_cast<std::size_t>(storage::LeafCapacity(k))) {
        Add(index_name_, here, std::to_string(page.entries.size()) + " entries exceed the leaf capacity " +
                                   std::to_string(storage::LeafCapacity(k)));
      }
      for (const Entry& e : page.entries) tree.leaves.push_back({e.key, e.pointer, number});
      return std::make_pair(page.entries.front().key, static_cast<std::int64_t>(page.entries.size()));
    }
    const int capacity = storage::BranchCapacity(k, walk.counts);
    if (page.entries.size() > static_cast<std::size_t>(capacity)) {
      Add(index_name_, here, std::to_string(page.entries.size()) + " entries exceed the branch capacity " +
                                 std::to_string(capacity));
    }
    if (depth == 0 && page.entries.size() < 2) Add(index_name_, here, "root branch with a single entry");
    std::int64_t total = 0;
    for (std::size_t j = 0; j < page.entries.size(); ++j) {
      const Entry& e = page.entries[j];
      const std::string entry_where = here + ", entry " + std::to_string(j + 1);
      const auto below = Visit(walk, tree, e.pointer, depth + 1, entry_where);
      if (!below) {
        tree.broken.insert(depth + 1);
        continue;
      }
      if (below->first != e.key) {
        Add(index_name_, entry_where, "branch key differs from the first key of child page " + std::to_string(e.pointer),
            "branch key " + walk.label);
      }
      if (e.count && *e.count != below->second) {
        Add(index_name_, entry_where,
            "subtree count " + std::to_string(*e.count) + ", child page " + std::to_string(e.pointer) + " has " +
                std::to_string(below->second) + " leaf entries below it",
            "subtree count " + walk.label);
      }
      total += below->second;
    }
    return std::make_pair(page.entries.front().key, total);
  }

  void WalkTree(const IndexWalk& walk, std::int32_t root) {
    TreeWalk tree;
    if (root != 0) Visit(walk, tree, root, 0, walk.label + " root");
    if (tree.leaf_depths.size() > 1) Add(index_name_, walk.label, "leaves at different depths");
    for (const auto& [depth, pages] : tree.levels) {
      if (!tree.broken.empty() && *tree.broken.begin() <= depth) continue;
      for (std::size_t i = 0; i < pages.size(); ++i) {
        const std::int32_t left = i > 0 ? pages[i - 1].page : 0;
        const std::int32_t right = i + 1 < pages.size() ? pages[i + 1].page : 0;
        if (pages[i].left != left || pages[i].right != right) {
          Add(index_name_, "page " + std::to_string(pages[i].page) + " (" + walk.label + ", level " + std::to_string(depth) + ")",
              "sibling links left=" + std::to_string(pages[i].left) + " right=" + std::to_string(pages[i].right) +
                  ", expected left=" + std::to_string(left) + " right=" + std::to_string(right),
              "siblings " + walk.label);
        }
      }
    }
    CheckLeafOrder(walk, tree.leaves);
    if (walk.slot == storage::kTextIndexSlot) return;  // its words are the editing code's affair
    CheckLeafContents(walk, tree.leaves);
  }

  void CheckLeafOrder(const IndexWalk& walk, const std::vector<LeafEntry>& leaves) {
    for (std::size_t i = 1; i < leaves.size(); ++i) {
      const int c = walk.order.compare(leaves[i - 1].key.data(), leaves[i].key.data(), walk.key_length);
      const std::string where = "page " + std::to_string(leaves[i].page) + " (" + walk.label + ")";
      if (c > 0) {
        Add(index_name_, where, "leaf entry for record " + std::to_string(leaves[i].record) + " is out of order",
            "order " + walk.label);
      } else if (c == 0) {
        Add(index_name_, where,
            "duplicate key (records " + std::to_string(leaves[i - 1].record) + " and " + std::to_string(leaves[i].record) + ")",
            "order " + walk.label);
      }
    }
  }

  void CheckLeafContents(const IndexWalk& walk, const std::vector<LeafEntry>& leaves) {
    const bool record_ids = walk.slot == storage::kRecordIdIndexSlot;
    const std::string kind = "content " + walk.label;
    std::set<std::int32_t> seen;
    for (const LeafEntry& leaf : leaves) {
      const std::string where = "page " + std::to_string(leaf.page) + " (" + walk.label + ")";
      const std::int32_t n = leaf.record;
      const bool in_range = n >= 1 && n <= physical_;
      const bool active = in_range && slots_[static_cast<std::size_t>(n)][0] == 0;
      if (!(record_ids ? in_range : active)) {
        Add(index_name_, where, "leaf entry points to record " + std::to_string(n) +
                                    (record_ids ? ", outside the slots" : ", which is not an active slot"), kind);
        continue;
      }
      if (!seen.insert(n).second) {
        Add(index_name_, where, "record " + std::to_string(n) + " has two entries", kind);
        continue;
      }
      Bytes image = slots_[static_cast<std::size_t>(n)];
      const storage::TRecordImage record(image);
      Bytes expected;
      if (record_ids) {
        const auto key = storage::RecordIdIndexKey(image[0] != 0, record.RecordId());
        expected.assign(key.begin(), key.end());
      } else {
        expected = storage::BuildKey(walk.definition, record, walk.order.upper_case);
      }
      if (expected != leaf.key) {
        Add(index_name_, where,
            "stored key of record " + std::to_string(n) + " (" + Hex(leaf.key.data(), leaf.key.size()) +
                ") differs from the key built from the record (" + Hex(expected.data(), expected.size()) + ")",
            kind);
      }
    }
    const std::size_t wanted = record_ids ? static_cast<std::size_t>(physical_) : active_.size();
    if (leaves.size() != wanted) {
      Add(index_name_, walk.label,
          std::to_string(leaves.size()) + " leaf entries, the table has " + std::to_string(wanted) +
              (record_ids ? " slots" : " active records"));
    }
    std::string missing;
    int listed = 0;
    auto note_missing = [&](std::int32_t n) {
      if (seen.count(n) == 0 && listed++ < 10) missing += (missing.empty() ? "" : ", ") + std::to_string(n);
    };
    if (record_ids) {
      for (std::int32_t n = 1; n <= physical_; ++n) note_missing(n);
    } else {
      for (std::int32_t n : active_) note_missing(n);
    }
    if (!missing.empty()) Add(index_name_, walk.label, "records without an entry: " + missing);
  }

  void WalkFreeChain(const IndexWalk& walk, std::int32_t head) {
    std::string where = walk.label + " free chain";
    for (std::int32_t n = head; n != 0;) {
      if (!Claim(n, "in the free chain of " + walk.label, where)) break;
      const auto image = ReadPage(n);
      const std::span<const std::uint8_t> bytes(image);
      const std::string here = "page " + std::to_string(n) + " (free, " + walk.label + ")";
      if (storage::LoadLittle<std::uint16_t>(bytes, storage::kPageCountOffset) != 0) Add(index_name_, here, "freed page with entries");
      if (storage::LoadLittle<std::int32_t>(bytes, storage::kPageLeftOffset) != 0) Add(index_name_, here, "freed page with a left link");
      if (std::any_of(image.begin() + storage::kPageHeaderSize, image.end(), [](std::uint8_t b) { return b != 0; })) {
        Add(index_name_, here, "freed page with entry bytes not zero");
      }
      where = here;
      n = storage::LoadLittle<std::int32_t>(bytes, storage::kPageRightOffset);
    }
  }

  void WalkDataPages(const IndexWalk& walk, std::int32_t first) {
    std::string where = walk.label + " parameter pages";
    for (std::int32_t n = first; n != 0;) {
      if (!Claim(n, "as a parameter page of " + walk.label, where)) break;
      const auto image = ReadPage(n);
      where = "page " + std::to_string(n) + " (parameters, " + walk.label + ")";
      if (image[storage::kPageKindOffset] != static_cast<std::uint8_t>(PageKind::Data)) {
        Add(index_name_, where, "page kind " + std::to_string(image[0]) + " in the parameter chain (expected 4)");
      }
      n = storage::LoadLittle<std::int32_t>(std::span<const std::uint8_t>(image), storage::kPageRightOffset);
    }
  }

  // --- BLOB file ---

  void CheckBlobFile() {
    storage::TBlobFile& blob = table_.blob_file();
    if (!blob.is_open()) {
      Add(blob_name_, "-", "BLOB file missing although the table has BLOB fields");
      return;
    }
    block_size_ = table_.data_file().BlobBlockSize();
    const std::int32_t next = blob.NextBlockNumber();
    const std::uint64_t length = blob.FileSize();
    const std::uint64_t wanted = storage::kBlobFileHeaderSize + static_cast<std::uint64_t>(std::max(next, 1) - 1) * block_size_;
    if (length != wanted) {
      Add(blob_name_, "offset 13", "next block number " + std::to_string(next) + " needs a file of " + std::to_string(wanted) +
                                       " bytes, the file has " + std::to_string(length));
    }
    blocks_in_file_ = static_cast<std::int32_t>(std::min<std::uint64_t>(
        static_cast<std::uint64_t>(std::max(next, 1)),
        length < storage::kBlobFileHeaderSize ? 1 : (length - storage::kBlobFileHeaderSize) / block_size_ + 1));
    std::map<std::int32_t, std::string> keys;
    for (std::int32_t n : active_) {
      Bytes& image = slots_[static_cast<std::size_t>(n)];
      const storage::TRecordImage record(image);
      for (const storage::TFieldDescriptor& d : fields_) {
        if (d.Type() != storage::kTypeBlob) continue;
        const storage::TFieldLayout field = storage::TFieldLayout::Of(d);
        const std::int32_t first = record.GetBlobFirstBlock(field);
        if (first <= 0) continue;
        const std::int32_t key = record.GetBlobKey(field);
        const std::string owner = "record " + std::to_string(n) + " field \"" + d.Name() + "\"";
        if (auto [it, fresh] = keys.emplace(key, owner); !fresh) {
          Add(blob_name_, owner, "BLOB key " + std::to_string(key) + " also used by " + it->second, "blob key");
        }
        WalkBlobChain(owner, first, key);
      }
    }
    std::string where = "offset 9";
    for (std::int32_t n = blob.Header().FreeChainHead(); n != 0;) {
      if (!ClaimBlock(n, "in the free chain", where)) break;
      where = "block " + std::to_string(n) + " (free)";
      n = ReadBlock(n).first.next;
    }
  }

  bool ClaimBlock(std::int32_t block, const std::string& what, const std::string& where) {
    if (block < 1 || block >= blocks_in_file_) {
      Add(blob_name_, where, what + ": block " + std::to_string(block) + " outside 1.." + std::to_string(blocks_in_file_ - 1));
      return false;
    }
    if (auto it = block_owner_.find(block); it != block_owner_.end()) {
      Add(blob_name_, where, "block " + std::to_string(block) + " reached " + what + " but already " + it->second);
      return false;
    }
    block_owner_[block] = what;
    return true;
  }

  std::pair<storage::TBlobBlockHeader, Bytes> ReadBlock(std::int32_t block) {
    Bytes image(block_size_);
    table_.blob_file().ReadBlockImages(block, image);
    return {storage::TBlobBlockHeader::Unpack(image), std::move(image)};
  }

  void WalkBlobChain(const std::string& owner, std::int32_t first, std::int32_t key) {
    const std::size_t capacity = storage::BlobBlockDataSize(block_size_);
    std::int32_t previous = 0;
    std::int64_t total = 0;
    std::int64_t used_sum = 0;
    std::string where = owner;
    const std::string kind = "chain " + owner;
    for (std::int32_t n = first; n != 0;) {
      if (!ClaimBlock(n, "in the chain of " + owner, where)) break;
      const storage::TBlobBlockHeader header = ReadBlock(n).first;
      where = "block " + std::to_string(n) + " (" + owner + ")";
      if (header.previous != previous) {
        Add(blob_name_, where, "previous link " + std::to_string(header.previous) + ", expected " + std::to_string(previous), kind);
      }
      if (header.blob_key != key) {
        Add(blob_name_, where, "BLOB key " + std::to_string(header.blob_key) + ", the record holds " + std::to_string(key), kind);
      }
      if (previous == 0) {
        total = header.total_length;
      } else if (header.total_length != 0) {
        Add(blob_name_, where, "block after the first holds total length " + std::to_string(header.total_length), kind);
      }
      if (header.used_bytes > capacity) {
        Add(blob_name_, where, std::to_string(header.used_bytes) + " used bytes exceed the data part", kind);
      } else if (header.next != 0 && header.used_bytes != capacity) {
        Add(blob_name_, where, "block before the end of the chain uses " + std::to_string(header.used_bytes) + " of " +
                                   std::to_string(capacity) + " bytes", kind);
      }
      used_sum += header.used_bytes;
      previous = n;
      n = header.next;
    }
    if (used_sum != total) {
      Add(blob_name_, owner, "used bytes of the chain sum to " + std::to_string(used_sum) + ", the first block says " +
                                 std::to_string(total), kind);
    }
  }

  storage::TDataTable& table_;
  std::string data_name_, index_name_, blob_name_;
  std::vector<TableProblem> problems_;
  std::map<std::pair<std::string, std::string>, int> kind_counts_;

  std::int32_t physical_ = 0;
  std::vector<Bytes> slots_;  // slot n at index n
  std::vector<storage::TFieldDescriptor> fields_;
  std::vector<std::int32_t> active_;
  std::vector<std::int32_t> deleted_;

  std::int32_t next_page_ = 1;
  std::int32_t pages_in_file_ = 1;
  std::map<std::int32_t, std::string> page_owner_;

  std::uint16_t block_size_ = 0;
  std::int32_t blocks_in_file_ = 1;
  std::map<std::int32_t, std::string> block_owner_;
};

}  // namespace

std::string TableProblem::Text() const { return file + ": " + where + ": " + reason; }

std::vector<TableProblem> VerifyTable(storage::TDataTable& table) { return Verifier(table).Run(); }

}  // namespace telvora::tools
