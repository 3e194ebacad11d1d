// The program's own pictures, drawn in code.
#include "Images.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

const QColor Ink(0x2b, 0x4c, 0x7e), Paper(0xfb, 0xfb, 0xf4), Green(0x2e, 0x9a, 0x4e), Red(0xc8, 0x32, 0x2b);

// A sheet with a folded corner and lines of text, in the square (X, Y, S).
void Sheet(QPainter& P, qreal X, qreal Y, qreal W, qreal H) {
  const qreal Fold = W * 0.3;
  QPainterPath Path;
  Path.moveTo(X, Y);
  Path.lineTo(X + W - Fold, Y);
  Path.lineTo(X + W, Y + Fold);
  Path.lineTo(X + W, Y + H);
  Path.lineTo(X, Y + H);
  Path.closeSubpath();
  P.setPen(QPen(Ink, W / 14));
  P.setBrush(Paper);
  P.drawPath(Path);
  P.drawLine(QPointF(X + W - Fold, Y), QPointF(X + W - Fold, Y + Fold));
  P.drawLine(QPointF(X + W - Fold, Y + Fold), QPointF(X + W, Y + Fold));
  P.setPen(QPen(Ink.lighter(140), W / 12, Qt::SolidLine, Qt::RoundCap));
  for (int I = 0; I < 4; ++I) {
    const qreal LY = Y + H * (0.38 + 0.15 * I);
    P.drawLine(QPointF(X + W * 0.18, LY), QPointF(X + W * (I == 3 ? 0.55 : 0.82), LY));
  }
}

// A thick arrow pointing right, its tip at (X, Y), Size long.
void Arrow(QPainter& P, qreal X, qreal Y, qreal Size, const QColor& Colour) {
  QPainterPath Path;
  const qreal T = Size * 0.18;
  Path.moveTo(X, Y);
  Path.lineTo(X - Size * 0.45, Y - Size * 0.4);
  Path.lineTo(X - Size * 0.45, Y - T);
  Path.lineTo(X - Size, Y - T);
  Path.lineTo(X - Size, Y + T);
  Path.lineTo(X - Size * 0.45, Y + T);
  Path.lineTo(X - Size * 0.45, Y + Size * 0.4);
  Path.closeSubpath();
  P.setPen(QPen(Colour.darker(130), Size / 16));
  P.setBrush(Colour);
  P.drawPath(Path);
}

// A round badge with a letter.
void Badge(QPainter& P, const QColor& Colour, const QString& Letter) {
  P.setPen(QPen(Colour.darker(140), 1.5));
  P.setBrush(Colour);
  P.drawEllipse(QRectF(3, 3, 26, 26));
  QFont F = P.font();
  F.setPixelSize(19);
  F.setBold(true);
  P.setFont(F);
  P.setPen(Qt::white);
  P.drawText(QRectF(3, 3, 26, 26), Qt::AlignCenter, Letter);
}

QPixmap Draw(TImage Image) {
  QPixmap Pixmap(32, 32);
  Pixmap.fill(Qt::transparent);
  QPainter P(&Pixmap);
  P.setRenderHint(QPainter::Antialiasing);
  switch (Image) {
    case TImage::OpenFile: {
      // A folder with a sheet coming out of it.
      P.setPen(QPen(QColor(0x9a, 0x6a, 0x10), 1.5));
      P.setBrush(QColor(0xf0, 0xc0, 0x50));
      P.drawRoundedRect(QRectF(2, 9, 28, 20), 2, 2);
      Sheet(P, 9, 3, 15, 18);
      P.setPen(QPen(QColor(0x9a, 0x6a, 0x10), 1.5));
      P.setBrush(QColor(0xf8, 0xd8, 0x70));
      QPainterPath Front;
      Front.moveTo(2, 29);
      Front.lineTo(6, 15);
      Front.lineTo(31, 15);
      Front.lineTo(28, 29);
      Front.closeSubpath();
      P.drawPath(Front);
      break;
    }
    case TImage::Option: {
      // Three sliders.
      for (int I = 0; I < 3; ++I) {
        const qreal Y = 7 + I * 9;
        P.setPen(QPen(Ink, 2.5, Qt::SolidLine, Qt::RoundCap));
        P.drawLine(QPointF(4, Y), QPointF(28, Y));
        P.setPen(QPen(Ink.darker(120), 1.5));
        P.setBrush(I == 1 ? Green : QColor(0xf0, 0xc0, 0x50));
        P.drawEllipse(QPointF(I == 0 ? 20 : I == 1 ? 10 : 23, Y), 4, 4);
      }
      break;
    }
    case TImage::Extract:
      Sheet(P, 2, 2, 20, 27);
      Arrow(P, 31, 20, 16, Green);
      break;
    case TImage::Stop: {
      // An octagon.
      QPainterPath Path;
      for (int I = 0; I < 8; ++I) {
        const double A = (22.5 + 45 * I) * M_PI / 180;
        const QPointF Pt(16 + 14 * std::cos(A), 16 + 14 * std::sin(A));
        I == 0 ? Path.moveTo(Pt) : Path.lineTo(Pt);
      }
      Path.closeSubpath();
      P.setPen(QPen(Red.darker(140), 1.5));
      P.setBrush(Red);
      P.drawPath(Path);
      P.setPen(Qt::NoPen);
      P.setBrush(Qt::white);
      P.drawRect(QRectF(9, 14, 14, 4));
      break;
    }
    case TImage::Help:
      Badge(P, QColor(0x3a, 0x7b, 0xd5), "?");
      break;
    case TImage::About:
      Badge(P, Ink, "i");
      break;
    case TImage::MoreTools: {
      // Four tiles.
      const QColor Tiles[] = {Ink, Green, QColor(0xf0, 0xc0, 0x50), Red};
      for (int I = 0; I < 4; ++I) {
        P.setPen(QPen(Tiles[I].darker(140), 1));
        P.setBrush(Tiles[I]);
        P.drawRoundedRect(QRectF(3 + (I % 2) * 14, 3 + (I / 2) * 14, 12, 12), 2, 2);
      }
      break;
    }
  }
  return Pixmap;
}

}  // namespace

QIcon ToolbarIcon(TImage Image) { return QIcon(Draw(Image)); }

QPixmap LogoPixmap(int Size) {
  QPixmap Pixmap(Size, Size);
  Pixmap.fill(Qt::transparent);
  QPainter P(&Pixmap);
  P.setRenderHint(QPainter::Antialiasing);
  P.scale(Size / 128.0, Size / 128.0);
  Sheet(P, 14, 8, 76, 108);
  // A "T" on the sheet, for text.
  QFont F = P.font();
  F.setPixelSize(34);
  F.setBold(true);
  P.setFont(F);
  P.setPen(Ink);
  P.drawText(QRectF(20, 14, 40, 36), Qt::AlignCenter, "T");
  Arrow(P, 124, 92, 58, Green);
  return Pixmap;
}
