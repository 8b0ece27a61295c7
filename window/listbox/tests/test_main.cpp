#include "window/listbox/tests/tests.h"

#include <QApplication>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  int failures = 0;
  failures += runRowIndexTests(argc, argv);
  failures += runTextCursorTests(argc, argv);
  failures += runListTextBoxTests(argc, argv);
  return failures == 0 ? 0 : 1;
}
