// The program's command line: a port ("COM1" .. "COM255", any case) and a speed
// ("9600", "19200", "28800") in any order, plus the program's own options.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace taurasw {

struct CommandLine {
  uint8_t port = 0;    // 0: not given
  uint16_t speed = 0;  // 0: not given
  bool help = false;
  bool version = false;
  bool emulator = false;  // --emulator[=MODEL]: serve an emulated printer in-process
  QString emulatorModel;  // empty: the emulator's default printer
  QString screenshotDir;  // --screenshots=DIR: walk through the windows, save each
  QStringList ignored;    // words that are neither a port nor a speed, or a second one
  QString error;          // an option the program does not know or cannot use; it stops
};

// `arguments` without the program name. Of the words that are not options, the first
// port and the first speed count and the rest are ignored, as the program has always
// done; an unknown option is an error, so that a mistyped one is not silently ignored.
CommandLine ParseCommandLine(const QStringList& arguments);

QString UsageText();
QString VersionText();

}  // namespace taurasw
