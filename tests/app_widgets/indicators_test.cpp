#include <gtest/gtest.h>

#include "app/widgets/background_view.h"
#include "app/widgets/custom_text_field_cell.h"
#include "app/widgets/image_store.h"
#include "app/widgets/led_control.h"
#include "app/widgets/mode_indicators.h"
#include "support/log_capture.h"
#include "widget_test_support.h"

namespace pelmora {
namespace {

using test::imageAlone;
using test::processEventsUntil;
using test::render;

bool isBlank(const QImage& image) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qAlpha(image.pixel(x, y)) != 0) return false;
  return true;
}

// The image drawn at the top-left of a larger control, the rest left untouched.
void expectDrawnAtTopLeft(QWidget& control, const char* imageName) {
  const QImage expected = imageAlone(ImageStore::image(imageName));
  const QImage drawn = render(control);
  EXPECT_EQ(drawn.copy(0, 0, expected.width(), expected.height()), expected) << imageName;
  EXPECT_TRUE(isBlank(drawn.copy(expected.width(), 0, drawn.width() - expected.width(), drawn.height())));
}

TEST(ImageStore, HasEveryImageOfTheWindow) {
  for (const char* name :
       {"custom_slider_rail", "custom_slider_knob_on", "custom_slider_knob_off", "font_0", "font_1",
        "font_2", "font_3", "font_4", "font_5", "font_6", "font_7", "font_8", "font_9", "font__",
        "LED_on", "LED_off", "repeat_title", "repeat_all", "shuffle", "pelmora"}) {
    EXPECT_FALSE(ImageStore::naturalSize(name).isEmpty()) << name;
    const QPixmap pixmap = ImageStore::image(name, 2.0);
    EXPECT_EQ(pixmap.size(), ImageStore::naturalSize(name) * 2) << name;
    EXPECT_EQ(pixmap.deviceIndependentSize(), QSizeF(ImageStore::naturalSize(name))) << name;
  }
}

TEST(ImageStore, MissingImageIsNullAndLogged) {
  LogCapture log;
  EXPECT_TRUE(ImageStore::image("no_such_image").isNull());
  EXPECT_EQ(log.lines(), std::vector<std::string>{"image \"no_such_image\" is missing"});
}

TEST(LEDControl, LitLightIsGreenAndDarkLightIsNot) {
  LEDControl led;
  led.resize(20, 20);
  const QPoint centre(7, 7);
  const QRgb dark = render(led).pixel(centre);
  led.setHighlighted(true);
  const QRgb lit = render(led).pixel(centre);
  EXPECT_GT(qGreen(lit), 200);
  EXPECT_GT(qGreen(lit), qRed(lit) + 40);
  EXPECT_LT(qGreen(dark), 100);
  expectDrawnAtTopLeft(led, "LED_on");
  led.setHighlighted(false);
  expectDrawnAtTopLeft(led, "LED_off");
}

TEST(LEDControl, BlinkingTogglesAtOnceThenFromTheEventLoop) {
  LEDControl led;
  led.setBlinking(true);
  EXPECT_TRUE(led.isBlinking());
  EXPECT_TRUE(led.isHighlighted());
  led.setBlinking(true);  // already blinking: no extra toggle
  EXPECT_TRUE(led.isHighlighted());
  ASSERT_TRUE(processEventsUntil([&] { return !led.isHighlighted(); }));
  ASSERT_TRUE(processEventsUntil([&] { return led.isHighlighted(); }));
  led.setBlinking(false);
  EXPECT_FALSE(led.isBlinking());
  EXPECT_TRUE(led.isHighlighted());
}

TEST(LEDControl, TurningBlinkingOffCancelsThePendingToggle) {
  LEDControl led;
  led.setHighlighted(true);
  led.setBlinking(true);
  EXPECT_FALSE(led.isHighlighted());
  led.setBlinking(false);
  // Longer than a blink interval: nothing may toggle the light any more.
  QDeadlineTimer past(LEDControl::kBlinkIntervalMs * 3);
  while (!past.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_FALSE(led.isHighlighted());
}

TEST(RepeatModeIndicator, DrawsTheImageOfItsMode) {
  RepeatModeIndicator indicator;
  indicator.resize(40, 20);
  EXPECT_TRUE(isBlank(render(indicator)));
  indicator.setMode(1);
  expectDrawnAtTopLeft(indicator, "repeat_title");
  indicator.setMode(2);
  expectDrawnAtTopLeft(indicator, "repeat_all");
  EXPECT_NE(imageAlone(ImageStore::image("repeat_all")), imageAlone(ImageStore::image("repeat_title")));
  indicator.setMode(3);
  EXPECT_TRUE(isBlank(render(indicator)));
}

TEST(ShuffleModeIndicator, DrawsTheImageOnlyWhenOn) {
  ShuffleModeIndicator indicator;
  indicator.resize(40, 20);
  EXPECT_TRUE(isBlank(render(indicator)));
  indicator.setOn(true);
  EXPECT_TRUE(indicator.isOn());
  expectDrawnAtTopLeft(indicator, "shuffle");
  indicator.setOn(false);
  EXPECT_TRUE(isBlank(render(indicator)));
}

TEST(BackgroundView, FillsWithOpaqueLightGrey) {
  BackgroundView view;
  view.resize(30, 10);
  const QImage drawn = render(view);
  for (int y = 0; y < drawn.height(); ++y)
    for (int x = 0; x < drawn.width(); ++x) ASSERT_EQ(drawn.pixel(x, y), qRgb(221, 221, 221));
}

struct DrawnDelegate : CustomTextFieldCellDelegate {
  void drawWithFrame(const QRect& rect, QWidget* inView) override {
    ++calls;
    frame = rect;
    view = inView;
  }
  int calls = 0;
  QRect frame;
  QWidget* view = nullptr;
};

TEST(CustomTextFieldCell, TellsItsDelegateAfterDrawing) {
  CustomTextFieldCell field;
  DrawnDelegate delegate;
  field.setDelegate(&delegate);
  field.resize(200, 18);
  field.setText("\"Some Title\" has been skipped.");
  render(field);
  EXPECT_EQ(delegate.calls, 1);
  EXPECT_EQ(delegate.frame, QRect(0, 0, 200, 18));
  EXPECT_EQ(delegate.view, &field);
}

}  // namespace
}  // namespace pelmora
