#include "storage/field_specs.h"

#include "storage/data_file_header.h"

namespace telvora::storage {

std::vector<TFieldDescriptor> DescribeFields(std::span<const TFieldSpec> specs) {
  std::vector<TFieldDescriptor> descriptors;
  descriptors.reserve(specs.size());
  std::uint16_t number = 0;
  for (const TFieldSpec& field : specs) {
    TFieldDescriptor d;
    d.SetFieldNumber(++number);
    d.SetName(field.name);
    d.SetType(field.type);
    d.SetSubtype(field.subtype);
    d.SetDeclaredSize(field.size);
    d.SetDecimals(field.decimals);
    descriptors.push_back(d);
  }
  return descriptors;
}

std::vector<TFieldDescriptor> DescribeLaidOutFields(std::span<const TFieldSpec> specs) {
  std::vector<TFieldDescriptor> descriptors = DescribeFields(specs);
  AssignRecordLayout(descriptors);
  return descriptors;
}

TIndexDescriptor SingleFieldIndex(const char* name, std::uint16_t field, bool unique) {
  TIndexDescriptor index;
  index.SetName(name);
  index.SetUnique(unique);
  index.SetKeyFieldCount(1);
  index.SetKeyFieldNumber(0, field);
  return index;
}

}  // namespace telvora::storage
