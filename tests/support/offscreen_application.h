// One Qt application for a whole test program, made by the first test that needs it,
// on Qt's offscreen platform: no display is needed and none is drawn on.
#pragma once

#include <QApplication>

inline QApplication& testApplication() {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "pelmora_tests";
  static char* argv[] = {name, nullptr};
  static auto* app = [] {
    auto* created = new QApplication(argc, argv);
    QApplication::setApplicationName("Pelmora");
    return created;
  }();
  return *app;
}
