#include "command_line.hpp"

namespace taurasw {

CommandLine ParseCommandLine(const QStringList& arguments) {
  CommandLine line;
  bool portSeen = false;
  bool speedSeen = false;
  for (const QString& argument : arguments) {
    if (argument.startsWith(QLatin1String("--"))) {
      if (argument == QLatin1String("--help")) {
        line.help = true;
      } else if (argument == QLatin1String("--emulator")) {
        line.emulator = true;
      } else if (argument.startsWith(QLatin1String("--emulator="))) {
        line.emulator = true;
        line.emulatorModel = argument.mid(11);
      } else if (argument.startsWith(QLatin1String("--screenshots="))) {
        line.screenshotDir = argument.mid(14);
      } else {
        line.ignored << argument;
      }
      continue;
    }
    if (argument == QLatin1String("-h")) {
      line.help = true;
      continue;
    }
    // The first match of each kind counts.
    if (!portSeen && argument.size() == 4 &&
        argument.left(3).compare(QLatin1String("COM"), Qt::CaseInsensitive) == 0 &&
        argument[3] >= QChar('1') && argument[3] <= QChar('9')) {
      line.port = static_cast<uint8_t>(argument[3].unicode() - '0');
      portSeen = true;
    }
    if (!speedSeen && (argument == QLatin1String("9600") || argument == QLatin1String("19200") ||
                       argument == QLatin1String("28800"))) {
      line.speed = static_cast<uint16_t>(argument.toUInt());
      speedSeen = true;
    }
  }
  return line;
}

QString UsageText() {
  return QStringLiteral(
      "Użycie: TauraSW [COMn] [9600|19200|28800] [--emulator[=MODEL]] [--screenshots=KATALOG]\n"
      "               [--help]\n"
      "\n"
      "Programuje stawki podatkowe (PTU) drukarki fiskalnej KESTRA.\n"
      "\n"
      "  COM1..COM9        port, z którym program łączy się od razu\n"
      "  9600|19200|28800  szybkość transmisji\n"
      "  --emulator[=MODEL]\n"
      "                    pokaz bez drukarki: program uruchamia emulator drukarki\n"
      "                    na pseudoterminalu, przypisuje mu wolny port COM i go wybiera;\n"
      "                    MODEL to nazwa lub kod typu urządzenia (domyślnie drukarka\n"
      "                    7-stawkowa bez zaprogramowanych stawek)\n"
      "  --screenshots=KATALOG\n"
      "                    przechodzi sam przez wszystkie okna (z --emulator) i zapisuje\n"
      "                    obraz każdego do KATALOGU, po czym kończy pracę\n"
      "  --help            ten opis\n"
      "\n"
      "Bez ekranu: xvfb-run -a TauraSW --emulator, albo QT_QPA_PLATFORM=offscreen.\n"
      "Na Linuksie port COMn to ścieżka ze zmiennej TAURAVAT_COM<n>, gdy jest ustawiona.\n");
}

}  // namespace taurasw
