// TauraSW: programs the tax (PTU) rates of a KESTRA fiscal printer.
#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>
#include <exception>
#include <memory>
#include <stdexcept>

#include "demo_printer.hpp"
#include "driver_gateway.hpp"
#include "flow/command_line.hpp"
#include "ui/program.hpp"
#include "ui/screenshot_tour.hpp"

namespace {

// Any exception that reaches the event loop goes to TGlowneOkno::AppException.
class TauraApplication : public QApplication {
 public:
  using QApplication::QApplication;
  taurasw::TGlowneOkno* mainWindow = nullptr;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      if (mainWindow != nullptr) mainWindow->AppException(receiver, e);
    } catch (...) {
      if (mainWindow != nullptr) mainWindow->AppException(receiver, std::runtime_error("?"));
    }
    return false;
  }
};

// Without a display Qt would abort with a message about platform plugins; say instead
// how to run the program on such a machine.
bool DisplayMissing() {
  return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
         qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char** argv) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  taurasw::CommandLine line = taurasw::ParseCommandLine(arguments);
  if (!line.error.isEmpty()) {
    std::fprintf(stderr, "TauraSW: %s\nTauraSW --help opisuje opcje.\n",
                 line.error.toLocal8Bit().constData());
    return 2;
  }
  if (line.help) {
    std::fputs(taurasw::UsageText().toLocal8Bit().constData(), stdout);
    return 0;
  }
  if (line.version) {
    std::fputs(taurasw::VersionText().toLocal8Bit().constData(), stdout);
    return 0;
  }
  if (DisplayMissing()) {
    std::fputs(
        "TauraSW: brak ekranu (DISPLAY). Uruchom pod Xvfb: xvfb-run -a TauraSW --emulator\n"
        "albo bez okien na ekranie: QT_QPA_PLATFORM=offscreen TauraSW ...\n",
        stderr);
    return 2;
  }

  TauraApplication app(argc, argv);
  taurasw::SetProgramIdentity();
  // The dialog hides itself while the editor takes over; the program ends when the
  // dialog or the editor is closed, not when no window happens to be visible.
  QApplication::setQuitOnLastWindowClosed(false);
  for (const QString& word : line.ignored)
    std::fprintf(stderr, "TauraSW: pominięto: %s\n", word.toLocal8Bit().constData());

  // Every other word on screen is Polish; so are the buttons of the message boxes.
  QTranslator qtPolish;
  if (qtPolish.load(QStringLiteral("qtbase_pl"),
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtPolish);

  std::unique_ptr<taurasw::DemoPrinter> demo;
  if (line.emulator) {
    QString error;
    demo = taurasw::StartDemoPrinter(line.emulatorModel, error);
    if (!demo) {
      std::fprintf(stderr, "TauraSW: %s\n", error.toLocal8Bit().constData());
      return 2;
    }
    std::fprintf(stderr, "TauraSW: emulowana drukarka %s na COM%d (%s)\n",
                 demo->Description().toLocal8Bit().constData(), demo->Port(),
                 demo->Path().toLocal8Bit().constData());
    line.port = demo->Port();
  }

  taurasw::DriverGateway gateway;
  taurasw::TauraProgram program(gateway);
  app.mainWindow = &program.MainWindow();
  // The optional animated busy cursor; without it the standard one.
  program.MainWindow().Busy().Load(QDir::current().filePath(QStringLiteral("hourglas.ani")));

  std::unique_ptr<taurasw::ScreenshotTour> tour;
  if (!line.screenshotDir.isEmpty())
    tour = std::make_unique<taurasw::ScreenshotTour>(program, line.screenshotDir);

  program.Start(line);
  const int code = QApplication::exec();
  app.mainWindow = nullptr;
  return code;
}
