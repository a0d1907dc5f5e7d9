#pragma once
// The window's pictures: SVG drawings in the Qt resource, rendered at the size they are shown.
#include <QIcon>
#include <QPixmap>
#include <QString>

// Number of images in each of the two image lists.
inline constexpr int kImageListSize = 8;

// Resource path of a picture by file stem, e.g. PicturePath("info") is ":/pictures/info.svg".
QString PicturePath(const QString& stem);
// Renders the picture at width x height logical pixels (sharp on high-density screens).
QPixmap RenderPicture(const QString& stem, int width, int height);

// ImageList (side bar, 32 x 32): 0 tools, 1 pen, 2 notes, 3 life buoy, 4 framed picture,
// 5 cubes, 6 globe, 7 help. Other indexes give an empty stem.
QString ImageListStem(int index);
// ImageList16 (icon states, log and list images): 0 watching, 1 not watching, 2 copy under way,
// 3 information, 4 warning, 5 error, 6 day, 7 snapshot.
QString ImageList16Stem(int index);

// Image n of ImageList16 as an icon (several sizes, for the tray and lists); null for a bad index.
QIcon ImageList16Icon(int index);
// Image n of ImageList at the given square size; null for a bad index.
QPixmap ImageListPixmap(int index, int size);

// The program's icon for its windows and task-bar entry: the logo's emblem, several sizes.
QIcon ApplicationIcon();
