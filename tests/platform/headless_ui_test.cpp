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

TEST(Localization, UntranslatedKeysAreTheirOwnText) {
  EXPECT_EQ(sonara::platform::localizedString("Save playlist"), "Save playlist");
  sonara::platform::setLocalizationTable({{"Save", "Sichern"}});
  EXPECT_EQ(sonara::platform::localizedString("Save"), "Sichern");
  sonara::platform::setLocalizationTable({});
  EXPECT_EQ(sonara::platform::localizedString("Save"), "Save");
}
