#pragma once
// The engine's half of an index's key order, handed to the storage layer's
// tree code: the comparison of keys under the table's locale and the
// upper-casing of case-insensitive string keys.
//
// Storage builds keys and keeps trees but knows no locales; these adapters
// close over the index's description and the table's locale.
//
// Pure functions; the closures they return may be called from any thread.

#include "engine/key_compare.h"
#include "engine/locale.h"
#include "storage/index_key.h"
#include "storage/index_tree.h"

namespace telvora::engine {

// What the key comparison needs of a storage key definition.
KeyDescription DescribeIndexKey(const storage::TIndexKeyDefinition& definition, const Locale& locale);

// CompareKeys over the description, for TIndexTree.
storage::KeyComparator MakeKeyComparator(KeyDescription description);

// Upper-casing in place under the locale (United States English for a table
// without one), for BuildKey.
storage::KeyUpperCase MakeKeyUpperCase(const Locale& locale);

}  // namespace telvora::engine
