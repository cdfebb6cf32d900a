#pragma once
// One look for every window: the Fusion style with a dark palette.

class QApplication;

namespace shell {

void applyDarkFusion(QApplication& application);

} // namespace shell
