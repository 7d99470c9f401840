#include <gtest/gtest.h>

#include "platform/localization.h"
#include "platform/ui/headless_ui.h"

using namespace sonara::ui;

namespace {
FilePanel savePanel() {
  FilePanel panel;
  panel.message = "Save playlist";
  panel.allowed_types = {"xml"};
  return panel;
}
}  // namespace

TEST(HeadlessUi, AnswersFromItsScriptThenDefaults) {
  HeadlessUi ui;
  ui.scriptAlertAnswer(1);
  ui.scriptOpenPanelAnswer(std::vector<std::string>{"/music/a.flac", "/music/b.dsf"});
  ui.scriptSavePanelAnswer(std::string("/music/list.xml"));

  Alert alert{"Playlist has been changed. Do you want to save?", " ", {"Save", "Quit"}};
  EXPECT_EQ(ui.runAlert(alert), 1);
  EXPECT_EQ(ui.runAlert(alert), 0);  // nothing scripted: the default button

  FilePanel open;
  open.message = "Open";
  open.allowed_types = {"cue", "flac"};
  auto chosen = ui.runOpenPanel(open);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(chosen->size(), 2u);
  EXPECT_FALSE(ui.runOpenPanel(open).has_value());  // cancelled
  EXPECT_EQ(ui.runSavePanel(savePanel()), "/music/list.xml");

  ASSERT_EQ(ui.alertsShown().size(), 2u);
  EXPECT_EQ(ui.alertsShown()[0].buttons[1], "Quit");
  ASSERT_EQ(ui.panelsShown().size(), 3u);
  EXPECT_EQ(ui.panelsShown()[2].message, "Save playlist");
}

TEST(HeadlessUi, PasteboardKeepsRowsOfItsPrivateType) {
  HeadlessUi ui;
  ui.pasteboard().setRows("TYPE_DRAGED_ROW", {2, 5});
  EXPECT_EQ(ui.pasteboard().rows("TYPE_DRAGED_ROW"), (std::vector<uint64_t>{2, 5}));
  EXPECT_FALSE(ui.pasteboard().rows("other").has_value());
  ui.pasteboard().clear();
  EXPECT_FALSE(ui.pasteboard().rows("TYPE_DRAGED_ROW").has_value());
}

TEST(HeadlessUi, ProgressPanelKeepsWhatItShowsAndCancelsOnlyWhenShown) {
  sonara::ui::HeadlessUi ui;
  auto& panel = ui.headlessProgressPanel();
  int cancels = 0;
  ui.progressPanel().setCancelHandler([&] { ++cancels; });
  panel.pressCancel();  // hidden: the button cannot be pressed
  EXPECT_EQ(cancels, 0);
  panel.setRange(120.0, 420.0);
  panel.setValue(0.0);
  panel.show();
  panel.setValue(150.5);
  EXPECT_TRUE(panel.visible());
  panel.pressCancel();
  EXPECT_EQ(cancels, 1);
  panel.close();
  EXPECT_FALSE(panel.visible());
  EXPECT_EQ(panel.minimum(), 120.0);
  EXPECT_EQ(panel.maximum(), 420.0);
  EXPECT_EQ(panel.value(), 150.5);
  EXPECT_EQ(panel.values(), (std::vector<double>{0.0, 150.5}));
  EXPECT_EQ(panel.timesShown(), 1);
}

TEST(Localization, UntranslatedKeysAreTheirOwnText) {
  EXPECT_EQ(sonara::platform::localizedString("Save playlist"), "Save playlist");
  sonara::platform::setLocalizationTable({{"Save", "Sichern"}});
  EXPECT_EQ(sonara::platform::localizedString("Save"), "Sichern");
  sonara::platform::setLocalizationTable({});
  EXPECT_EQ(sonara::platform::localizedString("Save"), "Save");
}
