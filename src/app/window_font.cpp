#include "app/window_font.h"

#include <QFontDatabase>
#include <QStringList>

namespace telvora::app {

TWindowFontSource InstallWindowFont(const QString& regular_file, const QString& bold_file) {
  const int regular = QFontDatabase::addApplicationFont(regular_file);
  if (regular >= 0 && QFontDatabase::applicationFontFamilies(regular).contains(kWindowFontFamily)) {
    QFontDatabase::addApplicationFont(bold_file);  // bold is optional
    return TWindowFontSource::wfTahoma;
  }
  if (regular >= 0) QFontDatabase::removeApplicationFont(regular);
  QFont::insertSubstitution(kWindowFontFamily, kFallbackFontFamily);
  return TWindowFontSource::wfSubstitute;
}

QFont WindowFont() {
  QFont font(kWindowFontFamily);
  font.setPixelSize(kWindowFontPixelSize);
  // Hinted full and with sub-pixel positioning off, text widths come out
  // in whole pixels as the fixed layouts of the windows expect.
  font.setHintingPreference(QFont::PreferFullHinting);
  return font;
}

}  // namespace telvora::app
