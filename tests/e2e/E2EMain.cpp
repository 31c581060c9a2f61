#include <QCoreApplication>

#include <gtest/gtest.h>

// The tests drive other processes; an application object lets the waits process socket events.
int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
