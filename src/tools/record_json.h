#pragma once
// Field values of a record buffer in the tools' JSON, both ways:
//
//   string, memo, formatted memo  string (UTF-8; the table's code page in
//                                 the record)
//   date                          "yyyy-mm-dd"
//   time                          "hh:mm:ss.zzz"
//   timestamp                     "yyyy-mm-dd hh:mm:ss.zzz"
//   boolean                       true / false
//   smallint, integer, word, largeint, auto-increment, float, money  number
//   bcd                           string with '.' as the decimal point
//   bytes, varbytes, other BLOBs  lower-case hex (bytes and varbytes show
//                                 their whole stored length)
//   any null field                null
//
// Going in, nothing is changed silently: a value of the wrong kind, a number
// outside its type, text longer than the field or holding a character the
// code page cannot store, a malformed date or hex string is a
// RecordValueError naming the field. The auto-increment field is the
// record id, which the table assigns: a value given for it is ignored on
// insert and refused on update (SetFieldsFromJson's `auto_inc` says which).
//
// BLOB values do not live in the record buffer: going in they are handed
// back as BlobValue, and TBlobValueWrites writes them through the cursor
// just before the record is posted.
//
// Used by one thread at a time (the cursor's).

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/data_cursor.h"
#include "engine/locale.h"
#include "storage/field_descriptor.h"

namespace telvora::tools {

class RecordValueError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The fields of a table and how its text is stored.
struct RecordFields {
  std::span<const storage::TFieldDescriptor> fields;
  engine::Locale locale;
};

// The fields of the cursor's (open) table.
RecordFields FieldsOf(engine::TDataCursor& cursor);

// The number of the field named `utf8_name` (without regard to case), 0 for
// none.
std::uint16_t FindField(const RecordFields& fields, const std::string& utf8_name);
// The field's name in UTF-8.
std::string FieldName(const RecordFields& fields, std::uint16_t number);

// {name: value, ...} in field order. BLOB values are read through the
// cursor; `record` is the cursor's record as read (its BLOB fields hold
// handles while they are read, and their references again afterwards).
nlohmann::ordered_json RecordToJson(engine::TDataCursor& cursor, std::span<std::uint8_t> record);

// The JSON value of one non-BLOB field of a record (null for a null field).
nlohmann::ordered_json FieldToJson(const RecordFields& fields, std::uint16_t number,
                                   std::span<std::uint8_t> record);

// A BLOB field's new bytes (empty: no value).
struct BlobValue {
  std::uint16_t field = 0;
  std::string bytes;
};

enum class AutoIncValue { Ignore, Refuse };

// Puts each value of the object into its field of the record buffer;
// returns the BLOB fields' values. Throws RecordValueError (the record
// buffer may then hold part of the values).
std::vector<BlobValue> SetFieldsFromJson(const RecordFields& fields, const nlohmann::json& object,
                                         std::span<std::uint8_t> record, AutoIncValue auto_inc);

// One field, as SetFieldsFromJson does it; a BLOB field's value is added to
// `blobs`.
void SetFieldFromJson(const RecordFields& fields, std::uint16_t number, const nlohmann::json& value,
                      std::span<std::uint8_t> record, std::vector<BlobValue>& blobs);

// Writes BLOB values into a record buffer through the cursor: each field is
// opened for writing and its bytes replaced, so that the next post of the
// buffer stores them; the destructor closes them again (after the post the
// field then holds the stored value's reference). Engine result codes are
// raised as engine errors.
class TBlobValueWrites {
 public:
  TBlobValueWrites(engine::TDataCursor& cursor, std::span<std::uint8_t> record, const std::vector<BlobValue>& values);
  ~TBlobValueWrites();
  TBlobValueWrites(const TBlobValueWrites&) = delete;
  TBlobValueWrites& operator=(const TBlobValueWrites&) = delete;

 private:
  engine::TDataCursor& cursor_;
  std::span<std::uint8_t> record_;
  std::vector<std::uint16_t> open_;
};

// Raises a non-zero result code of a BLOB operation as the engine error.
void RaiseBlobResult(engine::TDataCursor& cursor, std::uint16_t code);

}  // namespace telvora::tools
