#pragma once

class QProgressBar;
class QWidget;

// What the launcher's and the installer's windows do alike.
namespace kv::game {

// A busy progress bar (range 0..0) is Qt's spinning indicator; a range of 0..1 at 0 stands still.
void StartAnimation(QProgressBar *bar);
void StopAnimation(QProgressBar *bar);

// Asks the application to quit, from the event loop, so that a request made during start-up or
// inside a handler still finds the loop running. Qt first asks every window to close: a window
// that refuses keeps the program running.
void Terminate();

// Shows window with its frame centred on its screen's free area, then moved drop pixels down.
void ShowCentred(QWidget *window, int drop = 0);

} // namespace kv::game
