#include "app/persian_translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace telvora::app {

bool InstallPersianTranslation(QCoreApplication& app, const QString& folder) {
  const QString where = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
  auto* translator = new QTranslator(&app);
  if (!translator->load(kQtPersianTranslation, where)) {
    delete translator;
    return false;
  }
  QCoreApplication::installTranslator(translator);
  return true;
}

}  // namespace telvora::app
