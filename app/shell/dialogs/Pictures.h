#pragma once

#include <QImage>
#include <QSize>

// The program's pictures, drawn here rather than shipped as files: the main
// window's client-area background (ImageFond), the logo drawn in its centre
// (ImageLogo, transparent around the drawing), the About box's picture and
// the desktop icon that the installation carries (packaging/).
//
// Threads: any thread (QImage painting is thread-safe); the results are cached
// by the callers in the GUI thread.
namespace Pictures {

// A vertical gradient: every pixel of a row has the same colour, so stretching
// it to any size keeps it smooth.
QImage background();
// The logo: a CAN controller chip on its bus with the program's name, on a
// fully transparent ground (its corners are transparent).
QImage logo();
// The About box's picture, 145 pixels wide and 160 high, stretched by the box.
QImage aboutPicture();
// The desktop icon, size x size pixels: the chip on its bus on a rounded
// square, transparent outside it. No text, so no font is needed.
QImage icon(int size);

}  // namespace Pictures
