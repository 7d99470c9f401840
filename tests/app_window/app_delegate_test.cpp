// The desktop player end to end: launched as the program launches, commanded through
// its menus, buttons and panels, playing real files on virtual devices.
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include <filesystem>

#include "app/controller/app_settings.h"
#include "app/widgets/custom_slider.h"
#include "app/widgets/custom_text_field_cell.h"
#include "app/widgets/lcd_time_view.h"
#include "app/widgets/led_control.h"
#include "app/widgets/mode_indicators.h"
#include "app/window/about_panel.h"
#include "app/window/error_panel.h"
#include "app/window/preferences_panel.h"
#include "app/window/properties_panel.h"
#include "build_config.h"
#include "support/byte_output.h"
#include "support/dsf_writer.h"
#include "window_fixture.h"

namespace {

using pelmora::app::Command;
using sonara::platform::answerNextDialog;

constexpr int kPlaying = 0, kFlacLight = 2, kDsfLight = 4;

class AppDelegateTest : public WindowFixture {
 protected:
  std::string dsf(double seconds) {
    DsfSetup setup;
    const auto bytes = static_cast<size_t>(seconds * 2822400 / 8);
    setup.audio.assign(2, std::vector<uint8_t>(bytes, 0x55));
    const std::string path = dir_.file("tone.dsf");
    writeFile(path, buildDsf(setup));
    return path;
  }
  bool lit(int light) { return window().light(light)->isHighlighted(); }
  std::vector<bool> lights() {
    std::vector<bool> on;
    for (int i = 0; i < pelmora::PlayerWindow::kLightCount; ++i) on.push_back(lit(i));
    return on;
  }
  QStringList deviceNames() {
    QStringList names;
    for (int i = 0; i < window().deviceBox()->count(); ++i) names << window().deviceBox()->itemText(i);
    return names;
  }
  uint32_t playlistCount() {
    uint32_t count = 0;
    Toolkit_GetPlaylistItemCount(&count);
    return count;
  }
};

TEST_F(AppDelegateTest, FirstLaunchStoresTheDefaultsAndUsesTheShownDevice) {
  launch();
  EXPECT_EQ(deviceNames(), QStringList({"DAC A", "DAC B"}));
  EXPECT_EQ(window().deviceBox()->currentText(), "DAC A");
  // Nothing was configured: the device shown is the one played on.
  EXPECT_EQ(controller_->configuration().deviceName(), "DAC A");
  EXPECT_EQ(defaults().integer(TkConfig::kDecodeModeKey), 1);
  EXPECT_EQ(defaults().integer(TkConfig::kRamModeKey), 0);
  EXPECT_EQ(defaults().integer(TkConfig::kRamModeMemoryLimitKey), 100);
  EXPECT_FALSE(defaults().object(TkConfig::kGaplessModeKey).isNull());
  EXPECT_EQ(defaults().real(TkConfig::kGaplessCutoffKey), -45.0);
  EXPECT_TRUE(window().action(Command::OrderDefault)->isChecked());
  EXPECT_FALSE(window().slider()->isEnabled());
  EXPECT_EQ(controller_->timeStatusText(), "track remain 0:00:00/total 0:00:00");
  EXPECT_EQ(lights(), std::vector<bool>(8, false));
}

TEST_F(AppDelegateTest, TheConfiguredDeviceIsSelectedAndRamPlayIsResetAtLaunch) {
  defaults().set(TkConfig::kDeviceNameKey, sonara::Value("DAC B"));
  defaults().set(TkConfig::kRamModeKey, sonara::Value(1));
  defaults().synchronize();
  launch();
  EXPECT_EQ(window().deviceBox()->currentText(), "DAC B");
  EXPECT_EQ(controller_->configuration().ramMode(), 0);
  EXPECT_EQ(defaults().integer(TkConfig::kRamModeKey), 0);
  EXPECT_EQ(getObject()->currentOutputDeviceName(), "DAC B");
}

TEST_F(AppDelegateTest, AFlacTrackPlaysPausesAndStopsWithTheDisplayFollowing) {
  launch();
  controller_->addFiles({QString::fromStdString(track("Song", 4.0, 96000))});
  trigger(Command::Play);
  ASSERT_TRUE(waitFor([&] { return controller_->isPlaying() && lit(kPlaying); }));
  EXPECT_TRUE(lit(kFlacLight));
  EXPECT_FALSE(lit(kDsfLight));
  EXPECT_TRUE(window().slider()->isEnabled());
  EXPECT_EQ(window().slider()->maximum(), 4.0);
  EXPECT_TRUE(window().action(Command::Play)->isChecked());
  // Commands that would pull the list or the device from under playback are off.
  EXPECT_FALSE(window().action(Command::Preferences)->isEnabled());
  EXPECT_FALSE(window().action(Command::NewPlaylist)->isEnabled());
  ASSERT_TRUE(waitFor([&] { return window().timeView()->value() >= 1; }));
  EXPECT_EQ(window().slider()->value(), window().timeView()->value());
  ASSERT_TRUE(waitFor([&] { return window().signalPath()->text().contains("bit-perfect"); }));
  EXPECT_EQ(window().signalPath()->text().toStdString(), "FLAC 16-bit 96 kHz \u2192 PCM 96 kHz 24-bit, bit-perfect");
  EXPECT_EQ(controller_->timeStatusText().rfind("track remain 0:00:0", 0), 0u) << controller_->timeStatusText();

  trigger(Command::Pause);
  ASSERT_TRUE(waitFor([&] { return controller_->isPaused(); }));
  EXPECT_TRUE(window().light(kPlaying)->isBlinking());
  EXPECT_TRUE(window().action(Command::Pause)->isChecked());
  trigger(Command::Pause);
  ASSERT_TRUE(waitFor([&] { return !controller_->isPaused(); }));
  EXPECT_FALSE(window().light(kPlaying)->isBlinking());
  EXPECT_TRUE(lit(kPlaying));

  window().button(Command::Stop)->click();
  ASSERT_TRUE(waitFor([&] { return !controller_->isPlaying() && controller_->playbackState() == 0; }));
  turn();
  EXPECT_EQ(lights(), std::vector<bool>(8, false));
  EXPECT_FALSE(window().slider()->isEnabled());
  EXPECT_EQ(window().slider()->value(), 0);
  EXPECT_EQ(window().timeView()->value(), 0);
  EXPECT_TRUE(window().signalPath()->text().isEmpty());
  EXPECT_TRUE(window().action(Command::Stop)->isChecked());
  EXPECT_TRUE(window().action(Command::Preferences)->isEnabled());
}

TEST_F(AppDelegateTest, ADsfTrackLightsItsLightAndShowsNativeDsdOnACapableDevice) {
  defaults().set(TkConfig::kDeviceNameKey, sonara::Value("DAC B"));
  defaults().synchronize();
  launch();
  controller_->addFiles({QString::fromStdString(dsf(3.0))});
  trigger(Command::Play);
  ASSERT_TRUE(waitFor([&] { return lit(kDsfLight) && lit(kPlaying); }));
  EXPECT_FALSE(lit(kFlacLight));
  ASSERT_TRUE(waitFor([&] { return window().signalPath()->text().contains("\u2192"); }));
  EXPECT_EQ(window().signalPath()->text().toStdString(),
            "DSF 2.8224 MHz \u2192 native DSD64 in 32-bit words (DSD_U32)");
}

TEST_F(AppDelegateTest, TheTransportTicksShowTheEngineNotTheLastChoice) {
  launch();
  trigger(Command::Pause);  // nothing plays: the engine stays stopped
  EXPECT_FALSE(window().action(Command::Pause)->isChecked());
  EXPECT_TRUE(window().action(Command::Stop)->isChecked());
  trigger(Command::Play);  // an empty list
  EXPECT_FALSE(window().action(Command::Play)->isChecked());
  EXPECT_TRUE(window().action(Command::Stop)->isChecked());
}

TEST_F(AppDelegateTest, SeekingWithTheSliderMovesPlaybackToTheReleasedSecond) {
  launch();
  controller_->addFiles({QString::fromStdString(track("Long", 10.0))});
  trigger(Command::Play);
  ASSERT_TRUE(waitFor([&] { return window().slider()->isEnabled(); }));
  pelmora::CustomSlider& slider = *window().slider();
  const int y = slider.height() / 2;
  int x = 0;
  while (x < slider.width() && slider.cell().valueForPoint(QPointF(x, y)) < 6.0) ++x;
  const QPoint knob = slider.knobRect().center().toPoint();
  QTest::mousePress(&slider, Qt::LeftButton, {}, knob);
  QTest::mouseMove(&slider, QPoint(x, y));
  // While dragging, the popover shows the knob's time.
  ASSERT_TRUE(waitFor([&] { return controller_->popover()->isShown(); }, 5));
  QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(x, y));
  ASSERT_TRUE(waitFor([&] { return getObject()->currentItemTimestamp >= 6.0; }, 10));
  EXPECT_LT(getObject()->currentItemTimestamp.load(), 8.0);
  EXPECT_FALSE(controller_->popover()->isShown());
  EXPECT_EQ(slider.value(), std::floor(slider.value()));  // whole seconds
}

TEST_F(AppDelegateTest, OrderAndShuffleFollowTheMenusAndOutliveTheProgram) {
  launch();
  trigger(Command::OrderRepeatAll);
  EXPECT_EQ(window().repeatIndicator()->mode(), 2);
  trigger(Command::Shuffle);
  EXPECT_TRUE(window().shuffleIndicator()->isOn());
  trigger(Command::OrderRepeatTitle);
  EXPECT_EQ(window().repeatIndicator()->mode(), 1);
  EXPECT_FALSE(window().action(Command::OrderRepeatAll)->isChecked());
  relaunch();
  EXPECT_EQ(defaults().integer(pelmora::app::kRepeatModeKey), 1);
  EXPECT_TRUE(defaults().boolean(pelmora::app::kShuffleKey));
  EXPECT_TRUE(window().action(Command::OrderRepeatTitle)->isChecked());
  EXPECT_EQ(window().repeatIndicator()->mode(), 1);
  EXPECT_TRUE(window().action(Command::Shuffle)->isChecked());
  EXPECT_TRUE(window().shuffleIndicator()->isOn());
  // The column widths went out as 16 bytes and came back.
  auto widths = defaults().data(pelmora::app::kColumnWidthKey);
  ASSERT_TRUE(widths.has_value());
  EXPECT_EQ(widths->size(), 16u);
}

TEST_F(AppDelegateTest, PreferencesOfferWhatTheDeviceTakesAndRefuseABadThreshold) {
  launch();
  bool dop_on_a = true, native_on_a = true, dop_on_b = false, native_on_b = false;
  QString after_minus_200, after_abc;
  answerNextDialog([&](QDialog& dialog) {
    auto& panel = static_cast<pelmora::PreferencesPanel&>(dialog);
    panel.deviceBox()->setCurrentText("DAC A");
    dop_on_a = panel.decodeModeButton(0)->isEnabled();
    native_on_a = panel.decodeModeButton(1)->isEnabled();
    panel.deviceBox()->setCurrentText("DAC B");
    dop_on_b = panel.decodeModeButton(0)->isEnabled();
    native_on_b = panel.decodeModeButton(1)->isEnabled();
    panel.decodeModeButton(0)->setChecked(true);
    panel.ramModeButton(1)->setChecked(true);
    panel.memoryLimitField()->setValue(250);
    panel.gaplessSwitch()->setChecked(true);
    QLineEdit& threshold = *panel.thresholdField();
    threshold.selectAll();
    QTest::keyClicks(&threshold, "-200");
    after_minus_200 = threshold.text();
    threshold.selectAll();
    QTest::keyClicks(&threshold, "abc");
    after_abc = threshold.text();
    threshold.setText("-60");
    panel.okButton()->click();
  });
  trigger(Command::Preferences);
  EXPECT_TRUE(dop_on_a);  // any device with 24-bit samples carries DoP
  EXPECT_FALSE(native_on_a);
  EXPECT_TRUE(dop_on_b);
  EXPECT_TRUE(native_on_b);
  EXPECT_NE(after_minus_200, "-200");
  EXPECT_TRUE(after_abc.isEmpty() || after_abc == "-" || after_abc == "-20") << after_abc.toStdString();
  TkConfig engine;
  ASSERT_EQ(Toolkit_GetConfiguration(&engine), 0);
  EXPECT_EQ(engine.deviceName(), "DAC B");
  EXPECT_EQ(engine.decodeMode(), 0);
  EXPECT_EQ(engine.ramMode(), 1);
  EXPECT_EQ(engine.ramModeMemoryLimit(), 250);
  EXPECT_TRUE(engine.gaplessMode());
  EXPECT_EQ(engine.gaplessCutoff(), -60);
  EXPECT_EQ(window().deviceBox()->currentText(), "DAC B");
  controller_->terminate();
  EXPECT_EQ(defaults().string(TkConfig::kDeviceNameKey), "DAC B");
  EXPECT_EQ(defaults().integer(TkConfig::kRamModeMemoryLimitKey), 250);
  EXPECT_EQ(defaults().integer(TkConfig::kGaplessCutoffKey), -60);
}

TEST_F(AppDelegateTest, AThresholdOutsideTheRangeKeepsThePanelOpenUntilMended) {
  launch();
  int oks = 0;
  answerNextDialog([&](QDialog& dialog) {
    auto& panel = static_cast<pelmora::PreferencesPanel&>(dialog);
    panel.thresholdField()->setText("0.5");  // set directly, as a paste bypassing the typing check
    panel.okButton()->click();
    oks += panel.isVisible() ? 1 : 0;
    panel.thresholdField()->setText("-192");
    panel.okButton()->click();
  });
  trigger(Command::Preferences);
  EXPECT_EQ(oks, 1);
  TkConfig engine;
  ASSERT_EQ(Toolkit_GetConfiguration(&engine), 0);
  EXPECT_EQ(engine.gaplessCutoff(), -192);
}

TEST_F(AppDelegateTest, PropertiesShowTheSelectedTrack) {
  launch();
  FlacSetup setup{44100, 16, 2, 1.0, {"TITLE=Nocturne", "ARTIST=Quartet"}};
  const std::string path = makeFlac(dir_.path(), "nocturne", setup);
  controller_->addFiles({QString::fromStdString(path)});
  turn();
  // The table's context menu on the row, as a right click opens it.
  auto menu = ui_->qtPlaylistView().table()->contextMenuFor(0);
  ASSERT_TRUE(menu);
  QAction* properties = menu->findChild<QAction*>("properties");
  ASSERT_TRUE(properties && properties->isEnabled());
  properties->trigger();
  pelmora::PropertiesPanel& panel = *controller_->propertiesPanel();
  ASSERT_TRUE(panel.isVisible());
  EXPECT_EQ(panel.titleField()->text(), "Nocturne");
  EXPECT_EQ(panel.artistField()->text(), "Quartet");
  EXPECT_TRUE(panel.fileNameField()->text().contains("nocturne"));
  EXPECT_TRUE(panel.titleField()->isReadOnly());
}

TEST_F(AppDelegateTest, AFailingTrackIsNotedAndTheNoteClearsAfterItWasSeen) {
  launch();
  FlacSetup setup{44100, 16, 2, 2.0, {"TITLE=An Unusually Long Title Of A Track"}};
  const std::string path = makeFlac(dir_.path(), "broken", setup);
  std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
  controller_->addFiles({QString::fromStdString(path)});
  trigger(Command::Play);
  ASSERT_TRUE(waitFor([&] { return !controller_->messageText().empty(); }));
  EXPECT_EQ(controller_->messageText(), "\"An Unusually Long ...\" has been skipped.");
  EXPECT_EQ(window().statusField()->text().toStdString(), controller_->messageText());
  ASSERT_TRUE(waitFor([&] { return controller_->messageText().empty(); }, 10));
  EXPECT_TRUE(window().statusField()->text().isEmpty());
}

TEST_F(AppDelegateTest, PlayingWithoutItsDeviceReportsInTheErrorPanel) {
  defaults().set(TkConfig::kDeviceNameKey, sonara::Value("Unplugged DAC"));
  defaults().synchronize();
  launch();
  EXPECT_EQ(window().deviceBox()->currentText(), "DAC A");  // shown, not chosen
  controller_->addFiles({QString::fromStdString(track("One", 1.0))});
  trigger(Command::Play);
  ASSERT_TRUE(waitFor([&] { return controller_->errorPanel()->isVisible(); }, 5));
  EXPECT_EQ(controller_->errorPanel()->text().toStdString(), "No output device has been selected.\n\n");
  trigger(Command::Play);
  ASSERT_TRUE(waitFor([&] { return controller_->errorPanel()->text().count("selected") == 2; }, 5));
}

// The engine asks before it replaces a changed list; the program asks nothing more.
TEST_F(AppDelegateTest, NewAsksOnceAboutAChangedListAndACancelledSaveKeepsIt) {
  launch();
  controller_->addFiles({QString::fromStdString(track("Kept", 1.0))});
  ASSERT_EQ(playlistCount(), 1u);
  QString asked;
  answerAlertWith("Yes", &asked);
  answerNextDialog([](QDialog& save_panel) { save_panel.reject(); });
  trigger(Command::NewPlaylist);
  EXPECT_EQ(asked, "Playlist has been changed. Do you want to save?");
  EXPECT_EQ(playlistCount(), 1u);
  answerAlertWith("No");
  trigger(Command::NewPlaylist);
  EXPECT_EQ(playlistCount(), 0u);
}

TEST_F(AppDelegateTest, QuittingWithTracksAlwaysAsksAndACancelledSaveKeepsRunning) {
  launch();
  bool approved = false;
  QObject::connect(controller_.get(), &pelmora::AppDelegate::quitApproved, [&] { approved = true; });
  controller_->addFiles({QString::fromStdString(track("One", 1.0))});
  QString asked;
  answerAlertWith("Save", &asked);
  answerNextDialog([](QDialog& save_panel) { save_panel.reject(); });
  window().close();
  EXPECT_EQ(asked, "Do you want to save changes to this playlist before closing?");
  EXPECT_FALSE(approved);
  EXPECT_TRUE(window().isVisible());
  answerAlertWith("Don't Save");
  window().close();
  EXPECT_TRUE(approved);
  turn();
  EXPECT_FALSE(window().isVisible());  // the close went through once agreed
}

TEST_F(AppDelegateTest, QuittingWithAnEmptyListAsksNothing) {
  launch();
  bool approved = false;
  QObject::connect(controller_.get(), &pelmora::AppDelegate::quitApproved, [&] { approved = true; });
  trigger(Command::Quit);
  EXPECT_TRUE(approved);
}

TEST_F(AppDelegateTest, AboutShowsTheVersionTheEngineAndEveryPlugin) {
  launch();
  trigger(Command::About);
  pelmora::AboutPanel& about = *controller_->aboutPanel();
  ASSERT_TRUE(about.isVisible());
  EXPECT_TRUE(about.versionLabel()->text().startsWith("Pelmora  Version " PELMORA_VERSION " (build "));
  EXPECT_TRUE(about.toolkitLabel()->text().startsWith("Toolkit version: "));
  std::vector<TkPluginInfoItem> plugins;
  ASSERT_EQ(Toolkit_GetPluginVersion(&plugins), 0);
  ASSERT_EQ(about.pluginTable()->rowCount(), static_cast<int>(plugins.size()));
  EXPECT_GT(plugins.size(), 0u);
  EXPECT_EQ(about.pluginTable()->item(0, 0)->text().toStdString(), plugins[0].pluginName());
}

}  // namespace
