#include "dataset/field_def.h"

#include <algorithm>

#include "storage/field_types.h"

namespace telvora::dataset {
namespace {

using namespace storage;

TFieldType FixedOr(std::uint8_t subtype, TFieldType plain) {
  return subtype == kSubtypeFixedString ? TFieldType::ftFixedChar : plain;
}

bool NameTaken(const std::vector<TFieldDef>& defs, const std::string& name) {
  return std::any_of(defs.begin(), defs.end(), [&](const TFieldDef& d) { return SameText(d.Name, name); });
}

}  // namespace

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

std::optional<TMappedFieldType> MapEngineFieldType(const TFieldDescriptor& d) {
  const std::uint8_t subtype = d.Subtype();
  const int declared = d.DeclaredSize();
  switch (d.Type()) {
    case kTypeString: return TMappedFieldType{FixedOr(subtype, TFieldType::ftString), declared};
    case kTypeDate: return TMappedFieldType{TFieldType::ftDate, 0};
    case kTypeBlob:
      switch (subtype) {
        case kSubtypeMemo: return TMappedFieldType{TFieldType::ftMemo, 0};
        case kSubtypeFormattedMemo: return TMappedFieldType{TFieldType::ftFmtMemo, 0};
        case kSubtypeGraphic: return TMappedFieldType{TFieldType::ftGraphic, 0};
        case kSubtypeTypedBinary: return TMappedFieldType{TFieldType::ftTypedBinary, 0};
        default: return TMappedFieldType{TFieldType::ftBlob, 0};
      }
    case kTypeBoolean: return TMappedFieldType{TFieldType::ftBoolean, 0};
    case kTypeSmallInt: return TMappedFieldType{TFieldType::ftSmallint, 0};
    case kTypeInteger:
      return TMappedFieldType{subtype == kSubtypeAutoInc ? TFieldType::ftAutoInc : TFieldType::ftInteger, 0};
    case kTypeFloat:
      return TMappedFieldType{subtype == kSubtypeMoney ? TFieldType::ftCurrency : TFieldType::ftFloat, 0};
    case kTypeBcd: return TMappedFieldType{TFieldType::ftBCD, d.Decimals()};
    case kTypeBytes: return TMappedFieldType{FixedOr(subtype, TFieldType::ftBytes), declared};
    case kTypeTime: return TMappedFieldType{TFieldType::ftTime, 0};
    case kTypeTimeStamp: return TMappedFieldType{TFieldType::ftDateTime, 0};
    case kTypeWord: return TMappedFieldType{TFieldType::ftWord, 0};
    case kTypeFourBytes: return TMappedFieldType{TFieldType::ftInteger, 0};
    case kTypeVarBytes: return TMappedFieldType{FixedOr(subtype, TFieldType::ftVarBytes), declared};
    case kTypeLargeInt:
    case 19: return TMappedFieldType{TFieldType::ftLargeint, 0};
    case kTypeAdt: return TMappedFieldType{TFieldType::ftADT, 0};
    case kTypeArray: return TMappedFieldType{TFieldType::ftArray, 0};
    case kTypeReference: return TMappedFieldType{TFieldType::ftReference, 0};
    case kTypeDataSet: return TMappedFieldType{TFieldType::ftDataSet, 0};
    default: return std::nullopt;
  }
}

std::vector<TFieldDef> FieldDefsFromDescriptors(std::span<const TFieldDescriptor> descriptors) {
  std::vector<TFieldDef> defs;
  for (const TFieldDescriptor& d : descriptors) {
    const auto mapped = MapEngineFieldType(d);
    if (!mapped) continue;
    TFieldDef def;
    def.FieldNo = d.FieldNumber();
    def.Name = d.Name();
    for (int counter = 1; NameTaken(defs, def.Name); ++counter) {
      def.Name = d.Name() + "_" + std::to_string(counter);
    }
    def.DataType = mapped->type;
    def.Size = mapped->size;
    def.Precision = mapped->type == TFieldType::ftBCD ? kBcdPrecision : 0;
    def.Required = d.Required();
    defs.push_back(std::move(def));
  }
  return defs;
}

}  // namespace telvora::dataset
