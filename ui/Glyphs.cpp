#include "ui/Glyphs.h"

#include <QBitmap>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstring>
#include <span>

namespace velmor::ui {

namespace {

// --- glyphs from rows of letters ---------------------------------------------------------------------
// One letter a pixel: 'k' black outline, 'y' olive body, 'l' yellow lit flap, 'a' navy arrow; any other
// letter is magenta. The colour of the lower-left pixel (magenta in every glyph) is drawn transparent.

constexpr const char* kOpenFolder[12] = {
    "..............",  //
    ".kkkk.........",  //
    "kyyyyk........",  //
    "kyyyyykkkkkk..",  //
    "kyyyyyyyyyyk..",  //
    "kyykkkkkkkkkkk",  //
    "kyklllllllllk.",  //
    "kkllllllllllk.",  //
    "kklllllllllk..",  //
    "kllllllllllk..",  //
    "kkkkkkkkkkk...",  //
    "..............",  //
};

constexpr const char* kDirectoryGlyph[12] = {
    "........aaa...",  //
    ".......a...a..",  //
    "...........a.a",  //
    ".kkk.......aaa",  //
    "kyyyk.......a.",  //
    "kyyyykkkkkk...",  //
    "kyykkkkkkkkkkk",  //
    "kyklllllllllk.",  //
    "kkllllllllllk.",  //
    "kklllllllllk..",  //
    "kkkkkkkkkkk...",  //
    "..............",  //
};

QPixmap GlyphFromRows(std::span<const char* const> rows) {
  const int height = static_cast<int>(rows.size());
  const int width = height > 0 ? static_cast<int>(std::strlen(rows[0])) : 0;
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      QColor colour(255, 0, 255);
      switch (rows[static_cast<size_t>(y)][x]) {
        case 'k':
          colour = QColor(0, 0, 0);
          break;
        case 'y':
          colour = QColor(128, 128, 0);
          break;
        case 'l':
          colour = QColor(255, 255, 0);
          break;
        case 'a':
          colour = QColor(0, 0, 128);
          break;
        default:
          break;
      }
      image.setPixelColor(x, y, colour);
    }
  }
  QPixmap pixmap = QPixmap::fromImage(image);
  if (height > 0)
    pixmap.setMask(pixmap.createMaskFromColor(image.pixelColor(0, height - 1), Qt::MaskInColor));
  return pixmap;
}

// --- the menu pictures -------------------------------------------------------------------------------
// All drawn on a 16 × 16 grid with a one-pixel dark outline, so they read well on light and dark
// menus alike.

const QColor kOutline(60, 60, 60);
const QColor kFolder(240, 200, 80);
const QColor kPaper(250, 250, 250);
const QColor kRed(200, 40, 40);
const QColor kGreen(40, 150, 60);
const QColor kBlue(50, 100, 190);

void DrawFolder(QPainter& p, const QRectF& r) {
  QPainterPath path;
  path.moveTo(r.left(), r.top() + 2);
  path.lineTo(r.left() + r.width() * 0.4, r.top() + 2);
  path.lineTo(r.left() + r.width() * 0.5, r.top());
  path.lineTo(r.right(), r.top());
  path.lineTo(r.right(), r.bottom());
  path.lineTo(r.left(), r.bottom());
  path.closeSubpath();
  p.setPen(QPen(kOutline, 1));
  p.setBrush(kFolder);
  p.drawPath(path);
  p.drawLine(QPointF(r.left(), r.top() + 4), QPointF(r.right(), r.top() + 4));
}

void DrawPage(QPainter& p, const QRectF& r) {
  p.setPen(QPen(kOutline, 1));
  p.setBrush(kPaper);
  p.drawRect(r);
  p.setPen(QPen(QColor(150, 150, 150), 1));
  for (qreal y = r.top() + 3; y < r.bottom() - 1; y += 2) {
    p.drawLine(QPointF(r.left() + 2, y), QPointF(r.right() - 2, y));
  }
}

void DrawCross(QPainter& p, const QRectF& r) {
  p.setPen(QPen(kRed, 2.2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(r.topLeft(), r.bottomRight());
  p.drawLine(r.topRight(), r.bottomLeft());
}

void DrawNetworkDrive(QPainter& p) {
  p.setPen(QPen(kOutline, 1));
  p.setBrush(QColor(190, 190, 200));
  p.drawRoundedRect(QRectF(1.5, 3.5, 13, 6), 1.5, 1.5);
  p.setBrush(kGreen);
  p.drawRect(QRectF(11.5, 5.5, 1.5, 1.5));
  p.setPen(QPen(kBlue, 1.5));
  p.drawLine(QPointF(8, 9.5), QPointF(8, 13));
  p.drawLine(QPointF(3, 13.5), QPointF(13, 13.5));
}

QPixmap Draw(int tag) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  switch (tag) {
    case 1:  // new folder: a folder with a green plus
      DrawFolder(p, QRectF(0.5, 3.5, 12, 10));
      p.setPen(QPen(kGreen, 2));
      p.drawLine(QPointF(12.5, 1), QPointF(12.5, 8));
      p.drawLine(QPointF(9, 4.5), QPointF(16, 4.5));
      break;
    case 2:  // rename: a folder with a pencil
      DrawFolder(p, QRectF(0.5, 3.5, 12, 10));
      p.setPen(QPen(kOutline, 1));
      p.setBrush(kBlue);
      p.drawPolygon(QPolygonF(
          {QPointF(8, 14), QPointF(9, 11), QPointF(14.5, 5.5), QPointF(16, 7), QPointF(10.5, 12.5)}));
      break;
    case 3:  // delete: a folder with a red cross
      DrawFolder(p, QRectF(0.5, 3.5, 12, 10));
      DrawCross(p, QRectF(9, 8, 6, 6));
      break;
    case 4: {  // cut: scissors
      p.setPen(QPen(kOutline, 1.3));
      p.drawLine(QPointF(4, 1), QPointF(10.5, 10));
      p.drawLine(QPointF(12, 1), QPointF(5.5, 10));
      p.setBrush(Qt::NoBrush);
      p.setPen(QPen(kRed, 1.6));
      p.drawEllipse(QRectF(1.5, 9.5, 5, 5));
      p.drawEllipse(QRectF(9.5, 9.5, 5, 5));
      break;
    }
    case 5:  // copy: two pages
      DrawPage(p, QRectF(1.5, 1.5, 8, 10));
      DrawPage(p, QRectF(6.5, 4.5, 8, 10));
      break;
    case 6:  // paste: a clipboard with a page
      p.setPen(QPen(kOutline, 1));
      p.setBrush(QColor(170, 120, 60));
      p.drawRoundedRect(QRectF(1.5, 2.5, 10, 12), 1, 1);
      p.setBrush(QColor(200, 200, 200));
      p.drawRect(QRectF(4.5, 1.5, 4, 2.5));
      DrawPage(p, QRectF(7.5, 6.5, 7, 8.5));
      break;
    case 7:  // tree size: a folder with a bar chart
      DrawFolder(p, QRectF(0.5, 3.5, 15, 11));
      p.setPen(Qt::NoPen);
      p.setBrush(kBlue);
      p.drawRect(QRectF(3, 10, 2.5, 3));
      p.drawRect(QRectF(7, 8, 2.5, 5));
      p.drawRect(QRectF(11, 6, 2.5, 7));
      break;
    case 8:  // folder contents: a folder with a page on it
      DrawFolder(p, QRectF(0.5, 5.5, 13, 9));
      DrawPage(p, QRectF(7.5, 1.5, 7, 9));
      break;
    case 9:  // connect: a network drive with a green plug
      DrawNetworkDrive(p);
      p.setPen(QPen(kGreen, 2, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(12, 11), QPointF(15, 11));
      p.drawLine(QPointF(13.5, 9.5), QPointF(13.5, 12.5));
      break;
    case 10:  // disconnect: a network drive with a red cross
      DrawNetworkDrive(p);
      DrawCross(p, QRectF(10.5, 9.5, 5, 5));
      break;
    default:
      break;
  }
  return pixmap;
}

}  // namespace

QPixmap OpenFolderGlyph() {
  static const QPixmap glyph = GlyphFromRows(kOpenFolder);
  return glyph;
}

QPixmap DirectoryEditGlyph() {
  static const QPixmap glyph = GlyphFromRows(kDirectoryGlyph);
  return glyph;
}

QIcon TreeMenuIcon(int tag) {
  static QHash<int, QIcon> cache;
  auto found = cache.constFind(tag);
  if (found != cache.constEnd()) return *found;
  QIcon icon(Draw(tag));
  cache.insert(tag, icon);
  return icon;
}

}  // namespace velmor::ui
