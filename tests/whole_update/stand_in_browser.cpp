// The browser of the whole-update tests, installed as
// "C:\Program Files\Ostrel\Application\chrome.exe": it does nothing but run,
// so the updater sees a browser, until its standard input ends. Closing the
// pipe closes the browser, and a test that dies closes it too.
#include <windows.h>

int wmain() {
  HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  char buffer[256];
  DWORD read = 0;
  while (::ReadFile(input, buffer, sizeof buffer, &read, nullptr) && read > 0) {
  }
  return 0;
}
