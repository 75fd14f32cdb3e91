#pragma once
// The names of a table's three files.
//
// For a table N in a directory D the files are D + N' + ".DAT", ".IDX" and
// ".BLB", where N' is N without surrounding blanks and without an extension
// ".DAT" written in any case; any other extension stays part of the name
// (a.b gives a.b.DAT). So "PhoneBook" and " phonebook.dat " both name
// PhoneBook.DAT / phonebook.DAT and its .IDX and .BLB.
//
// Pure functions.

#include <string>
#include <string_view>

namespace telvora::storage {

inline constexpr std::string_view kDataFileExtension = ".DAT";
inline constexpr std::string_view kIndexFileExtension = ".IDX";
inline constexpr std::string_view kBlobFileExtension = ".BLB";

struct TableFileNames {
  std::string data;
  std::string index;
  std::string blob;
};

// The table name as it appears in the file names: blanks trimmed and a
// trailing ".DAT" (any case) removed.
std::string TableFileBaseName(std::string_view table_name);

// directory + base name + extension. A non-empty directory that does not end
// with '/' gets one, so "dir" and "dir/" name the same files.
std::string TableFileName(std::string_view directory, std::string_view table_name,
                          std::string_view extension);

TableFileNames MakeTableFileNames(std::string_view directory, std::string_view table_name);

}  // namespace telvora::storage
