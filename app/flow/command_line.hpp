// The program's command line: a port ("COM1".."COM9", any case) and a speed ("9600",
// "19200", "28800") in any order, plus the program's own long options.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace taurasw {

struct CommandLine {
  uint8_t port = 0;    // 0: not given
  uint16_t speed = 0;  // 0: not given
  bool help = false;
  bool emulator = false;  // --emulator[=MODEL]: serve an emulated printer in-process
  QString emulatorModel;  // empty: the emulator's default printer
  QString screenshotDir;  // --screenshots=DIR: walk through the windows, save each
  QStringList ignored;    // long options this program does not know
};

// `arguments` without the program name. Anything not understood is ignored, as the
// program has always done; unknown long options are collected so they can be named.
CommandLine ParseCommandLine(const QStringList& arguments);

QString UsageText();

}  // namespace taurasw
