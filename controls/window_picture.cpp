#include "controls/window_picture.h"

#include <QPixmap>
#include <QWidget>

bool RenderToPng(QWidget* widget, const QString& path)
{
    if (!widget)
        return false;
    widget->ensurePolished();
    const QPixmap picture = widget->grab();
    return !picture.isNull() && picture.save(path, "PNG");
}
