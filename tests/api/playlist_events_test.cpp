// What the user's playlist actions do, through the exported API and the table's
// commands, with a scripted headless UI answering every prompt and panel.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "engine/api/constants.h"
#include "engine/playlist/cd_panel.h"
#include "engine/playlist/playlist_array_controller.h"
#include "engine/playlist/playlist_table_view.h"
#include "platform/ui/headless_ui.h"
#include "support/controller_fixture.h"
#include "support/log_capture.h"
#include "support/pcm_file_writer.h"

namespace {

namespace fs = std::filesystem;
using sonara::ui::HeadlessUi;

class PlaylistEventsTest : public ControllerFixture {
 protected:
  void SetUp() override {
    ControllerFixture::SetUp();
    sonara::platform::installUiServices(ui_);
    ::setenv("SONARA_CD_VOLUMES", places_.c_str(), 1);
    fs::create_directories(places_);
  }
  void TearDown() override {
    ControllerFixture::TearDown();
    sonara::platform::installUiServices(nullptr);
    ::unsetenv("SONARA_CD_VOLUMES");
  }

  PlaylistArrayController& model() { return getObject()->array_tbl_ctl(); }
  std::vector<std::string> titles() {
    std::vector<std::string> out;
    for (const auto& info : model().getAllInfos()) out.push_back(info->title());
    return out;
  }
  // A list of unsaved tracks "a", "b", ... made by dropping files.
  void dropTracks(const std::string& names, double seconds = 0.3) {
    std::vector<std::string> paths;
    for (char c : names) paths.push_back(track(std::string(1, c), seconds));
    for (const auto& p : paths) Toolkit_AddDroppedFiles({p});
    ASSERT_TRUE(Toolkit_IsPlaylistDirty());
  }
  // A disc folder of WAV tracks, made outside the places and moved in whole, as a
  // mount appears.
  std::string makeDisc(const std::string& label, int tracks, double seconds = 0.5) {
    const std::string staging = dir_.file("staging-" + label);
    fs::create_directories(staging);
    for (int t = 1; t <= tracks; ++t) {
      PcmFileSetup setup;
      const auto frames = static_cast<size_t>(seconds * 44100);
      for (size_t i = 0; i < frames * 2; ++i) setup.samples.push_back(static_cast<int32_t>((i * 37 + t) % 20000) - 10000);
      writePcmFile(staging + "/Track " + std::to_string(t) + ".wav", setup);
    }
    const std::string disc = places_ + "/" + label;
    fs::rename(staging, disc);
    return disc;
  }
  // Opens the CD panel and confirms its first disc.
  void readFirstDisc() {
    ASSERT_EQ(Toolkit_OpenCD(), 0);
    auto& panel = ui_->headlessCdPanel();
    ASSERT_TRUE(panel.visible());
    ASSERT_FALSE(panel.labels().empty());
    panel.pressOk();
  }
  std::string unwritablePath() { return dir_.file("plain-file") + "/list.xml"; }

  std::shared_ptr<HeadlessUi> ui_ = std::make_shared<HeadlessUi>();
  std::string places_ = dir_.file("places");
};

TEST_F(PlaylistEventsTest, ANewListAsksToSaveFirstAndNeverDropsAListThatWasNotWritten) {
  start();
  dropTracks("ab");
  ui_->scriptAlertAnswer(1);  // No: emptied at once
  ASSERT_EQ(Toolkit_NewPlaylist(), 0);
  EXPECT_TRUE(titles().empty());
  EXPECT_FALSE(Toolkit_IsPlaylistDirty());
  ASSERT_EQ(ui_->alertsShown().size(), 1u);
  EXPECT_EQ(ui_->alertsShown()[0].message, "Playlist has been changed. Do you want to save?");
  EXPECT_EQ(ui_->alertsShown()[0].buttons, (std::vector<std::string>{"Yes", "No"}));

  dropTracks("ab");
  ui_->scriptAlertAnswer(0);  // Yes, then Save: the old list is written, then emptied
  ui_->scriptSavePanelAnswer(dir_.file("old.xml"));
  Toolkit_NewPlaylist();
  EXPECT_TRUE(titles().empty());
  auto saved = PlaylistArrayController::parsePlaylistFile(dir_.file("old.xml"));
  ASSERT_TRUE(saved);
  ASSERT_EQ(saved->size(), 2u);
  EXPECT_EQ((*saved)[1]->title(), "b");

  dropTracks("ab");
  ui_->scriptAlertAnswer(0);  // Yes, then Cancel: nothing changes
  ui_->scriptSavePanelAnswer(std::nullopt);
  Toolkit_NewPlaylist();
  EXPECT_EQ(titles(), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(Toolkit_IsPlaylistDirty());

  std::ofstream(dir_.file("plain-file")) << "x";
  ui_->scriptAlertAnswer(0);  // Yes, then a write that fails: the list is kept
  ui_->scriptSavePanelAnswer(unwritablePath());
  Toolkit_NewPlaylist();
  EXPECT_EQ(titles(), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(Toolkit_IsPlaylistDirty());
}

TEST_F(PlaylistEventsTest, OpeningWhileUnsavedWaitsForTheSaveAndCancelDropsTheOpen) {
  start();
  dropTracks("ab");
  ui_->scriptAlertAnswer(0);
  ui_->scriptSavePanelAnswer(std::nullopt);
  Toolkit_OpenFile();
  runFor(0.1);
  ASSERT_EQ(ui_->panelsShown().size(), 1u);  // the save panel only
  EXPECT_EQ(ui_->panelsShown()[0].allowed_types, (std::vector<std::string>{"xml"}));
  EXPECT_EQ(titles(), (std::vector<std::string>{"a", "b"}));

  // "No": the open panel follows on the main loop; a cue sheet replaces the list.
  const std::string album = track("album", 2.0);
  std::ofstream(dir_.file("album.cue")) << "FILE \"album.flac\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"One\"\n"
                                           "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    TITLE \"Two\"\n"
                                           "    INDEX 01 00:01:00\n";
  ui_->scriptAlertAnswer(1);
  ui_->scriptOpenPanelAnswer(std::vector<std::string>{dir_.file("album.cue")});
  Toolkit_OpenFile();
  ASSERT_TRUE(runUntil([&] { return ui_->panelsShown().size() == 2; }, 10));
  const auto open = ui_->panelsShown()[1];
  EXPECT_EQ(open.message, "Open");
  EXPECT_TRUE(open.allows_multiple_selection);
  EXPECT_NE(std::find(open.allowed_types.begin(), open.allowed_types.end(), "cue"), open.allowed_types.end());
  EXPECT_NE(std::find(open.allowed_types.begin(), open.allowed_types.end(), "flac"), open.allowed_types.end());
  EXPECT_EQ(titles(), (std::vector<std::string>{"One", "Two"}));
  EXPECT_TRUE(Toolkit_IsPlaylistDirty());  // files opened are not a saved playlist

  // "Yes" and a write that fails: the open is dropped, the list kept.
  std::ofstream(dir_.file("plain-file")) << "x";
  ui_->scriptAlertAnswer(0);
  ui_->scriptSavePanelAnswer(unwritablePath());
  ui_->scriptOpenPanelAnswer(std::vector<std::string>{album});
  Toolkit_OpenFile();
  runFor(0.2);
  EXPECT_EQ(ui_->panelsShown().size(), 3u);
  EXPECT_EQ(titles(), (std::vector<std::string>{"One", "Two"}));

  // "Yes" and a good write: the list is saved (its path unchanged), then the open follows.
  ui_->scriptAlertAnswer(0);
  ui_->scriptSavePanelAnswer(dir_.file("before-open.xml"));
  Toolkit_OpenFile();
  ASSERT_TRUE(runUntil([&] { return titles() == std::vector<std::string>{"album"}; }, 10));
  ASSERT_TRUE(PlaylistArrayController::parsePlaylistFile(dir_.file("before-open.xml")));
  EXPECT_EQ(PlaylistArrayController::parsePlaylistFile(dir_.file("before-open.xml"))->size(), 2u);
}

TEST_F(PlaylistEventsTest, SavingReportsAFailedWriteAndLoadingTakesTheFilesList) {
  start();
  dropTracks("abc");
  LogCapture log;
  std::ofstream(dir_.file("plain-file")) << "x";
  ui_->scriptSavePanelAnswer(unwritablePath());
  EXPECT_EQ(Toolkit_SavePlaylist(), kToolkitNotSaved);
  EXPECT_TRUE(log.contains("fileSaveSheetDidEnd:returnCode:contextInfo: : savePlaylist Failed."));
  EXPECT_TRUE(Toolkit_IsPlaylistDirty());
  ui_->scriptSavePanelAnswer(std::nullopt);
  EXPECT_EQ(Toolkit_SavePlaylist(), kToolkitNotSaved);

  ui_->scriptSavePanelAnswer(dir_.file("mine.xml"));
  EXPECT_EQ(Toolkit_SavePlaylist(), kToolkitOk);
  EXPECT_FALSE(Toolkit_IsPlaylistDirty());
  EXPECT_EQ(model().playlist_path(), dir_.file("mine.xml"));
  // The next save proposes the list's own file.
  ui_->scriptSavePanelAnswer(std::nullopt);
  Toolkit_SavePlaylist();
  EXPECT_EQ(ui_->panelsShown().back().proposed_name, "mine.xml");
  EXPECT_EQ(ui_->panelsShown().back().message, "Save playlist");

  Toolkit_NewPlaylist();
  ASSERT_TRUE(titles().empty());
  std::ofstream(dir_.file("broken.xml")) << "<plist><dict><key>Tracks";
  ui_->scriptOpenPanelAnswer(std::vector<std::string>{dir_.file("broken.xml")});
  Toolkit_LoadPlaylist();
  EXPECT_TRUE(titles().empty());  // unreadable: the list stays as it was
  ui_->scriptOpenPanelAnswer(std::vector<std::string>{dir_.file("mine.xml")});
  Toolkit_LoadPlaylist();
  EXPECT_EQ(ui_->panelsShown().back().message, "Load playlist");
  EXPECT_EQ(titles(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_FALSE(Toolkit_IsPlaylistDirty());
  EXPECT_EQ(model().playlist_path(), dir_.file("mine.xml"));
}

TEST_F(PlaylistEventsTest, RowsDragOntoOtherRowsButNotOntoTheirOwnPlace) {
  start();
  dropTracks("abcdefgh", 0.1);
  auto& tk = *getObject();
  model().setSaved(true);
  model().setSelectionIndexes({1, 2});
  ASSERT_TRUE(tk.tableViewWriteRowsWithIndexes({1, 2}));
  TkDelegate::DropOperation where = TkDelegate::DropOperation::On;
  EXPECT_EQ(tk.tableViewValidateDrop(1, &where), TkDelegate::DragOperation::Move);
  EXPECT_EQ(where, TkDelegate::DropOperation::Above);
  EXPECT_FALSE(tk.tableViewAcceptDrop(1, where));
  EXPECT_FALSE(Toolkit_IsPlaylistDirty());
  EXPECT_TRUE(tk.tableViewAcceptDrop(6, where));
  EXPECT_EQ(titles(), (std::vector<std::string>{"a", "d", "e", "f", "b", "c", "g", "h"}));
  EXPECT_TRUE(Toolkit_IsPlaylistDirty());

  // Rows dragged without being selected: the first of them becomes the selection.
  model().setSelectionIndexes({0});
  ASSERT_TRUE(tk.tableViewWriteRowsWithIndexes({6, 7}));
  EXPECT_EQ(model().selectionIndexes(), (std::set<size_t>{6}));
  EXPECT_TRUE(tk.tableViewAcceptDrop(0, where));
  EXPECT_EQ(titles().front(), "g");
}

TEST_F(PlaylistEventsTest, DroppedFilesAreCheckedBeforeTheDropAndInsertedWhereDropped) {
  start();
  dropTracks("ab", 0.1);
  auto& tk = *getObject();
  fs::create_directories(dir_.file("notes"));
  std::ofstream(dir_.file("notes/readme.txt")) << "no music here";
  auto& pasteboard = ui_->pasteboard();
  pasteboard.clear();
  pasteboard.setFileNames({dir_.file("notes")});
  TkDelegate::DropOperation where = TkDelegate::DropOperation::On;
  EXPECT_EQ(tk.tableViewValidateDrop(0, &where), TkDelegate::DragOperation::None);
  EXPECT_FALSE(tk.tableViewAcceptDrop(0, where));

  fs::create_directories(dir_.file("more/sub"));
  FlacSetup setup{44100, 16, 2, 0.1, {"TITLE=deep"}};
  makeFlac(dir_.file("more/sub"), "deep", setup);
  fs::remove(dir_.file("more/sub/deep.wav"));  // the encoder's input
  pasteboard.setFileNames({dir_.file("more"), dir_.file("notes")});
  EXPECT_EQ(tk.tableViewValidateDrop(1, &where), TkDelegate::DragOperation::Copy);
  EXPECT_TRUE(tk.tableViewAcceptDrop(1, where));
  EXPECT_EQ(titles(), (std::vector<std::string>{"a", "deep", "b"}));
}

TEST_F(PlaylistEventsTest, TheContextMenuFollowsTheClickAndTheListsFlags) {
  start();
  dropTracks("abc", 0.1);
  auto& table = getObject()->tableView();
  EXPECT_FALSE(table.menuForEvent(-1));  // below the last row
  EXPECT_FALSE(table.menuForEvent(3));
  auto single = table.menuForEvent(1);
  ASSERT_TRUE(single);
  EXPECT_TRUE(single->play && single->remove && single->properties);
  EXPECT_EQ(model().selectionIndexes(), (std::set<size_t>{1}));
  model().setSelectionIndexes({0, 1, 2});
  auto several = table.menuForEvent(2);
  ASSERT_TRUE(several);
  EXPECT_FALSE(several->play);
  EXPECT_TRUE(several->remove);
  EXPECT_FALSE(several->properties);

  table.menuForEvent(2);
  getObject()->propertiesFromContextMenu();
  EXPECT_EQ(client_.properties_requests, 1);
  ASSERT_TRUE(getObject()->itemUnderEdit());
  EXPECT_EQ(getObject()->itemUnderEdit()->title(), "c");

  // Select-all, then delete.
  EXPECT_FALSE(table.keyDown(U'a', true));
  EXPECT_EQ(model().selectionIndexes().size(), 3u);
  EXPECT_TRUE(table.keyDown(PlaylistTableView::kDeleteKey, false));
  EXPECT_TRUE(titles().empty());

  LogCapture log;
  table.menuForEvent(-1);
  getObject()->playFromContextMenu();
  EXPECT_TRUE(log.contains("Invalid Row"));
}

TEST_F(PlaylistEventsTest, PlayingFromTheMenuStartsTheRowAndRemovingItStops) {
  start();
  dropTracks("abc", 3.0);
  getObject()->tableView().menuForEvent(1);
  getObject()->playFromContextMenu();
  ASSERT_TRUE(runUntil([&] { return playingTitle() == "b"; }));
  EXPECT_TRUE(model().selectionIndexes().empty());
  model().setSelectionIndexes({1});
  Toolkit_RemoveFile();
  ASSERT_TRUE(runUntil([&] { return !getObject()->playing(); }, 10));
  EXPECT_EQ(titles(), (std::vector<std::string>{"a", "c"}));
}

TEST_F(PlaylistEventsTest, ADiscBecomesAFixedListThatRefusesEditsAndEndsWhenARowGoes) {
  makeDisc("Concert", 2);
  start();
  readFirstDisc();
  EXPECT_FALSE(ui_->headlessCdPanel().visible());
  EXPECT_EQ(titles(), (std::vector<std::string>{"Track 1", "Track 2"}));
  EXPECT_TRUE(model().fixed() && model().cd() && model().saved());
  EXPECT_NE(std::find(client_.playlist_states.begin(), client_.playlist_states.end(), 1),
            client_.playlist_states.end());

  Toolkit_AddFile();
  ASSERT_EQ(ui_->alertsShown().size(), 1u);
  EXPECT_EQ(ui_->alertsShown()[0].message, "Non modifiable playlist.");
  EXPECT_EQ(ui_->alertsShown()[0].buttons, (std::vector<std::string>{"OK"}));
  EXPECT_TRUE(ui_->panelsShown().empty());
  ui_->pasteboard().setFileNames({track("x", 0.1)});
  EXPECT_EQ(getObject()->tableViewValidateDrop(0, nullptr), TkDelegate::DragOperation::None);
  Toolkit_AddDroppedFiles({track("y", 0.1)});
  model().setSelectionIndexes({0});
  EXPECT_FALSE(getObject()->tableView().keyDown(PlaylistTableView::kForwardDeleteKey, false));
  Toolkit_RemoveFile();
  EXPECT_EQ(titles().size(), 2u);
  auto menu = getObject()->tableView().menuForEvent(0);
  ASSERT_TRUE(menu);
  EXPECT_TRUE(menu->play);
  EXPECT_FALSE(menu->remove || menu->properties);

  // A row of the disc goes (as when it is ejected): the whole CD list ends.
  client_.playlist_states.clear();
  model().removeInfoAtIndex(0, true);
  EXPECT_TRUE(titles().empty());
  EXPECT_FALSE(model().fixed() || model().cd());
  EXPECT_TRUE(model().saved());
  EXPECT_NE(std::find(client_.playlist_states.begin(), client_.playlist_states.end(), 2),
            client_.playlist_states.end());
}

TEST_F(PlaylistEventsTest, TheCdPanelOffersADiscThatAppearsWhileItIsOpen) {
  start();
  ASSERT_EQ(Toolkit_OpenCD(), 0);
  auto& panel = ui_->headlessCdPanel();
  ASSERT_TRUE(panel.visible());
  EXPECT_TRUE(panel.labels().empty());
  EXPECT_FALSE(panel.okEnabled());
  panel.pressOk();  // disabled: nothing happens
  EXPECT_TRUE(panel.visible());

  makeDisc("Late Arrival", 1);
  ASSERT_TRUE(runUntil([&] { return !panel.labels().empty(); }, 10));
  EXPECT_EQ(panel.labels(), (std::vector<std::string>{"Late Arrival"}));
  EXPECT_EQ(panel.selectedIndex(), 0);
  EXPECT_TRUE(panel.okEnabled());

  fs::remove_all(places_ + "/Late Arrival");
  ASSERT_TRUE(runUntil([&] { return panel.labels().empty(); }, 10));
  EXPECT_FALSE(panel.okEnabled());
  panel.pressCancel();
  EXPECT_FALSE(panel.visible());
  EXPECT_TRUE(titles().empty());
}

TEST_F(PlaylistEventsTest, ADiscFolderFilledAfterItAppearsIsOfferedOnceItHoldsATrack) {
  start();
  ASSERT_EQ(Toolkit_OpenCD(), 0);
  auto& panel = ui_->headlessCdPanel();
  fs::create_directories(places_ + "/Slow");
  runFor(1.5);  // the folder's own batch has come and gone: no track yet
  EXPECT_TRUE(panel.labels().empty());
  PcmFileSetup setup;
  setup.samples.assign(4410 * 2, 1000);
  writePcmFile(places_ + "/Slow/Track 1.wav", setup);
  ASSERT_TRUE(runUntil([&] { return !panel.labels().empty(); }, 10));
  EXPECT_EQ(panel.labels(), (std::vector<std::string>{"Slow"}));
}

TEST_F(PlaylistEventsTest, ADiscWithoutAPlayableTrackLeavesAnOrdinaryList) {
  fs::create_directories(places_ + "/Broken");
  std::ofstream(places_ + "/Broken/Track 1.wav") << "not a wave file at all";
  start();
  readFirstDisc();
  EXPECT_TRUE(titles().empty());
  EXPECT_FALSE(model().fixed() || model().cd());
  Toolkit_AddDroppedFiles({track("a", 0.1)});
  EXPECT_EQ(titles(), (std::vector<std::string>{"a"}));
}

TEST_F(PlaylistEventsTest, TheCdPanelWaitsForTheSavePromptAndIgnoresOkWhilePlaying) {
  makeDisc("Concert", 1);
  start();
  dropTracks("a", 3.0);
  ui_->scriptAlertAnswer(0);  // Yes, then Cancel: no panel
  ui_->scriptSavePanelAnswer(std::nullopt);
  Toolkit_OpenCD();
  EXPECT_FALSE(ui_->headlessCdPanel().visible());
  ASSERT_EQ(Toolkit_PlayRequest(), 0);
  ASSERT_TRUE(runUntil([&] { return playingTitle() == "a"; }));
  ui_->scriptAlertAnswer(1);  // No: the panel comes
  Toolkit_OpenCD();
  auto& panel = ui_->headlessCdPanel();
  ASSERT_TRUE(panel.visible());
  panel.pressOk();  // while playing: nothing, and the panel stays
  EXPECT_TRUE(panel.visible());
  EXPECT_EQ(titles(), (std::vector<std::string>{"a"}));
  Toolkit_StopRequest();
  ASSERT_TRUE(runUntil([&] { return !getObject()->playing(); }));
  panel.pressOk();
  EXPECT_EQ(titles(), (std::vector<std::string>{"Track 1"}));
  EXPECT_FALSE(panel.visible());
}

TEST_F(PlaylistEventsTest, EjectingThePlayingDiscStopsPlaybackAndClearsTheList) {
  const std::string disc = makeDisc("Live", 2, 4.0);
  start();
  readFirstDisc();
  ASSERT_EQ(Toolkit_PlayRequest(), 0);
  ASSERT_TRUE(runUntil([&] { return playingTitle() == "Track 1"; }));
  client_.playlist_states.clear();
  fs::rename(disc, dir_.file("ejected"));
  ASSERT_TRUE(runUntil([&] { return titles().empty() && !getObject()->playing(); }, 10));
  EXPECT_NE(std::find(client_.playlist_states.begin(), client_.playlist_states.end(), 2),
            client_.playlist_states.end());
  EXPECT_FALSE(model().cd());
}

TEST_F(PlaylistEventsTest, ClosingTheWindowSavesOrKeepsTheListUnsaved) {
  start();
  dropTracks("ab", 0.1);
  std::ofstream(dir_.file("plain-file")) << "x";
  ui_->scriptAlertAnswer(0);  // Save, and the write fails: still unsaved
  ui_->scriptSavePanelAnswer(unwritablePath());
  getObject()->windowWillClose();
  EXPECT_TRUE(Toolkit_IsPlaylistDirty());
  EXPECT_EQ(ui_->alertsShown().back().buttons, (std::vector<std::string>{"Save", "Quit"}));
  EXPECT_EQ(ui_->panelsShown().back().proposed_name, "playlist.xml");

  ui_->scriptAlertAnswer(0);
  ui_->scriptSavePanelAnswer(dir_.file("closing.xml"));
  getObject()->windowWillClose();
  EXPECT_FALSE(Toolkit_IsPlaylistDirty());
  auto written = PlaylistArrayController::parsePlaylistFile(dir_.file("closing.xml"));
  ASSERT_TRUE(written);
  EXPECT_EQ(written->size(), 2u);

  Toolkit_AddDroppedFiles({track("c", 0.1)});
  ui_->scriptAlertAnswer(1);  // Quit
  getObject()->windowWillClose();
  EXPECT_FALSE(Toolkit_IsPlaylistDirty());
}

}  // namespace
