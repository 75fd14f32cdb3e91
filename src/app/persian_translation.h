#pragma once
// Qt's own Persian translation (qtbase_fa.qm from Debian's
// qt6-translations-l10n), so that the buttons of message boxes and other
// texts Qt supplies itself read in Persian, as they did on a Persian Windows.
//
// Threads: GUI thread, after the application object exists.

#include <QString>

class QCoreApplication;

namespace telvora::app {

inline constexpr char kQtPersianTranslation[] = "qtbase_fa";

// Installs the translation found in `folder` (Qt's translations folder when
// empty). False when it is missing; Qt's English texts then stay.
bool InstallPersianTranslation(QCoreApplication& app, const QString& folder = {});

}  // namespace telvora::app
