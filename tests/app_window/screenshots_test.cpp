// Renders the player as a person sees it into PNG files: the main window playing a
// DSF and a FLAC track, the preferences and the about panel. The README shows them;
// they are written to $PELMORA_SCREENSHOTS, else to the test's working folder.
#include <QDir>
#include <QImage>
#include <QPixmap>

#include <cstdlib>

#include <QLabel>

#include "app/widgets/lcd_time_view.h"
#include "app/window/about_panel.h"
#include "app/window/preferences_panel.h"
#include "support/byte_output.h"
#include "support/dsf_writer.h"
#include "window_fixture.h"

namespace {

using pelmora::app::Command;

class ScreenshotsTest : public WindowFixture {
 protected:
  QString folder() {
    const char* chosen = std::getenv("PELMORA_SCREENSHOTS");
    QDir dir(chosen && *chosen ? QString(chosen) : QDir::currentPath() + "/screenshots");
    dir.mkpath(".");
    return dir.absolutePath();
  }
  // Saves a widget as drawn, and checks that something was drawn: an image of one
  // colour means a widget that never painted.
  void save(QWidget& widget, const QString& name) {
    const QImage image = widget.grab().toImage();
    ASSERT_FALSE(image.isNull()) << name.toStdString();
    int colours_seen = 0;
    QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height() && colours_seen == 0; y += 3) {
      for (int x = 0; x < image.width(); x += 3) {
        if (image.pixel(x, y) != first) {
          colours_seen = 1;
          break;
        }
      }
    }
    EXPECT_EQ(colours_seen, 1) << name.toStdString() << " is blank";
    const QString path = folder() + "/" + name + ".png";
    ASSERT_TRUE(image.save(path)) << path.toStdString();
  }
  // Plays `files` and waits until the signal path shows the device's side.
  void playUntilShown(const QStringList& files) {
    controller_->addFiles(files);
    trigger(Command::Play);
    ASSERT_TRUE(waitFor([&] { return window().signalPath()->text().contains("\u2192"); }));
    ASSERT_TRUE(waitFor([&] { return window().timeView()->value() >= 2; }));
  }
};

TEST_F(ScreenshotsTest, TheWindowPlayingAndThePanels) {
  defaults().set(TkConfig::kDeviceNameKey, sonara::Value("DAC B"));
  defaults().set(TkConfig::kDecodeModeKey, sonara::Value(0));
  defaults().synchronize();
  launch();
  window().resize(860, 520);
  DsfSetup setup;
  setup.audio.assign(2, std::vector<uint8_t>(static_cast<size_t>(2822400 / 8 * 6), 0x69));
  const std::string dsf = dir_.file("Sonata in D.dsf");
  writeFile(dsf, buildDsf(setup));
  FlacSetup flac_setup{96000, 24, 2, 6.0, {"TITLE=Fifths", "ARTIST=Pelmora demo"}};
  const std::string flac = makeFlac(dir_.path(), "toccata", flac_setup);  // after the DSF
  playUntilShown({QString::fromStdString(dsf), QString::fromStdString(flac)});
  save(window(), "window-dsf");
  trigger(Command::Next);
  ASSERT_TRUE(waitFor([&] { return window().signalPath()->text().startsWith("FLAC"); }));
  ASSERT_TRUE(waitFor([&] { return window().timeView()->value() >= 2; }));
  save(window(), "window-flac");
  trigger(Command::Stop);

  sonara::platform::answerNextDialog([&](QDialog& dialog) {
    dialog.adjustSize();
    save(dialog, "preferences");
    dialog.reject();
  });
  trigger(Command::Preferences);
  trigger(Command::About);
  ASSERT_TRUE(waitFor([&] { return controller_->aboutPanel()->isVisible(); }, 5));
  save(*controller_->aboutPanel(), "about");
}

}  // namespace
