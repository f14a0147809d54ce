// screengrab: saves a picture of the whole X screen once something is drawn on it.
//
//   screengrab OUTPUT.png [TIMEOUT_MS]
//
// Grabs the root window of the display every 200 ms until the picture holds a window
// (more than a handful of distinct colours) or the time runs out. Exits 0 when the saved
// picture is not blank, 1 when it is, 2 when it cannot grab or save.
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QSet>
#include <QThread>
#include <cstdio>

namespace {

// Distinct colours of a sample of the picture's pixels; a blank screen has one.
int distinctColours(const QImage& image) {
  QSet<QRgb> colours;
  const int step = 7;
  for (int y = 0; y < image.height(); y += step)
    for (int x = 0; x < image.width(); x += step) colours.insert(image.pixel(x, y));
  return static_cast<int>(colours.size());
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: screengrab OUTPUT.png [TIMEOUT_MS]\n");
    return 2;
  }
  const int timeoutMs = argc > 2 ? std::atoi(argv[2]) : 15000;
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) {
    std::fprintf(stderr, "screengrab: no screen\n");
    return 2;
  }
  QImage picture;
  int colours = 0;
  for (int waited = 0; waited <= timeoutMs; waited += 200) {
    picture = screen->grabWindow(0).toImage();
    colours = distinctColours(picture);
    if (colours > 16) break;
    QThread::msleep(200);
  }
  if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "screengrab: cannot grab or save the screen\n");
    return 2;
  }
  std::printf("screengrab: %dx%d, %d colours in the sample\n", picture.width(), picture.height(),
              colours);
  return colours > 16 ? 0 : 1;
}
