// The engine's alerts, file panels, CD panel and progress panel as Qt dialogs: what
// the engine asks is what the user sees, and the user's answers reach the engine.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/platform/qt_alert.h"
#include "app_fixture.h"
#include "support/read_bytes.h"
#include "support/run_command.h"
#include "support/wait_for.h"

namespace {

using sonara::platform::answerNextDialog;

class PanelsTest : public AppFixture {
 protected:
  void TearDown() override {
    AppFixture::TearDown();
    ::unsetenv("SONARA_CD_VOLUMES");
  }
  // A disc as the desktop mounts one: a folder of "Track N.wav" files.
  void mountDisc(const std::string& label, int tracks) {
    const std::string place = dir_.file("discs");
    const std::string folder = place + "/" + label;
    std::filesystem::create_directories(folder);
    for (int n = 1; n <= tracks; ++n) {
      const std::string wav = folder + "/Track " + std::to_string(n) + ".wav";
      ASSERT_EQ(runCommand("sox -q -n -r 44100 -b 16 -c 2 '" + wav + "' synth 1 sine 440 2>&1").status, 0);
    }
    ::setenv("SONARA_CD_VOLUMES", place.c_str(), 1);
  }
  sonara::platform::QtCdPanel& cdPanel() { return ui_->qtCdPanel(); }
};

TEST_F(PanelsTest, AnAlertShowsItsButtonsInOrderAndGivesTheChosenIndex) {
  testApplication();
  QStringList shown;
  QString text;
  QString informative;
  QString default_button;
  answerNextDialog([&](QDialog& dialog) {
    auto& box = static_cast<QMessageBox&>(dialog);
    text = box.text();
    informative = box.informativeText();
    default_button = box.defaultButton()->text();
    for (auto* button : box.buttons()) shown << button->text();
    box.buttons().at(2)->click();
  });
  const int chosen = ui_->runAlert({"Replace the list?", "It has changes.", {"Save", "Don't Save", "Cancel"}});
  EXPECT_EQ(chosen, 2);
  EXPECT_EQ(text, "Replace the list?");
  EXPECT_EQ(informative, "It has changes.");
  EXPECT_EQ(default_button, "Save");
  EXPECT_EQ(shown, (QStringList{"Save", "Don't Save", "Cancel"}));

  // Escape picks Cancel.
  answerNextDialog([](QDialog& dialog) { dialog.reject(); });
  EXPECT_EQ(ui_->runAlert({"Replace the list?", " ", {"Save", "Cancel", "Don't Save"}}), 1);
}

TEST_F(PanelsTest, TheSavePromptBeforeOpeningACdComesFromTheEngineAndNoGoesOn) {
  startWithTable();
  ASSERT_EQ(Toolkit_AddDroppedFiles({track("Kept", 1.0)}), 0);
  mountDisc("Concert", 2);
  QString prompt;
  answerNextDialog([&](QDialog& dialog) {
    auto& box = static_cast<QMessageBox&>(dialog);
    prompt = box.text();
    ASSERT_EQ(box.buttons().size(), 2);
    EXPECT_EQ(box.buttons().at(0)->text(), "Yes");
    box.buttons().at(1)->click();  // No
  });
  ASSERT_EQ(Toolkit_OpenCD(), 0);
  EXPECT_EQ(prompt, "Playlist has been changed. Do you want to save?");
  ASSERT_TRUE(runUntil([&] { return cdPanel().isVisible(); }));
  // Cancel: the panel goes and the list stays as it was.
  cdPanel().cancelButton()->click();
  turn();
  EXPECT_FALSE(cdPanel().isVisible());
  EXPECT_EQ(titles(), (std::vector<std::string>{"Kept"}));
}

TEST_F(PanelsTest, OkInTheCdPanelMakesTheDiscThePlaylist) {
  mountDisc("Concert", 2);
  startWithTable();
  ASSERT_EQ(Toolkit_OpenCD(), 0);
  ASSERT_TRUE(runUntil([&] { return cdPanel().isVisible(); }));
  ASSERT_EQ(cdPanel().discBox()->count(), 1);
  EXPECT_EQ(cdPanel().discBox()->itemText(0), "Concert");
  EXPECT_EQ(cdPanel().discBox()->currentIndex(), 0);
  ASSERT_TRUE(cdPanel().okButton()->isEnabled());
  cdPanel().okButton()->click();
  turn();
  EXPECT_FALSE(cdPanel().isVisible());
  EXPECT_EQ(titles(), (std::vector<std::string>{"Track 1", "Track 2"}));
  EXPECT_EQ(column(sonara::ui::kDurationColumn), (std::vector<std::string>{"0:01", "0:01"}));
}

TEST_F(PanelsTest, ClosingTheCdPanelsWindowIsCancel) {
  mountDisc("Concert", 1);
  startWithTable();
  ASSERT_EQ(Toolkit_OpenCD(), 0);
  ASSERT_TRUE(runUntil([&] { return cdPanel().isVisible(); }));
  QCloseEvent close;
  QApplication::sendEvent(&cdPanel(), &close);
  turn();
  EXPECT_FALSE(cdPanel().isVisible());
  EXPECT_EQ(rows().rowCount(), 0);
  // Opened again, it offers the disc again.
  ASSERT_EQ(Toolkit_OpenCD(), 0);
  ASSERT_TRUE(runUntil([&] { return cdPanel().isVisible(); }));
  EXPECT_EQ(cdPanel().discBox()->itemText(0), "Concert");
  cdPanel().okButton()->click();
  turn();
  EXPECT_EQ(titles(), (std::vector<std::string>{"Track 1"}));
}

TEST_F(PanelsTest, FilesChosenInTheAddPanelAreAdded) {
  startWithTable();
  const std::string path = track("Chosen", 1.0);
  QFileDialog::FileMode mode = QFileDialog::AnyFile;
  QStringList filters;
  QString title;
  answerNextDialog([&](QDialog& dialog) {
    auto& files = static_cast<QFileDialog&>(dialog);
    mode = files.fileMode();
    filters = files.nameFilters();
    title = files.windowTitle();
    files.setDirectory(QString::fromStdString(dir_.path()));
    files.selectFile(QString::fromStdString(path));
    dialog.accept();
  });
  ASSERT_EQ(Toolkit_AddFile(), 0);
  turn();
  EXPECT_EQ(mode, QFileDialog::ExistingFiles);
  EXPECT_EQ(title, "Add file");
  ASSERT_FALSE(filters.isEmpty());
  EXPECT_TRUE(filters.front().contains("*.flac"));
  EXPECT_TRUE(filters.front().contains("*.dsf"));
  EXPECT_TRUE(filters.front().contains("*.cue"));
  EXPECT_EQ(titles(), (std::vector<std::string>{"Chosen"}));

  // Cancelled, nothing is added.
  answerNextDialog([](QDialog& dialog) { dialog.reject(); });
  ASSERT_EQ(Toolkit_AddFile(), 0);
  turn();
  EXPECT_EQ(rows().rowCount(), 1);
}

TEST_F(PanelsTest, TheSavePanelWritesThePlaylistWhereChosen) {
  startWithTable();
  const std::string path = track("Saved", 1.0);
  ASSERT_EQ(Toolkit_AddDroppedFiles({path}), 0);
  const std::string list = dir_.file("list.xml");
  QFileDialog::AcceptMode accept_mode = QFileDialog::AcceptOpen;
  QString suffix;
  answerNextDialog([&](QDialog& dialog) {
    auto& files = static_cast<QFileDialog&>(dialog);
    accept_mode = files.acceptMode();
    suffix = files.defaultSuffix();
    files.setDirectory(QString::fromStdString(dir_.path()));
    files.selectFile("list");
    dialog.accept();
  });
  ASSERT_EQ(Toolkit_SavePlaylist(), 0);
  EXPECT_EQ(accept_mode, QFileDialog::AcceptSave);
  EXPECT_EQ(suffix, "xml");
  ASSERT_TRUE(std::filesystem::exists(list)) << "the default suffix completes the name";
  EXPECT_NE(readBytes(list).find(path), std::string::npos);
  EXPECT_FALSE(Toolkit_IsPlaylistDirty());
}

TEST_F(PanelsTest, TheProgressPanelShowsTheSpanAndItsCancelCallsTheHandler) {
  testApplication();
  auto& panel = ui_->qtProgressPanel();
  int cancels = 0;
  panel.setCancelHandler([&] { ++cancels; });
  panel.setTitle("Long Track");
  panel.setRange(10.0, 70.0);
  panel.setValue(40.0);
  panel.show();
  EXPECT_TRUE(panel.visible());
  EXPECT_EQ(panel.titleLabel()->text(), "Long Track");
  EXPECT_EQ(panel.bar()->maximum() - panel.bar()->minimum(), 600);
  EXPECT_EQ(panel.bar()->value(), 300);
  panel.setValue(100.0);  // past the end: the bar is full, not beyond
  EXPECT_EQ(panel.bar()->value(), 600);

  panel.cancelButton()->click();
  EXPECT_EQ(cancels, 1);
  EXPECT_TRUE(panel.visible()) << "the engine closes the panel, not the button";
  QCloseEvent close;
  QApplication::sendEvent(&panel, &close);
  EXPECT_EQ(cancels, 2);
  panel.close();
  EXPECT_FALSE(panel.visible());
}

TEST_F(PanelsTest, TheEnginesProgressPanelCancelStopsARamPlay) {
  startWithTable();
  // The decode is held in its memory check until Cancel is pressed, so the panel is
  // surely up when the test looks.
  std::atomic<bool> pressed{false};
  getObject()->setRAMMemoryProbe([&]() -> std::optional<uint64_t> {
    waitFor([&] { return pressed.load(); });
    return uint64_t{64} << 30;
  });
  TkConfig config;
  config.setDeviceName("DAC A");
  config.setRamMode(1);
  config.setRamModeMemoryLimit(100);
  ASSERT_EQ(Toolkit_SetConfiguration(&config), 0);
  ASSERT_EQ(Toolkit_AddDroppedFiles({track("Long", 3.0)}), 0);
  auto& panel = ui_->qtProgressPanel();
  QString title;
  // Pressed from inside the engine's modal run, once the panel is up.
  QTimer presser;
  QObject::connect(&presser, &QTimer::timeout, [&] {
    if (pressed || !panel.isVisible()) return;
    title = panel.titleLabel()->text();
    pressed = true;
    panel.cancelButton()->click();
  });
  presser.start(1);
  ASSERT_EQ(Toolkit_PlayRequest(), 0);  // returns when the decode has ended
  presser.stop();
  ASSERT_TRUE(pressed) << "the progress panel never showed";
  EXPECT_EQ(title, "Long");
  EXPECT_FALSE(panel.isVisible());
  ASSERT_TRUE(runUntil([&] { return state() == 0; }));
  EXPECT_FALSE(getObject()->playing());
  EXPECT_EQ(songSwitches(), 0);
}

}  // namespace
