// The playlist table of the desktop program over the real engine: rows follow the
// playlist, the playing row is marked, and the user's clicks, keys, menu choices,
// drags and drops reach the engine.
#include <gtest/gtest.h>

#include <fstream>

#include <QAbstractButton>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include "app/platform/pasteboard_mime.h"
#include "app_fixture.h"
#include "engine/playlist/playlist_array_controller.h"
#include "support/dsf_writer.h"

namespace {

using sonara::ui::RowMark;

class PlaylistTableTest : public AppFixture {
 protected:
  // Three FLAC tracks titled One, Two and Three (1.5 s, 8 s, 62 s), added as the
  // program adds files given to it (in the order of their file names).
  void addThreeTracks() {
    paths_ = {titled("1-one", "One", 1.5), titled("2-two", "Two", 8.0), titled("3-three", "Three", 62.0)};
    for (const auto& p : paths_) ASSERT_FALSE(p.empty());
    ASSERT_EQ(Toolkit_AddDroppedFiles(paths_), 0);
    turn();
  }
  std::string titled(const std::string& file, const std::string& title, double seconds) {
    return makeFlac(dir_.path(), file, FlacSetup{44100, 16, 2, seconds, {"TITLE=" + title}});
  }
  void click(int row) { QTest::mouseClick(table().viewport(), Qt::LeftButton, {}, centreOf(row)); }
  // Drags `data` onto the table and drops it at `position`, as a drag from anywhere
  // would; false when the table refused it.
  bool drop(const QMimeData& data, QPoint position) {
    const auto actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(position, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(table().viewport(), &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent event(position, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(table().viewport(), &event);
    turn();
    return event.isAccepted();
  }
  QPoint belowTheRows() {
    const QRect last = table().visualRect(rows().index(rows().rowCount() - 1, 1));
    return QPoint(last.center().x(), last.bottom() - 1);
  }

  std::vector<std::string> paths_;
};

TEST_F(PlaylistTableTest, RowsShowTheNumberTitleArtistAndDurationOfEachTrack) {
  startWithTable();
  EXPECT_EQ(rows().rowCount(), 0);
  addThreeTracks();
  EXPECT_EQ(titles(), (std::vector<std::string>{"One", "Two", "Three"}));
  EXPECT_EQ(column(sonara::ui::kNumberColumn), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(column(sonara::ui::kDurationColumn), (std::vector<std::string>{"0:02", "0:08", "1:02"}));
  EXPECT_EQ(column(sonara::ui::kArtistColumn), (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(rows().headerData(sonara::ui::kTitleColumn, Qt::Horizontal).toString(), "Title");

  // A DSF file without tags is shown by its file name.
  DsfSetup setup;
  setup.audio = patternAudio(2, 352800);  // one second at 2.8224 MHz
  writeFile(dir_.file("bare.dsf"), buildDsf(setup));
  ASSERT_EQ(Toolkit_AddDroppedFiles({dir_.file("bare.dsf")}), 0);
  turn();
  ASSERT_EQ(rows().rowCount(), 4);
  EXPECT_EQ(titles().back(), "bare.dsf");
  EXPECT_EQ(column(sonara::ui::kDurationColumn).back(), "0:01");
}

TEST_F(PlaylistTableTest, TheColumnWidthsTheClientGaveAreTheTables) {
  startWithTable();
  TkPlaylistLayout layout;
  ASSERT_EQ(Toolkit_GetPlaylist(&layout), 0);
  EXPECT_EQ(layout.containerView, window_.get());
  EXPECT_EQ(table().columnWidth(0), layout.columnWidths[0]);
  EXPECT_EQ(layout.columnWidths[0], 60);
}

TEST_F(PlaylistTableTest, DoubleClickPlaysTheRowAndTheRowIsMarkedWhilePlaying) {
  startWithTable();
  addThreeTracks();
  click(1);
  QTest::mouseDClick(table().viewport(), Qt::LeftButton, {}, centreOf(1));
  ASSERT_TRUE(runUntil([&] { return songSwitches() > 0 && playingTitle() == "Two"; }));
  ASSERT_TRUE(runUntil([&] { return markOf(1) == static_cast<int>(RowMark::Playing); }));
  EXPECT_EQ(markOf(0), static_cast<int>(RowMark::None));
  EXPECT_TRUE(rows().index(1, 1).data(Qt::FontRole).value<QFont>().bold());

  ASSERT_EQ(Toolkit_PauseRequest(), 0);
  EXPECT_TRUE(runUntil([&] { return markOf(1) == static_cast<int>(RowMark::Paused); }));
  ASSERT_EQ(Toolkit_StopRequest(), 0);
  EXPECT_TRUE(runUntil([&] { return markOf(1) == static_cast<int>(RowMark::None); }));
}

TEST_F(PlaylistTableTest, TheDeleteKeyRemovesTheSelectedRows) {
  startWithTable();
  addThreeTracks();
  click(0);
  QTest::mouseClick(table().viewport(), Qt::LeftButton, Qt::ControlModifier, centreOf(2));
  EXPECT_EQ(getObject()->array_tbl_ctl().selectionIndexes(), (std::set<size_t>{0, 2}));
  ASSERT_FALSE(client_.selections.empty());
  EXPECT_TRUE(client_.selections.back());

  QTest::keyClick(&table(), Qt::Key_Delete);
  turn();
  EXPECT_EQ(titles(), (std::vector<std::string>{"Two"}));
  EXPECT_EQ(getObject()->array_tbl_ctl().getNumInfos(), 1u);
  // The selection went with the rows, and the client heard so.
  EXPECT_TRUE(table().selectedRowSet().empty());
  EXPECT_FALSE(client_.selections.back());
  EXPECT_TRUE(Toolkit_IsPlaylistDirty());
}

TEST_F(PlaylistTableTest, TheContextMenuOffersTheRowsCommands) {
  startWithTable();
  addThreeTracks();
  auto menu = table().contextMenuFor(2);
  ASSERT_NE(menu, nullptr);
  auto* properties = menu->findChild<QAction*>("properties");
  ASSERT_NE(properties, nullptr);
  EXPECT_TRUE(properties->isEnabled());
  properties->trigger();
  EXPECT_EQ(client_.properties_requests, 1);
  std::shared_ptr<AudioFileInfo> info;
  ASSERT_EQ(Toolkit_GetFileInfo(true, &info), 0);
  EXPECT_EQ(info->fileName(), paths_[2]);
  EXPECT_EQ(info->titleName(), "Three");

  // Below the rows there is no menu.
  EXPECT_EQ(table().contextMenuFor(-1), nullptr);

  menu = table().contextMenuFor(0);
  ASSERT_NE(menu, nullptr);
  menu->findChild<QAction*>("remove")->trigger();
  turn();
  EXPECT_EQ(titles(), (std::vector<std::string>{"Two", "Three"}));

  menu = table().contextMenuFor(1);
  menu->findChild<QAction*>("play")->trigger();
  EXPECT_TRUE(runUntil([&] { return playingTitle() == "Three"; }));
}

TEST_F(PlaylistTableTest, DraggingARowBelowTheLastMovesIt) {
  startWithTable();
  addThreeTracks();
  click(0);
  auto data = table().dragDataForSelection();
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(data->hasFormat(sonara::platform::kRowsMimeType));
  EXPECT_EQ(table().dropRowAt(belowTheRows()), 3);
  EXPECT_TRUE(drop(*data, belowTheRows()));
  EXPECT_EQ(titles(), (std::vector<std::string>{"Two", "Three", "One"}));
  EXPECT_EQ(column(sonara::ui::kNumberColumn), (std::vector<std::string>{"1", "2", "3"}));
  // The moved row stays selected.
  EXPECT_EQ(table().selectedRowSet(), (std::set<size_t>{2}));
}

TEST_F(PlaylistTableTest, FilesDroppedFromOutsideAreAddedWhereTheyFall) {
  startWithTable();
  addThreeTracks();
  const std::string extra = titled("extra", "Extra", 1.0);
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile(QString::fromStdString(extra))});
  const QRect second = table().visualRect(rows().index(1, 1));
  EXPECT_TRUE(drop(files, QPoint(second.center().x(), second.top() + 1)));
  EXPECT_EQ(titles(), (std::vector<std::string>{"One", "Extra", "Two", "Three"}));

  // A file no plug-in reads is refused, and nothing changes.
  std::ofstream(dir_.file("notes.txt")) << "not audio";
  QMimeData text_file;
  text_file.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir_.file("notes.txt")))});
  EXPECT_FALSE(drop(text_file, belowTheRows()));
  EXPECT_EQ(rows().rowCount(), 4);
}

TEST_F(PlaylistTableTest, ANewPlaylistEmptiesTheTable) {
  startWithTable();
  addThreeTracks();
  ASSERT_EQ(Toolkit_saveLastPlaylist(), 0);
  // The list is unsaved: the engine asks first; "No" discards it.
  sonara::platform::answerNextDialog([](QDialog& dialog) {
    auto& box = static_cast<QMessageBox&>(dialog);
    box.buttons().at(1)->click();
  });
  ASSERT_EQ(Toolkit_NewPlaylist(), 0);
  turn();
  EXPECT_EQ(rows().rowCount(), 0);
}

}  // namespace
