// telvora-phone: the telephony command line (see tools/phone_command.h).

#include <QCoreApplication>

#include <iostream>

#include "tools/phone_command.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  return telvora::tools::RunPhoneCommand(argc, argv, std::cout, std::cerr);
}
