// telvora: the phone book. Creates the application object, then the main
// window, the data module and the two dialogs in that order, shows the main
// window (which opens the PhoneBook table of the program's folder) and runs
// until the main window is closed.
//
// Without a display the windows are served over VNC on the loopback address
// (or drawn offscreen into a PNG file); see headless_display.h.
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/application.h"
#include "app/form1.h"
#include "app/headless_display.h"
#include "app/phone_book_windows.h"

namespace {

std::string ScreenshotPath() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  const std::filesystem::path folder = error ? std::filesystem::current_path() : program.parent_path().parent_path();
  return (folder / "screenshots" / "telvora.png").string();
}

}  // namespace

int main(int argc, char** argv) {
  namespace app = telvora::app;
  const app::THeadlessPlan plan = app::PrepareHeadlessDisplay(ScreenshotPath());
  app::TApplication application(argc, argv);
  app::StartHeadlessDisplay(plan);

  int result = 0;
  {
    app::TPhoneBookWindows windows;
    app::Form1->show();
    app::ShowHeadlessWindow(plan, app::Form1);
    result = application.exec();
  }
  return result;
}
