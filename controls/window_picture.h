#pragma once
// A picture of a window as it is drawn, without a display (the offscreen
// platform draws too): the screenshots of the points window and the board,
// and the tests' pictures for checking the layout by eye.

#include <QString>

class QWidget;

// Renders the widget with its children into a PNG file; false on failure.
bool RenderToPng(QWidget* widget, const QString& path);
