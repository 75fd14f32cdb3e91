#include "app/application.h"

#include <stdexcept>
#include <string>

#include <QWidget>

#include "app/message_box.h"
#include "app/persian_translation.h"
#include "app/vora_password_dialog.h"
#include "dataset/application_error_handler.h"
#include "dataset/vora_session.h"
#include "dataset/vora_session_list.h"
#include "telephony/exception_handler.h"
#include "telephony/screen_cursor.h"

namespace telvora::app {

namespace {

constexpr char kUnknownException[] = "An unknown error occurred.";

}  // namespace

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv),
      font_source_(InstallWindowFont()),
      persian_translation_(InstallPersianTranslation(*this)),
      keyboard_(std::make_unique<TPersianKeyboard>()) {
  setApplicationName(kApplicationTitle);
  setFont(WindowFont());
  // After the translation: Qt's Persian catalogue sets the direction too,
  // but the windows are right-to-left whether or not it was found.
  setLayoutDirection(Qt::RightToLeft);
  telephony::SetApplicationExceptionHandler([this](std::exception_ptr e) { HandleException(e); });
  // An error the dataset layer cannot let through (a record filter's) is
  // shown like any other.
  dataset::SetApplicationErrorHandler([this](const std::exception& error) {
    HandleException(std::make_exception_ptr(std::runtime_error(error.what())));
  });
  // An encrypted table whose password the session lacks asks the user.
  dataset::TVoraSessionList::Instance().SetPasswordDialog([](dataset::TVoraSession& session) {
    return ExecutePasswordDialog({
        [&session](const std::string& password) { session.AddPassword(password); },
        [&session](const std::string& password) { session.RemovePassword(password); },
        [&session] { session.RemoveAllPasswords(); },
    });
  });
  telephony::SetScreenCursorHandler([](bool busy) {
    if (busy) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
      QApplication::restoreOverrideCursor();
    }
  });
}

TApplication::~TApplication() {
  dataset::TVoraSessionList::Instance().SetPasswordDialog({});
  dataset::SetApplicationErrorHandler({});
  telephony::SetScreenCursorHandler({});
  telephony::SetApplicationExceptionHandler({});
  keyboard_.reset();
}

TApplication* TApplication::Instance() { return dynamic_cast<TApplication*>(QCoreApplication::instance()); }

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    HandleException(std::current_exception());
    return false;
  }
}

void TApplication::HandleException(std::exception_ptr exception) {
  std::string message;
  try {
    std::rethrow_exception(exception);
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    message = kUnknownException;
  }
  ShowErrorMessage(activeWindow(), message);
}

}  // namespace telvora::app
