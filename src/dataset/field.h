#pragma once
// TField: one field object of a dataset, through which a value of the active
// record is read and written as text, number or variant.
//
// A field is persistent when it was created by its owner (a window or data
// module definition) and bound to a dataset with SetDataSet: it stays when
// the dataset closes and is bound by name, without regard to case, to the
// table's field definitions at opening. Default fields are created and
// destroyed by the dataset itself. Data fields read and write the record
// image of the dataset's active buffer; calculated fields read and write the
// calculated-field area behind it (a null-flag byte, then the value, in the
// record image's value encoding).
//
// Reading a field of a dataset without a current record gives null. Writing
// goes through the dataset, which checks its state, runs OnValidate with the
// new value readable from the field, stores the value and tells its data
// links. String values follow the engine's rules: trailing blanks are dropped
// and an empty string is stored as null.
//
// Threads: the dataset's thread.

#include <cstdint>
#include <span>
#include <string>
#include <variant>

#include "dataset/field_def.h"
#include "platform/component.h"
#include "storage/field_descriptor.h"
#include "storage/record_image.h"

namespace telvora::dataset {

class TVoraDataSet;

// A field value: null, or a Boolean, a whole number, a floating-point number
// (also dates and times, as days since 1899-12-30) or a text.
using TVariant = std::variant<std::monostate, bool, std::int64_t, double, std::string>;
inline bool VarIsNull(const TVariant& value) { return std::holds_alternative<std::monostate>(value); }

enum class TFieldKind : std::uint8_t { fkData, fkCalculated, fkLookup, fkInternalCalc };

class TField : public platform::TComponent {
 public:
  explicit TField(platform::TComponent* AOwner);
  ~TField() override;

  // --- Published ---
  TVoraDataSet* DataSet() const { return dataset_; }
  // Adds the field to the dataset's list (or takes it out with nullptr).
  // Refused on an open dataset.
  void SetDataSet(TVoraDataSet* value);
  const std::string& FieldName() const { return field_name_; }
  void SetFieldName(const std::string& value);
  TFieldKind FieldKind() const { return kind_; }
  void SetFieldKind(TFieldKind value);
  TFieldType DataType() const { return data_type_; }
  // For calculated fields; data fields take theirs from the definitions.
  void SetDataType(TFieldType value) { data_type_ = value; }
  int Size() const { return size_; }
  void SetSize(int value) { size_ = value; }
  bool Required() const { return required_; }
  void SetRequired(bool value) { required_ = value; }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value) { read_only_ = value; }
  const std::string& DisplayLabel() const { return display_label_; }
  void SetDisplayLabel(const std::string& value) { display_label_ = value; }
  // The display label, or the field name when there is none.
  const std::string& DisplayName() const { return display_label_.empty() ? field_name_ : display_label_; }

  // The engine field number (0 for calculated fields) and the offset of the
  // value in the record image or in the calculated-field area.
  int FieldNo() const { return field_no_; }
  int Offset() const { return layout_.offset; }
  bool Calculated() const { return kind_ != TFieldKind::fkData; }

  // --- Values ---
  bool IsNull() const;
  TVariant Value() const;
  void SetValue(const TVariant& value);
  // Null reads as the empty string.
  std::string AsString() const;
  void SetAsString(const std::string& value);
  std::int64_t AsInteger() const;
  void SetAsInteger(std::int64_t value);
  double AsFloat() const;
  void SetAsFloat(double value);
  bool AsBoolean() const;
  void SetAsBoolean(bool value);
  void Clear();
  // Stores the value this field has in `image`, a record image of the same
  // table: its null flag and stored bytes, unchanged. For callers that
  // converted and checked a whole record at the engine's level (the tools'
  // JSON records); a BLOB field's value is not in an image and is refused,
  // like the auto-increment field, whose value the table assigns.
  void CopyValueFrom(std::span<const std::uint8_t> image);
  // The value the record had when editing began (the current value outside
  // Editing).
  TVariant OldValue() const;
  // Asks the data links to focus the control showing this field.
  void FocusControl();

  // Called before a new value is stored; the field reads as the new value
  // while it runs. Raising refuses the value.
  platform::TEvent<void(TField&)> OnValidate;
  // Called after a value was stored.
  platform::TEvent<void(TField&)> OnChange;

 private:
  friend class TVoraDataSet;

  // The dataset binds the field to its definition (data fields) or to its
  // place in the calculated-field area.
  void BindData(const TFieldDef& def, const storage::TFieldDescriptor& descriptor);
  void BindCalculated(std::uint16_t offset);
  void Unbind();
  // Bytes in the calculated-field area: a null-flag byte and the value.
  int CalculatedSize() const;

  // The value held in an image laid out by layout_.
  TVariant ReadValue(const storage::TRecordImage& image) const;
  // Stores the value (null clears); a text converts as the field's type.
  void StoreValue(const TVariant& value, storage::TRecordImage& image) const;
  void StoreText(const std::string& text, storage::TRecordImage& image) const;
  void WriteValue(const TVariant& value);

  TVoraDataSet* dataset_ = nullptr;
  std::string field_name_;
  TFieldKind kind_ = TFieldKind::fkData;
  TFieldType data_type_ = TFieldType::ftUnknown;
  int size_ = 0;
  bool required_ = false;
  bool read_only_ = false;
  std::string display_label_;
  int field_no_ = 0;
  storage::TFieldDescriptor descriptor_;
  storage::TFieldLayout layout_;
  bool bound_ = false;
};

}  // namespace telvora::dataset
