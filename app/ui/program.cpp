#include "program.hpp"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLocale>
#include <QScreen>

namespace taurasw {
namespace {

void CentreOnScreen(QWidget& window) {
  window.adjustSize();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
  }
}

void CentreOn(QWidget& window, const QWidget& owner) {
  window.adjustSize();
  QRect frame = window.frameGeometry();
  frame.moveCenter(owner.frameGeometry().center());
  window.move(frame.topLeft());
}

}  // namespace

void SetProgramIdentity() {
  QCoreApplication::setApplicationName(QStringLiteral("TauraSW"));
}

TauraProgram::TauraProgram(PrinterGateway& printer)
    : printer_(printer), main_(std::make_unique<TGlowneOkno>()), ui_(*main_), flows_(printer, ui_) {
  flows_.state.DecimalSeparator = QLocale::system().decimalPoint().at(0);
  onEnd = [] { QCoreApplication::exit(0); };

  dialog_ = std::make_unique<TKomunikacja>(flows_.dialog);
  editor_ = std::make_unique<TfStawkiPodatkowe>(flows_.editor);
  readOut_ = std::make_unique<TfOdczytStawek>();

  dialog_->onShowEditor = [this] { ShowEditor(); };
  dialog_->onEndProgram = [this] { End(); };
  editor_->onEndProgram = [this] { End(); };
  readOut_->onClose = [this] { main_->ShowCentreMessage(QString()); };
  main_->SetReadOut([this] { flows_.readOut.Odczyt1Click(); });

  ui_.onBusy = [this](bool busy) {
    dialog_->SetBusy(busy);
    editor_->SetBusy(busy);
  };
  ui_.hideDialog = [this] { dialog_->hide(); };
  ui_.showReadOut = [this](const taurasw::ReadOutView& view) {
    readOut_->Fill(view);
    CentreOn(*readOut_, *editor_);
    readOut_->exec();
  };

  printer_.InstallCallbacks([this](const QString& text) { main_->ShowCentreMessage(text); },
                            [this] { main_->Processmessages(); });
}

TauraProgram::~TauraProgram() {
  printer_.InstallCallbacks({}, {});
}

void TauraProgram::Start(const CommandLine& line) {
  flows_.state.SelectedPort = line.port;
  flows_.state.SelectedSpeed = line.speed;
  CentreOnScreen(*dialog_);
  dialog_->show();
}

void TauraProgram::ShowEditor() {
  editor_->Refresh();
  CentreOnScreen(*editor_);
  editor_->setWindowModality(Qt::ApplicationModal);
  editor_->show();
}

void TauraProgram::End() {
  if (ended_) return;
  ended_ = true;
  main_->ShowCentreMessage(QString());
  if (onEnd) onEnd();
}

}  // namespace taurasw
