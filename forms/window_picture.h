#pragma once
// A picture of a window as it is drawn, without a display (the offscreen
// platform draws too): for checking the layout by eye.

#include <QString>

class QWidget;

// Renders the widget with its children into a PNG file; false on failure.
bool RenderToPng(QWidget* widget, const QString& path);
