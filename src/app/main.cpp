// Until the main window exists, the program shows the parts of the phone
// book that are built: the window font and Qt's Persian texts, the number
// selection dialog (for a contact without numbers, with the telephone line
// left inactive) and the headless display handling. It also proves that the
// stack below works: an engine error message and a collation.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "app/application.h"
#include "app/call_wait.h"
#include "app/current_contact_numbers.h"
#include "app/headless_display.h"
#include "app/select_number_form.h"
#include "platform/national_language.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"
#include "telephony/tel_phone.h"

namespace {

// No table yet: the current contact has no numbers.
class NoContact : public telvora::app::TCurrentContactNumbers {
 public:
  std::optional<std::string> FieldValue(std::string_view) const override { return std::nullopt; }
};

std::string ScreenshotPath() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  const std::filesystem::path folder = error ? std::filesystem::current_path() : program.parent_path().parent_path();
  return (folder / "screenshots" / "telvora.png").string();
}

void ShowStack() {
  try {
    telvora::storage::RaiseEngineError(telvora::storage::VORA_OSENOENT, {.table = "PhoneBook"});
  } catch (const telvora::storage::EVoraEngineError& e) {
    std::puts(e.what());
  }
  // "Mohammad" in code page 1256, without and with its vowel marks, under Farsi (0x0429).
  namespace nls = telvora::platform;
  const int farsi = nls::CompareStringA(0x0429, nls::kSortStringSort | nls::kNormIgnoreNonSpace,
                                        "\xE3\xCD\xE3\xCF", -1, "\xE3\xF5\xCD\xF3\xE3\xF8\xCF", -1);
  std::printf("Farsi collation: a name with and without vowel marks compares %s.\n",
              farsi == nls::kCompareEqual ? "equal" : "different");
}

}  // namespace

int main(int argc, char** argv) {
  namespace app = telvora::app;
  const app::THeadlessPlan plan = app::PrepareHeadlessDisplay(ScreenshotPath());
  app::TApplication application(argc, argv);
  app::StartHeadlessDisplay(plan);

  std::puts("Telvora: the main window is not built yet; showing the number selection dialog.");
  ShowStack();
  std::printf("Window font: %s; Qt's Persian translation: %s.\n",
              application.FontSource() == app::TWindowFontSource::wfTahoma ? "Tahoma (fonts-wine)"
                                                                            : "DejaVu Sans in place of Tahoma",
              application.PersianTranslation() ? "installed" : "missing");
  std::fflush(stdout);

  telvora::telephony::TelPhone phone(nullptr);
  NoContact contact;
  app::TCallWait call_wait(nullptr, phone);
  app::TSelectNumberForm select_number(nullptr, phone, contact, call_wait);
  select_number.show();
  app::ShowHeadlessWindow(plan, &select_number);
  return application.exec();
}
