#pragma once
// A window whose children end their edits as it goes (a field losing the focus when the
// window closes on the way out) must not hear of it: by then it is half destroyed.

class QWidget;

namespace platform {

// Cuts `window` off from the application's focus changes and from every signal of its
// children. Its destructor calls it first.
void releaseSignals(QWidget* window);

} // namespace platform
