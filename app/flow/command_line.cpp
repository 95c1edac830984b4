#include "command_line.hpp"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QRegularExpression>
#include <optional>

#include "app_state.hpp"

namespace taurasw {
namespace {

std::optional<uint8_t> PortOf(const QString& word) {
  static const QRegularExpression kPort(QStringLiteral("^COM([0-9]{1,3})$"),
                                        QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch match = kPort.match(word);
  if (!match.hasMatch()) return std::nullopt;
  const int port = match.captured(1).toInt();
  if (port < 1 || port > kHighestComPort) return std::nullopt;
  return static_cast<uint8_t>(port);
}

std::optional<uint16_t> SpeedOf(const QString& word) {
  if (word == QLatin1String("9600") || word == QLatin1String("19200") ||
      word == QLatin1String("28800"))
    return static_cast<uint16_t>(word.toUInt());
  return std::nullopt;
}

QString OptionText(const QString& name) {
  return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
  const QCommandLineOption emulator(QStringLiteral("emulator"), QString(), QStringLiteral("MODEL"));
  const QCommandLineOption screenshots(QStringLiteral("screenshots"), QString(),
                                       QStringLiteral("DIR"));
  parser.addOptions({help, version, emulator, screenshots});

  // The parser knows no optional values: a bare --emulator is the one with the default
  // model, and must not swallow the word after it (a port, say) as its model.
  QStringList words{QStringLiteral("TauraSW")};
  for (const QString& argument : arguments)
    words << (argument == QLatin1String("--emulator") ? QStringLiteral("--emulator=") : argument);

  CommandLine line;
  if (!parser.parse(words)) {
    const QStringList unknown = parser.unknownOptionNames();
    line.error = unknown.isEmpty()
                     ? parser.errorText()
                     : QStringLiteral("nieznana opcja: ") + OptionText(unknown.first());
    return line;
  }
  line.help = parser.isSet(help);
  line.version = parser.isSet(version);
  line.emulator = parser.isSet(emulator);
  line.emulatorModel = parser.value(emulator);
  line.screenshotDir = parser.value(screenshots);

  bool portSeen = false;
  bool speedSeen = false;
  for (const QString& word : parser.positionalArguments()) {
    if (const auto port = PortOf(word); port && !portSeen) {
      line.port = *port;
      portSeen = true;
    } else if (const auto speed = SpeedOf(word); speed && !speedSeen) {
      line.speed = *speed;
      speedSeen = true;
    } else {
      line.ignored << word;
    }
  }
  return line;
}

QString UsageText() {
  return QStringLiteral(
             "Użycie: TauraSW [COMn] [9600|19200|28800] [--emulator[=MODEL]] "
             "[--screenshots=KATALOG]\n"
             "               [-h|--help] [-v|--version]\n"
             "\n"
             "Programuje stawki podatkowe (PTU) drukarki fiskalnej KESTRA.\n"
             "\n"
             "  COMn              port COM1..COM%1, z którym program łączy się od razu\n"
             "  9600|19200|28800  szybkość transmisji\n"
             "  --emulator[=MODEL]\n"
             "                    pokaz bez drukarki: program uruchamia emulator drukarki\n"
             "                    na pseudoterminalu, przypisuje mu wolny port COM i go wybiera;\n"
             "                    MODEL to nazwa lub kod typu urządzenia (domyślnie drukarka\n"
             "                    7-stawkowa bez zaprogramowanych stawek)\n"
             "  --screenshots=KATALOG\n"
             "                    przechodzi sam przez wszystkie okna (z --emulator) i zapisuje\n"
             "                    obraz każdego do KATALOGU, po czym kończy pracę\n"
             "  -h, --help        ten opis\n"
             "  -v, --version     wersja programu\n"
             "\n"
             "Na Linuksie port COMn otwiera urządzenie ze zmiennej TAURAVAT_COM<n>, a bez niej\n"
             "to z domyślnego przypisania (np. COM33 to /dev/ttyUSB0); lista portów pokazuje\n"
             "je w podpowiedzi przy każdym porcie.\n"
             "Bez ekranu: xvfb-run -a TauraSW --emulator, albo QT_QPA_PLATFORM=offscreen.\n")
      .arg(kHighestComPort);
}

QString VersionText() {
  return QStringLiteral("TauraSW " TAURASW_VERSION "\n");
}

}  // namespace taurasw
