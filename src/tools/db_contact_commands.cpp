#include "tools/db_contact_commands.h"

#include <unistd.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "tools/component_table.h"
#include "tools/contact_csv.h"
#include "tools/contact_format_error.h"
#include "tools/contact_table_io.h"
#include "tools/contact_vcard.h"

namespace telvora::tools {
namespace {

enum class ContactFormat { kCsv, kVcard };

ContactFormat ParseFormat(const std::string& text) {
  if (text == "csv") return ContactFormat::kCsv;
  if (text == "vcard") return ContactFormat::kVcard;
  throw UsageError("--format must be csv or vcard, not '" + text + "'");
}

bool EndsWith(const std::string& text, const std::string& end) {
  if (text.size() < end.size()) return false;
  for (std::size_t i = 0; i < end.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[text.size() - end.size() + i])) != end[i]) return false;
  }
  return true;
}

// Without --format: the file's extension, else whether it starts as a
// vCard does.
ContactFormat GuessFormat(const std::string& path, const std::string& text) {
  if (EndsWith(path, ".csv")) return ContactFormat::kCsv;
  if (EndsWith(path, ".vcf") || EndsWith(path, ".vcard")) return ContactFormat::kVcard;
  std::size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  return EndsWith(text.substr(start, 11), "begin:vcard") ? ContactFormat::kVcard : ContactFormat::kCsv;
}

std::string ReadWholeFile(const std::string& path) {
  if (path == "-") return std::string(std::istreambuf_iterator<char>(std::cin), {});
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read '" + path + "'");
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// Long imports show how far they are, on a terminal only: scripts reading
// stderr see nothing but the one-line error.
ImportProgress TerminalProgress(std::size_t total) {
  if (total < 1000 || isatty(STDERR_FILENO) == 0) return {};
  return [step = total / 100](std::size_t done, std::size_t all) {
    if (done % step == 0 || done == all) {
      std::cerr << "\rtelvora-db: imported " << done << " of " << all << (done == all ? "\n" : "") << std::flush;
    }
  };
}

int RunImport(const std::vector<std::string>& args, std::ostream& out) {
  CommandLine line(args, {"format", "password"}, {"strict"});
  line.ExpectPositional(2, "TABLE and FILE");
  const TableArgument table_argument = ParseTableArgument(line.positional()[0]);
  const std::string& path = line.positional()[1];
  const std::string text = ReadWholeFile(path);
  const std::optional<std::string> format_option = line.Value("format");
  const ContactFormat format = format_option ? ParseFormat(*format_option) : GuessFormat(path, text);

  // A file that cannot be read is refused before the table is opened.
  std::vector<SourcedContact> contacts;
  try {
    contacts = format == ContactFormat::kCsv ? ReadContactsCsv(text) : ReadContactsVcard(text);
  } catch (const ContactFormatError& e) {
    throw std::runtime_error("'" + path + "' " + e.what() + "; nothing imported");
  }

  ComponentTable opened(table_argument, line.Value("password").value_or(""));
  ImportReport report;
  std::size_t count = 0;
  try {
    count = ImportContacts(opened.table(), contacts, format == ContactFormat::kCsv ? "line" : "card",
                           line.Has("strict"), report, TerminalProgress(contacts.size()));
  } catch (const StrictImportRefused&) {
    for (const std::string& l : report.lines) out << l << "\n";
    throw;
  }
  for (const std::string& l : report.lines) out << l << "\n";
  out << "imported " << count << " contact(s)\n";
  return kExitSuccess;
}

int RunExport(const std::vector<std::string>& args, std::ostream& out) {
  CommandLine line(args, {"format", "out", "password"}, {});
  line.ExpectPositional(1, "one TABLE");
  const ContactFormat format = ParseFormat(line.Require("format"));
  ComponentTable opened(ParseTableArgument(line.positional()[0]), line.Value("password").value_or(""));
  const std::vector<Contact> contacts = ExportContacts(opened.table());
  const std::string text = format == ContactFormat::kCsv ? WriteContactsCsv(contacts) : WriteContactsVcard(contacts);
  const std::optional<std::string> out_path = line.Value("out");
  if (!out_path) {
    out << text;
    return kExitSuccess;
  }
  // Written beside the target first, so that a failed write never leaves
  // half a file under the name asked for.
  const std::string partial = *out_path + ".part";
  {
    std::ofstream file(partial, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) throw std::runtime_error("cannot write '" + partial + "'");
  }
  if (std::rename(partial.c_str(), out_path->c_str()) != 0) {
    std::remove(partial.c_str());
    throw std::runtime_error("cannot write '" + *out_path + "'");
  }
  return kExitSuccess;
}

}  // namespace

DbCommand ImportCommand() {
  return DbCommand{
      "import", "TABLE FILE [--format csv|vcard] [--strict] [--password P]",
      "Import contacts from a CSV or vCard file, all or nothing.",
      "FILE (- for standard input) is CSV with a header row naming Name, Family, Tel1, Tel2, Mobile\n"
      "and Address, or vCards (2.1, 3.0, 4.0); without --format the extension (.csv, .vcf) or the\n"
      "text decides. Each value is made to fit its field and code page 1256; every value cut or\n"
      "replaced is reported on a line of its own. With --strict any such change refuses the whole\n"
      "import. The contacts are added in one transaction: a failure leaves the table unchanged.",
      RunImport};
}

DbCommand ExportCommand() {
  return DbCommand{"export", "TABLE --format csv|vcard [--out FILE] [--password P]",
                   "Export the table's contacts as CSV or vCard 3.0.",
                   "Writes to standard output, or to FILE (replaced only when the whole export is written).\n"
                   "CSV has a header row and RFC 4180 quoting; both are UTF-8.",
                   RunExport};
}

}  // namespace telvora::tools
