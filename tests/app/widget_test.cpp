// The real windows offscreen: the whole road once on the real driver and the emulated printer,
// then what the widgets decide themselves.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QWindow>

#include "driver_gateway.hpp"
#include "flow_fixture.hpp"
#include "ui/message_boxes.hpp"
#include "ui/program.hpp"

namespace taurasw {
namespace {

struct SeenBox {
  QString caption;
  QString text;
  QMessageBox::Icon icon;
  QStringList buttons;
};

// Answers every modal window as an operator would: questions from the script (Yes when it
// runs dry), OK otherwise; the read-out view is read and closed.
class Operator {
 public:
  Operator() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
    timer_.start(10);
  }
  std::deque<bool> answers;
  std::vector<SeenBox> boxes;
  QStringList readOut;
  QString readOutCaption;

 private:
  void Look() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      SeenBox seen{box->windowHandle()->title(), box->text(), box->icon(), {}};
      for (QAbstractButton* button : box->buttons()) seen.buttons << button->text();
      boxes.push_back(seen);
      const bool yes = answers.empty() || answers.front();
      if (!answers.empty() && box->button(QMessageBox::Yes)) answers.pop_front();
      for (auto button : {yes ? QMessageBox::Yes : QMessageBox::No, QMessageBox::Ok})
        if (box->button(button)) box->button(button)->click();
    } else if (auto* view = dynamic_cast<TfOdczytStawek*>(modal)) {
      readOutCaption = view->windowHandle()->title();
      readOut.clear();
      for (QLabel* label : view->labels)
        if (label->isVisibleTo(view)) readOut << label->text();
      view->Button1->click();
    }
  }
  QTimer timer_;
};

class Windows : public ::testing::Test {
 protected:
  // The dialog shown and its first activation done.
  void StartProgram(const CommandLine& line = {}) {
    program_ = std::make_unique<TauraProgram>(gateway_);
    program_->onEnd = [this] { ++ends_; };
    program_->Start(line);
    ASSERT_TRUE(QTest::qWaitFor([this] {
      return program_->Dialog().isVisible() && !program_->Flows().state.FirstActivation;
    }));
  }

  // "Zatwierdź" on the dialog; the editor once it is up.
  TfStawkiPodatkowe& Confirm() {
    QTest::mouseClick(program_->Dialog().Button1, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([this] { return program_->Editor().isVisible(); }));
    return program_->Editor();
  }
  // "Tak" on the editor, answered until the read-out has been shown.
  static bool Write(TfStawkiPodatkowe& editor, const Operator& person) {
    QTest::mouseClick(editor.Button1, Qt::LeftButton);
    return QTest::qWaitFor([&] { return !editor.Busy() && !person.readOut.isEmpty(); });
  }

  // Torn down in reverse: the program first, then the gateway it uses, then the printers.
  testing::EmulatedMachine machine_;
  DriverGateway gateway_;
  std::unique_ptr<TauraProgram> program_;
  int ends_ = 0;
};

void Select(QLineEdit* field) {
  field->setFocus();
  field->selectAll();
}

TEST_F(Windows, TheWholeRoadThroughTheRealWindowsAndTheRealDriver) {
  kestra::emu::PrinterConfig config;
  config.deviceType = 7;
  config.receiptCounter = 2;
  kestra::emu::PtyServer& emulator = machine_.Plug(1, config);
  Operator person;
  StartProgram();
  TKomunikacja& dialog = program_->Dialog();
  ASSERT_GE(dialog.cbNumerPortu->count(), 1);
  EXPECT_EQ(dialog.cbNumerPortu->itemText(0), "COM1");
  EXPECT_EQ(dialog.cbNumerPortu->itemData(0, Qt::ToolTipRole).toString(),
            QString::fromStdString(machine_.Device(1)));
  EXPECT_EQ(dialog.speedItems[0]->text(), "  9600 b/s");
  // A stretched radio button takes clicks only on its indicator and text.
  QRadioButton* radio = dialog.speedItems[1];
  QStyleOptionButton option;
  option.initFrom(radio);
  const QRect indicator =
      radio->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, radio);
  QTest::mouseClick(radio, Qt::LeftButton, {}, indicator.center());
  EXPECT_TRUE(dialog.speedItems[1]->isChecked());
  EXPECT_EQ(program_->Flows().dialog.controls.speedIndex, 1);
  TfStawkiPodatkowe& editor = Confirm();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(program_->Flows().state.SelectedSpeed, 19200);
  EXPECT_EQ(editor.sb->currentMessage(), "DRUKARKA KESTRA LUNO");
  EXPECT_EQ(editor.me[0]->text(), "22");  // the proposal for an unprogrammed printer
  EXPECT_TRUE(editor.cbR[3]->isChecked());
  EXPECT_FALSE(editor.me[3]->isVisibleTo(&editor));
  EXPECT_TRUE(editor.cbZ[6]->isChecked());
  Select(editor.me[1]);
  QTest::keyClicks(editor.me[1], "8");
  ASSERT_TRUE(Write(editor, person));
  ASSERT_EQ(person.boxes.size(), 1u);
  EXPECT_EQ(person.boxes[0].text,
            "  Licznik paragonów jest różny od 0  \nCzy wykonać raport dobowy?");
  EXPECT_TRUE(person.boxes[0].buttons.contains("&Tak"));
  EXPECT_EQ(person.readOut,
            (QStringList{"Stawka PTU A : 22 %", "Stawka PTU B : 8 %", "Stawka PTU C : 0 %",
                         "Stawka PTU D : REZERWA", "Stawka PTU E : REZERWA",
                         "Stawka PTU F : REZERWA", "Stawka PTU G : ZWOLNIONA"}));
  EXPECT_EQ(emulator.WithPrinter([](auto& printer) { return printer.Memory().Rates()[1]; }), 800);
  EXPECT_TRUE(editor.isVisible()) << "the editor stays open after a write";
  EXPECT_TRUE(editor.Button1->isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "busy cursor left behind";
  EXPECT_EQ(ends_, 0);
  QTest::mouseClick(editor.Button2, Qt::LeftButton);
  EXPECT_EQ(ends_, 1);
  EXPECT_FALSE(editor.isVisible());
}

TEST_F(Windows, ACommandLinePortIsChosenWithItsDeviceAndEscapeEndsTheProgram) {
  for (const uint8_t port : {uint8_t{1}, uint8_t{2}, uint8_t{33}}) machine_.Plug(port, {});
  const auto device = [this](uint8_t port) {
    return QString::fromStdString(machine_.Device(port));
  };
  StartProgram(ParseCommandLine({"COM33", "28800"}));
  TKomunikacja& dialog = program_->Dialog();
  EXPECT_EQ(dialog.cbNumerPortu->currentText(), "COM33");
  EXPECT_TRUE(dialog.speedItems[2]->isChecked());
  EXPECT_TRUE(dialog.Button1->isEnabled());
  EXPECT_GT(machine_.Heard(33), 0u) << "identified at once";
  EXPECT_EQ(machine_.Speed(33), 28800u);
  // Each entry names its device; the closed list names the chosen one's.
  EXPECT_EQ(dialog.cbNumerPortu->itemData(1, Qt::ToolTipRole).toString(), device(2));
  EXPECT_EQ(dialog.cbNumerPortu->toolTip(), device(33));
  dialog.cbNumerPortu->setCurrentIndex(0);
  EXPECT_EQ(dialog.cbNumerPortu->toolTip(), device(1));
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_EQ(ends_, 1);
}

// The captions are the program's fixed texts, whole and alone (trailing blanks included).
using Captions = Windows;

TEST_F(Captions, MessageBoxesSpeakPolishWithTheirCaptionsAndIcons) {
  Operator person;
  person.answers = {false};
  const std::tuple<BoxKind, QString, bool, QString, QMessageBox::Icon, QString> cases[] = {
      {BoxKind::WarningQuestion, "a\rb", false, "Odpowiedz", QMessageBox::Warning, "a\nb"},
      {BoxKind::Question, "c", true, "Odpowiedz", QMessageBox::Question, "c"},
      {BoxKind::Error, "d\r\ne", false, "Błąd", QMessageBox::Critical, "d\ne"},
      {BoxKind::Information, "f", false, "Informacja", QMessageBox::Information, "f"},
      {BoxKind::OrderError, "g", false, "Błąd", QMessageBox::Information, "g"},
  };
  for (const auto& [kind, text, answer, caption, icon, shown] : cases) {
    EXPECT_EQ(ShowMessageBox(kind, text), answer) << text.toStdString();
    ASSERT_FALSE(person.boxes.empty());
    const SeenBox& box = person.boxes.back();
    EXPECT_EQ(std::tuple(box.caption, box.icon, box.text), std::tuple(caption, icon, shown));
  }
  EXPECT_EQ(person.boxes.size(), 5u);
  EXPECT_TRUE(person.boxes[0].buttons.contains("&Nie"));
}

// On the way, what the editor's fields and boxes do themselves.
TEST_F(Captions, EveryWindowShowsExactlyItsText) {
  kestra::emu::PtyServer& printer = machine_.Plug(1, {});
  Operator person;
  StartProgram();
  TKomunikacja& dialog = program_->Dialog();
  EXPECT_EQ(dialog.windowHandle()->title(), "Ustaw parametry komunikacji");
  TfStawkiPodatkowe& editor = Confirm();
  EXPECT_EQ(editor.windowHandle()->title(), "Stawki podatkowe");
  // The mask takes digits only, and an empty field becomes zero when left.
  QApplication::setActiveWindow(&editor);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
  Select(editor.me[0]);
  QTest::keyClicks(editor.me[0], "a2x");
  EXPECT_EQ(editor.me[0]->text(), "2");
  Select(editor.me[1]);
  QTest::keyClick(editor.me[1], Qt::Key_Delete);
  EXPECT_EQ(editor.me[1]->text(), "");
  QTest::keyClick(editor.me[1], Qt::Key_Tab);
  EXPECT_FALSE(editor.me[1]->hasFocus());
  EXPECT_EQ(editor.me[1]->text(), "0");
  EXPECT_TRUE(person.boxes.empty());
  // Ticking a box hides the field; the write goes on without it.
  QTest::mouseClick(editor.cbR[2], Qt::LeftButton, {}, QPoint(4, editor.cbR[2]->height() / 2));
  EXPECT_TRUE(editor.cbR[2]->isChecked());
  EXPECT_FALSE(editor.me[2]->isVisibleTo(&editor));
  ASSERT_TRUE(Write(editor, person));
  EXPECT_EQ(person.readOutCaption, "Stawki podatkowe z drukarki fiskalnej ");
  EXPECT_EQ(
      printer.WithPrinter([](auto& p) { return p.Memory().Rates(); }),
      (kestra::emu::RateTable{200, 0, testing::R, testing::R, testing::R, testing::R, testing::Z}));
  QTest::mouseClick(editor.Button2, Qt::LeftButton);
  EXPECT_EQ(ends_, 1);
  // Qt appends a display name, once one is set, to every caption: the program leaves none.
  const QString name = QCoreApplication::applicationName();
  EXPECT_EQ(name, "TauraSW");
  QCoreApplication::setApplicationName(QStringLiteral("probe"));
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), "probe");
  QCoreApplication::setApplicationName(name);
}

}  // namespace
}  // namespace taurasw

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  taurasw::SetProgramIdentity();
  QTranslator polish;
  if (polish.load(QStringLiteral("qtbase_pl"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&polish);
  return RUN_ALL_TESTS();
}
