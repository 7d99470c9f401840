// The rows and events a drawn playlist table exchanges with the engine, seen through
// the headless view: no toolkit needed.
#include <gtest/gtest.h>

#include "platform/ui/headless_ui.h"
#include "support/controller_fixture.h"

namespace {

class PlaylistTableSourceTest : public ControllerFixture {
 protected:
  void SetUp() override {
    sonara::platform::installUiServices(ui_);
    ControllerFixture::SetUp();
  }
  void TearDown() override {
    ControllerFixture::TearDown();
    sonara::platform::installUiServices(nullptr);
  }
  sonara::ui::HeadlessPlaylistView& view() { return ui_->headlessPlaylistView(); }

  std::shared_ptr<sonara::ui::HeadlessUi> ui_ = std::make_shared<sonara::ui::HeadlessUi>();
};

TEST_F(PlaylistTableSourceTest, TheViewGetsTheRowsAndIsToldOfEachChange) {
  EXPECT_EQ(view().tableSource(), nullptr);
  start();
  auto* source = view().tableSource();
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(source->rowCount(), 0u);
  const int reloads = view().reloads();
  ASSERT_EQ(Toolkit_AddDroppedFiles({track("a", 1.0), track("b", 61.5)}), 0);
  EXPECT_GT(view().reloads(), reloads);
  ASSERT_EQ(source->rowCount(), 2u);
  auto second = source->row(1);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->text, (std::array<std::string, 4>{"2", "b", "", "1:02"}));
  EXPECT_EQ(second->mark, sonara::ui::RowMark::None);
  EXPECT_FALSE(source->row(2));

  // The user selects and deletes; the client hears of the selection both ways.
  source->selectRows({0});
  EXPECT_EQ(source->selectedRows(), (std::set<size_t>{0}));
  ASSERT_FALSE(client_.selections.empty());
  EXPECT_TRUE(client_.selections.back());
  EXPECT_TRUE(source->keyDown(sonara::ui::kDeleteKey, false));
  ASSERT_EQ(source->rowCount(), 1u);
  EXPECT_EQ(source->row(0)->text[sonara::ui::kTitleColumn], "b");
  EXPECT_FALSE(client_.selections.back());

  // Double click plays the row, which is then marked.
  source->doubleClicked(0);
  ASSERT_TRUE(runUntil([&] { return source->row(0)->mark == sonara::ui::RowMark::Playing; }));
  EXPECT_EQ(playingTitle(), "b");

  Toolkit_Exit();
  EXPECT_EQ(view().tableSource(), nullptr);
}

}  // namespace
