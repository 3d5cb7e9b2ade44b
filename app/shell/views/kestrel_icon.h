#pragma once

#include <QIcon>
#include <QPixmap>

// The program's picture, drawn rather than shipped: a bird's wing over radio
// waves on a rounded square. Used as the window icon and on the About page.
QPixmap KestrelPicture(int size);
QIcon KestrelIcon();
