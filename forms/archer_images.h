#pragma once
// The lane tree's pictures: a list of small images of one size, and the two
// the lane tree uses, drawn here.

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPixmap>

class TImageList : public QObject {
    Q_OBJECT
public:
    TImageList(int width, int height, QObject* parent = nullptr);

    int Count() const { return static_cast<int>(images_.size()); }
    // Appends an image of the list's size; answers its index.
    int Add(const QPixmap& image);
    const QPixmap& Image(int index) const { return images_.at(index); }

private:
    int width_;
    int height_;
    QList<QPixmap> images_;
};

// Image indexes of the lane tree's nodes.
inline constexpr int LaneImage = 0;
inline constexpr int ArcherImage = 1;

// 16 by 16, transparent around the picture: a landscape, sky over green hills.
QPixmap DrawLandscapeImage();
// 16 by 16, transparent around the picture: a person, head and shoulders.
QPixmap DrawPersonImage();
