#include <QApplication>
#include <QLocale>

#include <gtest/gtest.h>

#include <cstdlib>

// Widgets need one QApplication for the whole run; the offscreen platform needs no display.
int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  // Sizes are compared with a thousands separator; pin the locale that writes ",".
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
