#include "storage/table_file_names.h"

#include <cctype>

namespace telvora::storage {
namespace {

constexpr char kBlank = ' ';
constexpr char kPathSeparator = '/';

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == kBlank) text.remove_prefix(1);
  while (!text.empty() && text.back() == kBlank) text.remove_suffix(1);
  return text;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string TableFileBaseName(std::string_view table_name) {
  const std::string_view name = TrimBlanks(table_name);
  // The extension is the text from the last '.' of the last path component;
  // a component that starts with its only '.' has no extension, so the name
  // ".dat" stays a name of its own rather than becoming empty.
  const std::size_t component_start = name.rfind(kPathSeparator) == std::string_view::npos
                                          ? 0
                                          : name.rfind(kPathSeparator) + 1;
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > component_start &&
      EqualsIgnoringAsciiCase(name.substr(dot), kDataFileExtension)) {
    return std::string(name.substr(0, dot));
  }
  return std::string(name);
}

std::string TableFileName(std::string_view directory, std::string_view table_name,
                          std::string_view extension) {
  std::string path(directory);
  if (!path.empty() && path.back() != kPathSeparator) path.push_back(kPathSeparator);
  path += TableFileBaseName(table_name);
  path += extension;
  return path;
}

TableFileNames MakeTableFileNames(std::string_view directory, std::string_view table_name) {
  return TableFileNames{TableFileName(directory, table_name, kDataFileExtension),
                        TableFileName(directory, table_name, kIndexFileExtension),
                        TableFileName(directory, table_name, kBlobFileExtension)};
}

}  // namespace telvora::storage
