#include "dataset/index_def.h"

#include "dataset/dataset_error.h"
#include "dataset/field_def.h"

namespace telvora::dataset {
namespace {

std::string JoinFields(const storage::TIndexDescriptor& descriptor,
                       std::span<const storage::TFieldDescriptor> fields) {
  std::string joined;
  for (int i = 0; i < descriptor.KeyFieldCount(); ++i) {
    const std::uint16_t number = descriptor.KeyFieldNumber(i);
    if (!joined.empty()) joined += ';';
    if (number >= 1 && number <= fields.size()) joined += fields[number - 1].Name();
  }
  return joined;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : ";") + name;
  return joined;
}

}  // namespace

std::vector<std::string> SplitFieldNames(const std::string& names) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = names.find(';', start);
    std::string part = names.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const auto first = part.find_first_not_of(' ');
    if (first != std::string::npos) parts.push_back(part.substr(first, part.find_last_not_of(' ') - first + 1));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return parts;
}

std::vector<TIndexDef> IndexDefsFromHeader(const storage::TIndexFileHeader& header, bool primary_unavailable,
                                           std::span<const storage::TFieldDescriptor> fields) {
  std::vector<TIndexDef> defs;
  for (int slot = storage::kPrimaryIndexSlot; slot <= header.SecondaryIndexCount(); ++slot) {
    const storage::TIndexDescriptor descriptor = header.Descriptor(slot);
    const bool primary = slot == storage::kPrimaryIndexSlot;
    if (primary && (primary_unavailable || descriptor.KeyFieldCount() == 0)) continue;
    TIndexDef def;
    def.Name = descriptor.Name();
    def.Fields = JoinFields(descriptor, fields);
    def.Options.ixPrimary = primary;
    def.Options.ixUnique = primary || descriptor.Unique();
    def.Options.ixDescending = descriptor.Descending();
    def.Options.ixCaseInsensitive = descriptor.CaseInsensitive();
    def.Slot = slot;
    defs.push_back(def);
  }
  return defs;
}

const TIndexDef& IndexForFields(const std::vector<TIndexDef>& defs, const std::string& field_names) {
  const std::string wanted = Joined(SplitFieldNames(field_names));
  for (const TIndexDef& def : defs) {
    if (!def.Options.ixDescending && SameText(def.Fields, wanted)) return def;
  }
  for (const TIndexDef& def : defs) {
    if (def.Options.ixDescending || def.Fields.size() <= wanted.size()) continue;
    if (SameText(def.Fields.substr(0, wanted.size()), wanted) && def.Fields[wanted.size()] == ';') return def;
  }
  DatabaseErrorFmt(kNoIndexForFields, field_names);
}

}  // namespace telvora::dataset
