#pragma once

#include <QWindow>

// Marks the capturer's top-level window so that the device library can find it to raise or close
// it; each system puts the mark where that library looks.
void markCapturerWindow(QWindow *window);
