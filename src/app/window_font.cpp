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
  // Full hinting keeps the small Persian glyphs crisp at this size.
  font.setHintingPreference(QFont::PreferFullHinting);
  return font;
}

}  // namespace telvora::app
