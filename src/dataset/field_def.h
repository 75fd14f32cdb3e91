#pragma once
// TFieldType and TFieldDef: the data type of a field as the dataset sees it,
// and the definition of one table field read from the cursor (its number,
// unique name, data type, size, precision and required flag).
//
// FieldDefsFromDescriptors maps the engine's type and subtype codes onto
// data types; a code that maps to no type gives no definition. A name that
// is already taken is made unique by formatting "%s_%d" with the name and a
// counter starting at 1.
//
// Values and pure functions; any thread.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "storage/field_descriptor.h"

namespace telvora::dataset {

enum class TFieldType : std::uint8_t {
  ftUnknown,
  ftString,
  ftFixedChar,
  ftDate,
  ftBlob,
  ftMemo,
  ftFmtMemo,
  ftGraphic,
  ftTypedBinary,
  ftBoolean,
  ftSmallint,
  ftInteger,
  ftAutoInc,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftBytes,
  ftTime,
  ftDateTime,
  ftWord,
  ftVarBytes,
  ftLargeint,
  ftADT,
  ftArray,
  ftReference,
  ftDataSet,
};

// The precision given to every BCD definition.
inline constexpr int kBcdPrecision = 32;

struct TFieldDef {
  int FieldNo = 0;
  std::string Name;
  TFieldType DataType = TFieldType::ftUnknown;
  int Size = 0;
  int Precision = 0;
  bool Required = false;
};

// The data type and size for an engine field; nothing for a code without
// a data type.
struct TMappedFieldType {
  TFieldType type;
  int size;
};
std::optional<TMappedFieldType> MapEngineFieldType(const storage::TFieldDescriptor& descriptor);

std::vector<TFieldDef> FieldDefsFromDescriptors(std::span<const storage::TFieldDescriptor> descriptors);

// Text equality without regard to ASCII case (field, session and database
// names).
bool SameText(const std::string& a, const std::string& b);

}  // namespace telvora::dataset
