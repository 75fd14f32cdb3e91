#pragma once
// The JSON schema `telvora-db create` reads, turned into the engine's
// description of a new table:
//
//   {"language": 0, "sort": 0, "description": "", "blobBlockSize": 512,
//    "password": null,
//    "fields": [{"name", "type", "size", "decimals", "required", "min",
//                "max", "default", "case"}],
//    "primaryIndex": {"fields": [names], "descending", "caseInsensitive",
//                     "compression"} or null,
//    "indexes": [{"name", "fields", "unique", "descending",
//                 "caseInsensitive", "compression"}],
//    "textIndexFields": [names]}
//
// `type` is a stored type's name (string date blob boolean smallint integer
// float bcd bytes time timestamp word varbytes largeint) or one of autoinc,
// money, memo, graphic (their type and subtype). Missing keys take the
// engine's defaults. Only the form is checked here (a SchemaError names
// the key); what the engine checks (names, sizes, key lengths, value texts,
// locales...) is left to it, so that each refusal comes with the engine's
// own code: a field name that names no field becomes a field number the
// engine refuses, an oversized size one it refuses as oversized.
//
// Pure functions; any thread.

#include <stdexcept>

#include <nlohmann/json.hpp>

#include "engine/table_creation_checks.h"

namespace telvora::tools {

class SchemaError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

engine::TTableDescription TableDescriptionFromSchema(const nlohmann::json& schema);

}  // namespace telvora::tools
