#pragma once
// ValidateRecord: the checks a record passes before it is inserted or
// written back: required fields, minimum and maximum values.
//
// Fields are checked in order; the first failure raises, with the field's
// name and the table's name: 9732 a required field is null, 9730 a value
// below the field's minimum, 9731 above its maximum. Bounds are converted to
// the field's type like default values; strings compare under the table's
// locale with case, dates, times and timestamps as points in time, numbers
// numerically, BCD as fixed-point ten-thousandths. A null value takes part
// in the range checks as the zero value of its type (the empty string for
// strings). Only string, date, time, timestamp, the integer types, float and
// BCD fields have ranges.
//
// Pure functions over the caller's buffer; any thread.
#include <cstdint>
#include <span>
#include <string>

#include "engine/locale.h"
#include "storage/field_descriptor.h"

namespace telvora::engine {

// Whether some field has a required flag, a minimum or a maximum (without
// one, ValidateRecord has nothing to do).
bool HasValidityChecks(std::span<const storage::TFieldDescriptor> fields);

// REQUIRES: record is the table's record size and fields its checked
// descriptors.
void ValidateRecord(std::span<const storage::TFieldDescriptor> fields, const Locale& locale,
                    std::span<const std::uint8_t> record, const std::string& table_name);

}  // namespace telvora::engine
