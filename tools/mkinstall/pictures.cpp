#include "pictures.h"

#include <QFont>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <cmath>

namespace {

// ---------------------------------------------------------------------------
// Common drawing

// The fonts of the installed system: a narrow bold face for headings (the
// pages' own heading face), sans and serif faces for texts.
const char* const kHeadFace = "PT Sans Narrow";
const char* const kSansFace = "Liberation Sans";
const char* const kSymbolFace = "DejaVu Sans";

const QColor kNavy(0x1F, 0x3F, 0x73);
const QColor kSteel(0x5A, 0x7A, 0x9C);
const QColor kInk(0x10, 0x18, 0x28);

// Key panel colours: the keys sit in recesses of the dark key strip, so the
// corners of a key picture take the recess colour.
const QColor kKeyStrip(0x3E, 0x47, 0x50);
const QColor kKeyRecess(0x2C, 0x33, 0x3A);

QImage NewImage(int w, int h, const QColor& background) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(background);
  return img;
}

QFont Font(const char* family, int pixelSize, bool bold = false) {
  QFont f(QString::fromLatin1(family));
  f.setPixelSize(pixelSize);
  f.setBold(bold);
  f.setHintingPreference(QFont::PreferFullHinting);
  return f;
}

// The largest font of the family up to pixelSize in which text fits maxWidth.
QFont FitFont(const char* family, int pixelSize, bool bold, const QString& text, int maxWidth) {
  for (int size = pixelSize; size > 6; --size) {
    const QFont f = Font(family, size, bold);
    if (QFontMetrics(f).horizontalAdvance(text) <= maxWidth) return f;
  }
  return Font(family, 6, bold);
}

void Text(QPainter& p, const QRectF& r, int flags, const QString& text, const QFont& f,
          const QColor& c) {
  p.setFont(f);
  p.setPen(c);
  p.drawText(r, flags, text);
}

// A coil spring seen from the side: the helix is drawn back half first, in a
// lighter tone, then the front half over it, so the coils read as round.
void DrawCoil(QPainter& p, const QRectF& box, double turns, const QColor& front, double wire,
              const QColor& back = QColor()) {
  const QColor backColour = back.isValid() ? back : front.lighter(150);
  const double r = box.width() / 2 - wire / 2;
  const double cx = box.center().x();
  const double e = std::min(r * 0.28, box.height() / turns / 2.5);  // ellipse of one coil
  const double top = box.top() + e + wire / 2;
  const double pitch = (box.height() - 2 * e - wire) / turns;
  const int steps = static_cast<int>(turns * 64);
  auto point = [&](int i) {
    const double a = 2 * M_PI * turns * i / steps;
    return QPointF(cx + r * std::sin(a), top + pitch * a / (2 * M_PI) + e * std::cos(a));
  };
  for (int pass = 0; pass < 2; ++pass) {
    p.setPen(QPen(pass == 0 ? backColour : front, wire, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < steps; ++i) {
      const double a = 2 * M_PI * turns * (i + 0.5) / steps;
      const bool isFront = std::cos(a) > 0;
      if (isFront == (pass == 1)) p.drawLine(point(i), point(i + 1));
    }
  }
}

// The line's emblem: a toothed ring round a coil spring.
void DrawEmblem(QPainter& p, const QPointF& c, double radius) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath gear;
  const int teeth = 18;
  for (int i = 0; i < teeth * 2; ++i) {
    const double a0 = M_PI * i / teeth;
    const double a1 = M_PI * (i + 1) / teeth;
    const double rr = (i % 2 == 0) ? radius : radius * 0.90;
    const QPointF p0 = c + QPointF(rr * std::cos(a0), rr * std::sin(a0));
    const QPointF p1 = c + QPointF(rr * std::cos(a1), rr * std::sin(a1));
    if (i == 0)
      gear.moveTo(p0);
    else
      gear.lineTo(p0);
    gear.lineTo(p1);
  }
  gear.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(kNavy);
  p.drawPath(gear);
  p.setBrush(Qt::white);
  p.drawEllipse(c, radius * 0.80, radius * 0.80);
  QRadialGradient g(c, radius * 0.74);
  g.setColorAt(0, QColor(0xF4, 0xF8, 0xFC));
  g.setColorAt(1, QColor(0xB8, 0xCC, 0xE2));
  p.setBrush(g);
  p.drawEllipse(c, radius * 0.74, radius * 0.74);
  const double w = radius * 0.62;
  DrawCoil(p, QRectF(c.x() - w / 2, c.y() - radius * 0.56, w, radius * 1.12), 4.5, kNavy,
           std::max(1.5, radius * 0.09), kSteel);
  p.restore();
}

// A printer pictogram in the box.
void DrawPrinter(QPainter& p, const QRectF& b) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const double w = b.width(), h = b.height();
  p.setPen(QPen(QColor(0x30, 0x30, 0x30), std::max(1.0, w / 26)));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(b.left() + w * 0.25, b.top(), w * 0.5, h * 0.40));  // paper in
  p.setBrush(QColor(0x60, 0x68, 0x70));
  p.drawRoundedRect(QRectF(b.left(), b.top() + h * 0.32, w, h * 0.42), w * 0.08, w * 0.08);
  p.setBrush(Qt::white);
  p.drawRect(QRectF(b.left() + w * 0.2, b.top() + h * 0.62, w * 0.6, h * 0.38));  // paper out
  p.setPen(QPen(QColor(0x80, 0x80, 0x80), std::max(1.0, w / 40)));
  for (int i = 1; i <= 2; ++i) {
    const double y = b.top() + h * (0.70 + 0.1 * i);
    p.drawLine(QPointF(b.left() + w * 0.28, y), QPointF(b.left() + w * 0.72, y));
  }
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x40, 0xC0, 0x40));
  p.drawEllipse(QPointF(b.left() + w * 0.85, b.top() + h * 0.45), w * 0.05, w * 0.05);
  p.restore();
}

// The press of the line from the front: base, two columns, the crossbeam with
// the cylinder and the press plate; `load` draws what stands on the table.
void DrawPress(QPainter& p, const QRectF& b, double plateY,
               const std::function<void(const QRectF& space)>& load) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const double w = b.width(), h = b.height();
  const QColor frame(0x6A, 0x76, 0x84), dark(0x3A, 0x42, 0x4C);
  QLinearGradient col(b.left(), 0, b.left() + w * 0.08, 0);
  col.setColorAt(0, frame.lighter(130));
  col.setColorAt(1, frame.darker(120));
  p.setPen(QPen(dark, 1));
  p.setBrush(col);
  p.drawRect(QRectF(b.left() + w * 0.06, b.top() + h * 0.08, w * 0.07, h * 0.84));
  p.drawRect(QRectF(b.right() - w * 0.13, b.top() + h * 0.08, w * 0.07, h * 0.84));
  p.setBrush(frame);
  p.drawRect(QRectF(b.left() + w * 0.02, b.top() + h * 0.04, w * 0.96, h * 0.09));  // crossbeam
  p.drawRect(QRectF(b.left(), b.top() + h * 0.90, w, h * 0.08));                    // base
  // Cylinder and rod down to the press plate.
  p.setBrush(QColor(0x8A, 0x96, 0xA4));
  p.drawRect(QRectF(b.center().x() - w * 0.09, b.top() + h * 0.13, w * 0.18, h * 0.10));
  p.setBrush(QColor(0xC8, 0xCE, 0xD6));
  p.drawRect(QRectF(b.center().x() - w * 0.03, b.top() + h * 0.23, w * 0.06,
                    plateY - (b.top() + h * 0.23)));
  p.setBrush(QColor(0x9A, 0xA4, 0xB0));
  p.drawRect(QRectF(b.left() + w * 0.2, plateY, w * 0.6, h * 0.04));
  // Table.
  p.setBrush(QColor(0x9A, 0xA4, 0xB0));
  const double tableY = b.top() + h * 0.85;
  p.drawRect(QRectF(b.left() + w * 0.16, tableY, w * 0.68, h * 0.05));
  const double spaceTop = plateY + h * 0.04;
  load(QRectF(b.left() + w * 0.2, spaceTop, w * 0.6, tableY - spaceTop));
  p.restore();
}

// A cylinder standing in the box, shaded like turned steel.
void DrawCylinder(QPainter& p, const QRectF& r) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const double e = r.width() * 0.14;
  QLinearGradient g(r.left(), 0, r.right(), 0);
  g.setColorAt(0, QColor(0x70, 0x7A, 0x86));
  g.setColorAt(0.35, QColor(0xF0, 0xF3, 0xF6));
  g.setColorAt(1, QColor(0x5A, 0x64, 0x70));
  p.setPen(QPen(QColor(0x30, 0x36, 0x3E), 1.2));
  p.setBrush(g);
  QPainterPath body;
  body.moveTo(r.left(), r.top() + e);
  body.lineTo(r.left(), r.bottom() - e);
  body.arcTo(QRectF(r.left(), r.bottom() - 2 * e, r.width(), 2 * e), 180, 180);
  body.lineTo(r.right(), r.top() + e);
  body.arcTo(QRectF(r.left(), r.top(), r.width(), 2 * e), 0, -180);
  p.drawPath(body);
  p.setBrush(QColor(0xD8, 0xDE, 0xE4));
  p.drawEllipse(QRectF(r.left(), r.top(), r.width(), 2 * e));
  p.restore();
}

void Arrow(QPainter& p, const QPointF& from, const QPointF& to, const QColor& c, double width) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(c, width, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(from, to);
  const QPointF d = to - from;
  const double len = std::hypot(d.x(), d.y());
  const QPointF u = d / len, n(-u.y(), u.x());
  const double s = width * 3.5;
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawPolygon(QPolygonF{to + u * s * 0.4, to - u * s + n * s * 0.6, to - u * s - n * s * 0.6});
  p.restore();
}

// ---------------------------------------------------------------------------
// Key panel

constexpr int kKeyW = 57;
constexpr int kKeyH = 63;
const QString kKeyChars = "1234567890z#abcd";

// What the operator's keypad shows on each key: digits, then "*", "/", "-",
// and the three keypad keys the panel never draws.
QString KeyLabel(int key) {
  static const char* const labels[16] = {"1", "2", "3", "4", "5", "6", "7", "8",
                                         "9", "0", "*", "/", "\xE2\x88\x92", "+",
                                         "\xE2\x86\xB5", "."};
  return QString::fromUtf8(labels[key - 1]);
}

// state: 0 disabled, 1 enabled, 2 pressed.
QImage DrawKey(int key, int state) {
  QImage img = NewImage(kKeyW, kKeyH, kKeyRecess);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  const bool pressed = state == 2;
  QRectF face(1.5, 1.5, kKeyW - 3, kKeyH - 3);
  if (pressed) face = face.adjusted(1, 2, 0, 0);
  const double radius = 8;
  QColor top, bottom, outline, glyph, light, shade;
  switch (state) {
    case 0:
      top = QColor(0x8E, 0x96, 0x9E);
      bottom = QColor(0x7C, 0x84, 0x8C);
      outline = QColor(0x22, 0x28, 0x2E);
      glyph = QColor(0xB2, 0xB8, 0xBE);
      light = QColor(0xA4, 0xAB, 0xB2);
      shade = QColor(0x6A, 0x72, 0x7A);
      break;
    case 1:
      top = QColor(0xFA, 0xFB, 0xFC);
      bottom = QColor(0xC4, 0xCC, 0xD6);
      outline = QColor(0x14, 0x18, 0x1E);
      glyph = kInk;
      light = Qt::white;
      shade = QColor(0x84, 0x8E, 0x9A);
      break;
    default:
      top = QColor(0xF2, 0xA6, 0x2C);
      bottom = QColor(0xFF, 0xD8, 0x80);
      outline = QColor(0x10, 0x10, 0x10);
      glyph = QColor(0x20, 0x10, 0x00);
      light = QColor(0xFF, 0xEC, 0xB8);
      shade = QColor(0xA8, 0x64, 0x08);
      break;
  }
  if (!pressed) {
    // The drop shadow a raised key throws into its recess.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x18, 0x1C, 0x20));
    p.drawRoundedRect(face.translated(1, 1.5), radius, radius);
  }
  QLinearGradient g(0, face.top(), 0, face.bottom());
  g.setColorAt(0, top);
  g.setColorAt(1, bottom);
  p.setPen(QPen(outline, 1.2));
  p.setBrush(g);
  p.drawRoundedRect(face, radius, radius);
  // Bevel: light from the top left on a raised key, from the bottom right on
  // a pushed one.
  const QRectF inner = face.adjusted(2.5, 2.5, -2.5, -2.5);
  QPainterPath tl, br;
  tl.moveTo(inner.left(), inner.bottom() - radius);
  tl.lineTo(inner.left(), inner.top() + radius);
  tl.quadTo(inner.topLeft(), QPointF(inner.left() + radius, inner.top()));
  tl.lineTo(inner.right() - radius, inner.top());
  br.moveTo(inner.right(), inner.top() + radius);
  br.lineTo(inner.right(), inner.bottom() - radius);
  br.quadTo(inner.bottomRight(), QPointF(inner.right() - radius, inner.bottom()));
  br.lineTo(inner.left() + radius, inner.bottom());
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(pressed ? shade : light, 2));
  p.drawPath(tl);
  p.setPen(QPen(pressed ? light : shade, 2));
  p.drawPath(br);

  const QString label = KeyLabel(key);
  const bool symbol = key >= 13;  // minus, plus, enter, point: drawn from the symbol face
  QFont f = symbol ? Font(kSymbolFace, key == 15 ? 30 : 34, true) : Font(kSansFace, 32, true);
  if (key == 12) f = Font(kSansFace, 34, true);
  const QRectF textBox = face.adjusted(0, -1, 0, 0);
  auto drawGlyph = [&](const QPointF& shift, const QColor& c) {
    if (key != 11) {
      Text(p, textBox.translated(shift), Qt::AlignCenter, label, f, c);
      return;
    }
    // The asterisk of a text face is small and sits high; the keypad's is a
    // bold star in the middle of the key.
    const QPointF centre = face.center() + shift;
    p.setPen(QPen(c, 4.5, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 3; ++i) {
      const double a = M_PI / 2 + i * M_PI / 3;
      const QPointF d(11 * std::cos(a), 11 * std::sin(a));
      p.drawLine(centre - d, centre + d);
    }
  };
  if (state == 0) {
    // Engraved look: a light line under the dim glyph.
    drawGlyph(QPointF(0, 1), QColor(0xA8, 0xAE, 0xB4));
    drawGlyph(QPointF(0, 0), QColor(0x66, 0x6E, 0x76));
  } else {
    drawGlyph(QPointF(0, 0), glyph);
  }
  return img;
}

QImage DrawKeyPanel() {
  // Canvas y 618..767: caption strip (captions at 636 and 656), key strip
  // with the keys at 679..741, keypad labels and version at 742..767.
  QImage img = NewImage(1023, 150, QColor(0xB8, 0xC0, 0xC8));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 0, 58);
  g.setColorAt(0, QColor(0xD2, 0xD8, 0xDE));
  g.setColorAt(1, QColor(0xB6, 0xBE, 0xC7));
  p.fillRect(QRect(0, 0, 1023, 58), g);
  p.fillRect(QRect(0, 0, 1023, 2), QColor(0x2E, 0x36, 0x40));
  p.fillRect(QRect(0, 2, 1023, 1), QColor(0xF4, 0xF6, 0xF8));
  // Caption strip: light, so that the black captions read at a glance.
  p.setPen(QPen(QColor(0x9A, 0xA4, 0xAE), 1));
  p.setBrush(QColor(0xE8, 0xEC, 0xF0));
  p.drawRoundedRect(QRectF(6.5, 13.5, 1009, 42), 6, 6);
  // Key strip.
  p.fillRect(QRect(0, 58, 1023, 92), kKeyStrip);
  p.fillRect(QRect(0, 58, 1023, 2), QColor(0x1E, 0x24, 0x2A));
  p.fillRect(QRect(0, 124, 1023, 1), QColor(0x56, 0x60, 0x6A));
  p.setPen(Qt::NoPen);
  p.setBrush(kKeyRecess);
  for (int k = 1; k <= 13; ++k) {
    const int x = 74 * k - 28 - 1;  // panel drawn from canvas x = 1
    p.drawRoundedRect(QRectF(x - 3, 61 - 3, kKeyW + 6, kKeyH + 5), 9, 9);
  }
  return img;
}

// ---------------------------------------------------------------------------
// Headers

void DrawHeaderBackground(QPainter& p, int w, int h) {
  QLinearGradient g(0, 0, 0, h);
  g.setColorAt(0, QColor(0x16, 0x2C, 0x4A));
  g.setColorAt(1, QColor(0x2C, 0x57, 0x86));
  p.fillRect(QRect(0, 0, w, h), g);
  // Fine diagonal ribbing, like the brushed cover plates of the line.
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(255, 255, 255, 18), 1));
  for (int x = -h; x < w; x += 6) p.drawLine(x, h, x + h, 0);
  p.fillRect(QRect(0, h - 4, w, 2), QColor(0x8F, 0xB3, 0xD9));
  p.fillRect(QRect(0, h - 2, w, 2), QColor(0x0C, 0x18, 0x28));
}

QImage DrawHeader(int w) {
  QImage img = NewImage(w, 110, Qt::black);
  QPainter p(&img);
  DrawHeaderBackground(p, w, 110);
  if (w > 1024) {
    // The wide layout shifts the pages 168 pixels right: the free band left
    // of the title carries the emblem, the one right of the clock the name.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 40));
    p.setRenderHint(QPainter::Antialiasing);
    p.drawEllipse(QPointF(84, 54), 47, 47);
    DrawEmblem(p, QPointF(84, 54), 44);
    const QRectF right(1180, 10, w - 1186, 90);
    Text(p, right.adjusted(0, 6, 0, -40), Qt::AlignHCenter | Qt::AlignTop,
         QString::fromUtf8("KALVOR-М"), Font(kHeadFace, 34, true), Qt::white);
    Text(p, right.adjusted(0, 52, 0, 0), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
         QString::fromUtf8("линия измерения\nи сортировки пружин"), Font(kSansFace, 12),
         QColor(0xC8, 0xDA, 0xEE));
  }
  return img;
}

// ---------------------------------------------------------------------------
// Emblem, line picture and process stages

QImage DrawEmblemSmall() {
  QImage img = NewImage(110, 100, Qt::white);
  QPainter p(&img);
  DrawEmblem(p, QPointF(55, 50), 46);
  return img;
}

QImage DrawEmblemPrint() {
  QImage img = NewImage(360, 360, Qt::white);
  QPainter p(&img);
  DrawEmblem(p, QPointF(180, 160), 150);
  p.setRenderHint(QPainter::TextAntialiasing);
  Text(p, QRectF(0, 316, 360, 44), Qt::AlignCenter, QString::fromUtf8("KALVOR-М"),
       Font(kHeadFace, 40, true), kNavy);
  return img;
}

QImage DrawLinePicture() {
  QImage img = NewImage(240, 280, Qt::white);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  DrawPress(p, QRectF(6, 4, 228, 272), 60, [&](const QRectF& s) {
    DrawCoil(p, QRectF(s.center().x() - 46, s.top(), 92, s.height()), 6.5, kNavy, 6, kSteel);
  });
  // The cameras on the columns look at the spring from both sides.
  const QColor cam(0x22, 0x2A, 0x34), beam(0xE0, 0x30, 0x30, 170);
  for (int side = 0; side < 2; ++side) {
    const double x = side == 0 ? 8 : 206;
    for (int i = 0; i < 2; ++i) {
      const double y = 110 + i * 70;
      p.setPen(Qt::NoPen);
      p.setBrush(cam);
      p.drawRoundedRect(QRectF(x, y, 26, 16), 3, 3);
      p.setBrush(QColor(0x60, 0xA0, 0xE0));
      p.drawEllipse(QPointF(side == 0 ? x + 26 : x, y + 8), 4, 4);
      p.setPen(QPen(beam, 1.5, Qt::DashLine));
      p.drawLine(QPointF(side == 0 ? x + 30 : x - 4, y + 8),
                 QPointF(side == 0 ? 72 : 168, y + 8));
    }
  }
  return img;
}

QImage DrawStage(int stage, int state) {
  static const char* const names[4] = {"Инициализация", "Сканирование", "Расчет", "Нагружение"};
  static const char* const states[3] = {"ожидание", "выполняется...", "выполнено"};
  QImage img = NewImage(140, 68, Qt::white);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  QColor fill, border, disc, text;
  switch (state) {
    case 1:
      fill = QColor(0xE6, 0xE9, 0xEC);
      border = QColor(0x9A, 0xA2, 0xAA);
      disc = QColor(0x9A, 0xA2, 0xAA);
      text = QColor(0x5A, 0x62, 0x6A);
      break;
    case 2:
      fill = QColor(0xFF, 0xE6, 0x9A);
      border = QColor(0xE0, 0x98, 0x00);
      disc = QColor(0xF0, 0x90, 0x00);
      text = QColor(0x40, 0x28, 0x00);
      break;
    default:
      fill = QColor(0xCC, 0xEE, 0xC6);
      border = QColor(0x2E, 0x8B, 0x3A);
      disc = QColor(0x2E, 0x9A, 0x3A);
      text = QColor(0x10, 0x40, 0x18);
      break;
  }
  p.setPen(QPen(border, 2));
  p.setBrush(fill);
  p.drawRoundedRect(QRectF(2, 2, 136, 64), 9, 9);
  p.setPen(Qt::NoPen);
  p.setBrush(disc);
  p.drawEllipse(QPointF(24, 34), 16, 16);
  if (state == 3) {
    p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF{QPointF(16, 34), QPointF(22, 41), QPointF(33, 27)});
  } else {
    Text(p, QRectF(8, 18, 32, 32), Qt::AlignCenter, QString::number(stage),
         Font(kSansFace, 20, true), Qt::white);
  }
  const QString name = QString::fromUtf8(names[stage - 1]);
  Text(p, QRectF(46, 10, 90, 26), Qt::AlignLeft | Qt::AlignVCenter, name,
       FitFont(kHeadFace, 19, true, name, 88), text);
  Text(p, QRectF(46, 36, 90, 20), Qt::AlignLeft | Qt::AlignVCenter,
       QString::fromUtf8(states[state - 1]), Font(kSansFace, 11, state == 2), text);
  return img;
}

// ---------------------------------------------------------------------------
// Status strip icons (40 x 40 and smaller)

QImage DrawModeIcon(int mode) {
  // 0 full measurement, 1 fast, 2 accelerated.
  static const QColor colours[3] = {QColor(0x2E, 0x7D, 0x4F), QColor(0xD9, 0x8A, 0x00),
                                    QColor(0xB8, 0x32, 0x28)};
  static const char* const labels[3] = {"ПОЛН.", "БЫСТР.", "УСКОР."};
  QImage img = NewImage(40, 40, QColor(0xC0, 0xC0, 0xC0));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(colours[mode].darker(150), 1));
  p.setBrush(colours[mode]);
  p.drawRoundedRect(QRectF(0.5, 0.5, 39, 39), 6, 6);
  const QColor ink = Qt::white;
  if (mode == 0) {
    DrawCoil(p, QRectF(12, 3, 16, 23), 3.5, ink, 2.2, QColor(0xB0, 0xD8, 0xC0));
  } else if (mode == 1) {
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPolygon(QPolygonF{QPointF(23, 2), QPointF(12, 16), QPointF(19, 16), QPointF(15, 27),
                            QPointF(28, 11), QPointF(21, 11), QPointF(25, 2)});
  } else {
    p.setPen(QPen(ink, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF{QPointF(9, 7), QPointF(17, 15), QPointF(9, 23)});
    p.drawPolyline(QPolygonF{QPointF(21, 7), QPointF(29, 15), QPointF(21, 23)});
  }
  Text(p, QRectF(0, 27, 40, 12), Qt::AlignCenter, QString::fromUtf8(labels[mode]),
       Font(kSansFace, 9, true), ink);
  return img;
}

QImage DrawPrinterIcon(bool toFile) {
  QImage img = NewImage(40, 40, QColor(0xC0, 0xC0, 0xC0));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0x70, 0x78, 0x80), 1));
  p.setBrush(QColor(0xF2, 0xF4, 0xF6));
  p.drawRoundedRect(QRectF(0.5, 0.5, 39, 39), 6, 6);
  if (!toFile) {
    DrawPrinter(p, QRectF(5, 6, 30, 28));
  } else {
    // A sheet going into a file: a page with a folded corner and a disk.
    DrawPrinter(p, QRectF(3, 4, 20, 19));
    QPainterPath page;
    page.moveTo(18, 14);
    page.lineTo(30, 14);
    page.lineTo(36, 20);
    page.lineTo(36, 37);
    page.lineTo(18, 37);
    page.closeSubpath();
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.drawLine(QPointF(30, 14), QPointF(30, 20));
    p.drawLine(QPointF(30, 20), QPointF(36, 20));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1F, 0x5F, 0xB0));
    p.drawRect(QRectF(21, 24, 12, 11));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(23, 24, 8, 4));
  }
  return img;
}

QImage DrawSpringIcon() {
  // The shift's measurement count is written over the middle of this picture
  // in blue, so the spring is drawn pale.
  QImage img = NewImage(40, 42, QColor(0xC0, 0xC0, 0xC0));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(0.5, 0.5, 39, 41), 6, 6);
  DrawCoil(p, QRectF(7, 3, 26, 36), 4.5, QColor(0x9C, 0xB4, 0xCC), 2.6, QColor(0xD2, 0xDE, 0xEA));
  return img;
}

QImage DrawWagon() {
  QImage img = NewImage(86, 62, Qt::white);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor body(0x8A, 0x3A, 0x2A);
  p.setPen(QPen(body.darker(160), 1));
  p.setBrush(body);
  p.drawRect(QRectF(4, 12, 78, 28));
  p.setPen(QPen(body.lighter(140), 1.5));
  for (int x = 12; x < 82; x += 10) p.drawLine(QPointF(x, 14), QPointF(x, 38));
  p.setPen(QPen(body.darker(170), 1));
  p.drawLine(QPointF(4, 16), QPointF(82, 16));
  // Frame and bogies.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x30, 0x30, 0x30));
  p.drawRect(QRectF(2, 40, 82, 4));
  for (int b = 0; b < 2; ++b) {
    const double cx = b == 0 ? 21 : 65;
    p.setBrush(QColor(0x40, 0x48, 0x50));
    p.drawRoundedRect(QRectF(cx - 17, 43, 34, 6), 2, 2);
    // The spring set of the bogie, marked in the line's colour.
    p.setBrush(QColor(0xF0, 0xB0, 0x20));
    p.drawRect(QRectF(cx - 3, 42, 6, 7));
    p.setBrush(QColor(0x20, 0x20, 0x20));
    for (int w = -1; w <= 1; w += 2) p.drawEllipse(QPointF(cx + w * 10, 52), 6.5, 6.5);
    p.setBrush(QColor(0xA0, 0xA8, 0xB0));
    for (int w = -1; w <= 1; w += 2) p.drawEllipse(QPointF(cx + w * 10, 52), 2, 2);
  }
  p.setPen(QPen(QColor(0x60, 0x60, 0x60), 2));
  p.drawLine(QPointF(0, 59.5), QPointF(86, 59.5));
  return img;
}

QImage DrawMiniPrinter() {
  QImage img = NewImage(26, 20, Qt::white);
  QPainter p(&img);
  DrawPrinter(p, QRectF(1, 1, 24, 18));
  return img;
}

// ---------------------------------------------------------------------------
// Calibration pages

QImage DrawCalibrationMode() {
  QImage img = NewImage(950, 380, Qt::white);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  // The press with the reference cylinder.
  p.setPen(QPen(QColor(0xC8, 0xD4, 0xE0), 1));
  p.setBrush(QColor(0xF3, 0xF6, 0xFA));
  p.drawRoundedRect(QRectF(10, 10, 320, 360), 12, 12);
  DrawPress(p, QRectF(40, 26, 260, 330), 110, [&](const QRectF& s) {
    const double ch = s.height() * 0.72;
    DrawCylinder(p, QRectF(s.center().x() - 48, s.bottom() - ch, 96, ch));
  });
  Arrow(p, QPointF(170, 112), QPointF(170, 130), QColor(0xD0, 0x30, 0x30), 3);

  const QRectF textArea(360, 14, 576, 356);
  Text(p, QRectF(360, 10, 576, 60), Qt::AlignLeft | Qt::AlignVCenter,
       QString::fromUtf8("Режим калибровки"), Font(kHeadFace, 48, true), kNavy);
  p.fillRect(QRectF(360, 72, 570, 3), QColor(0x1F, 0x3F, 0x73));
  Text(p, QRectF(360, 84, 576, 60), Qt::AlignLeft | Qt::TextWordWrap,
       QString::fromUtf8("Высота пружин на линии отсчитывается от эталонного цилиндра "
                         "известной высоты. Поправка хранится в файле Calibrate.txt."),
       Font(kSansFace, 18), kInk);
  struct Item {
    const char* key;
    const char* title;
    const char* text;
  };
  const Item items[3] = {
      {"1", "Привязка к цилиндру",
       "Цилиндр измеряется, разница его высоты и измеренной записывается как поправка."},
      {"5", "Проверка цилиндром",
       "Повторный замер с поправкой: сравните показанную высоту с высотой цилиндра."},
      {"\xE2\x88\x92", "Возврат", "Выход в меню настройки без замера."},
  };
  double y = 156;
  for (const Item& it : items) {
    const QRectF key(362, y, 44, 48);
    p.setPen(QPen(QColor(0x14, 0x18, 0x1E), 1.2));
    QLinearGradient g(0, key.top(), 0, key.bottom());
    g.setColorAt(0, QColor(0xFA, 0xFB, 0xFC));
    g.setColorAt(1, QColor(0xC4, 0xCC, 0xD6));
    p.setBrush(g);
    p.drawRoundedRect(key, 7, 7);
    Text(p, key, Qt::AlignCenter, QString::fromUtf8(it.key),
         Font(it.key[0] == '1' || it.key[0] == '5' ? kSansFace : kSymbolFace, 26, true), kInk);
    Text(p, QRectF(420, y - 4, 516, 26), Qt::AlignLeft | Qt::AlignVCenter,
         QString::fromUtf8(it.title), Font(kSansFace, 20, true), kNavy);
    Text(p, QRectF(420, y + 22, 516, 44), Qt::AlignLeft | Qt::TextWordWrap,
         QString::fromUtf8(it.text), Font(kSansFace, 16), QColor(0x30, 0x38, 0x40));
    y += 70;
  }
  return img;
}

QImage DrawCylinderPlacement() {
  QImage img = NewImage(350, 350, Qt::white);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  DrawPress(p, QRectF(20, 36, 310, 300), 92, [&](const QRectF& s) {
    const double ch = s.height() * 0.70;
    DrawCylinder(p, QRectF(s.center().x() - 55, s.bottom() - ch, 110, ch));
  });
  // Centre line and the arrows that ask for the cylinder in the middle.
  const double cx = 175;
  p.setPen(QPen(QColor(0xD0, 0x30, 0x30), 1.5, Qt::DashDotLine));
  p.drawLine(QPointF(cx, 128), QPointF(cx, 330));
  Arrow(p, QPointF(70, 250), QPointF(112, 250), QColor(0xD0, 0x30, 0x30), 3);
  Arrow(p, QPointF(280, 250), QPointF(238, 250), QColor(0xD0, 0x30, 0x30), 3);
  Text(p, QRectF(0, 2, 350, 30), Qt::AlignCenter,
       QString::fromUtf8("Цилиндр - по центру стола"), Font(kSansFace, 18, true), kNavy);
  return img;
}

// ---------------------------------------------------------------------------
// Sorting pages

QImage DrawSetScheme() {
  // Seven places of a side frame's spring set, outer spring with the inner
  // one inside; 3К and 5К stand under the friction wedges.
  QImage img = NewImage(186, 118, Qt::white);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setPen(QPen(QColor(0x70, 0x78, 0x82), 2));
  p.setBrush(QColor(0xEC, 0xEF, 0xF2));
  p.drawRoundedRect(QRectF(4, 3, 178, 112), 8, 8);
  struct Place {
    double x, y;
    const char* label;
    bool wedge;
  };
  const Place places[7] = {{63, 22, "1", false},  {123, 22, "2", false}, {33, 59, "3К", true},
                           {93, 59, "4", false},  {153, 59, "5К", true}, {63, 96, "6", false},
                           {123, 96, "7", false}};
  for (const Place& pl : places) {
    p.setPen(QPen(kNavy, 2));
    p.setBrush(pl.wedge ? QColor(0xFF, 0xD8, 0x90) : QColor(0xC8, 0xDA, 0xEE));
    p.drawEllipse(QPointF(pl.x, pl.y), 17, 17);
    p.setPen(QPen(kNavy, 1.2));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(pl.x, pl.y), 11, 11);
    Text(p, QRectF(pl.x - 12, pl.y - 9, 24, 18), Qt::AlignCenter, QString::fromUtf8(pl.label),
         Font(kSansFace, pl.wedge ? 10 : 12, true), kInk);
  }
  // The wedges beside the outer places.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xC0, 0x60, 0x10));
  p.drawPolygon(QPolygonF{QPointF(8, 48), QPointF(14, 59), QPointF(8, 70)});
  p.drawPolygon(QPolygonF{QPointF(178, 48), QPointF(172, 59), QPointF(178, 70)});
  return img;
}

QImage DrawAssembledSet() {
  QImage img = NewImage(400, 300, Qt::white);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setPen(QPen(QColor(0xA0, 0xA8, 0xB2), 1));
  p.setBrush(QColor(0xF4, 0xF6, 0xF9));
  p.drawRoundedRect(QRectF(1, 1, 398, 298), 10, 10);
  Text(p, QRectF(0, 6, 400, 34), Qt::AlignCenter, QString::fromUtf8("Комплект подобран"),
       Font(kHeadFace, 28, true), kNavy);
  // Side frame bottom shelf and the bolster end above the springs.
  const QColor frame(0x4A, 0x54, 0x60);
  p.setPen(Qt::NoPen);
  p.setBrush(frame);
  p.drawRect(QRectF(20, 258, 360, 22));
  p.drawRect(QRectF(20, 190, 18, 70));
  p.drawRect(QRectF(362, 190, 18, 70));
  p.setBrush(QColor(0x6A, 0x76, 0x84));
  p.drawRect(QRectF(60, 56, 280, 34));
  // Wedges between the bolster and the columns.
  p.setBrush(QColor(0xC0, 0x60, 0x10));
  p.drawPolygon(QPolygonF{QPointF(40, 56), QPointF(60, 56), QPointF(60, 120), QPointF(40, 90)});
  p.drawPolygon(
      QPolygonF{QPointF(360, 56), QPointF(340, 56), QPointF(340, 120), QPointF(360, 90)});
  // Three double springs in the side view of the set.
  for (int i = 0; i < 3; ++i) {
    const double cx = 110 + i * 90;
    DrawCoil(p, QRectF(cx - 26, 96, 52, 160), 5.5, QColor(0xB0, 0x60, 0x20), 3.0,
             QColor(0xE8, 0xC0, 0x90));
    DrawCoil(p, QRectF(cx - 40, 92, 80, 166), 6.0, kNavy, 5.5, kSteel);
  }
  Text(p, QRectF(0, 282, 400, 16), Qt::AlignCenter,
       QString::fromUtf8("наружная и внутренняя пружины в каждом месте"), Font(kSansFace, 12),
       QColor(0x40, 0x48, 0x50));
  return img;
}

// ---------------------------------------------------------------------------
// Statistics page

QImage DrawStatisticsBanner() {
  QImage img = NewImage(300, 110, Qt::white);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  // A report sheet with bars.
  QPainterPath sheet;
  sheet.moveTo(10, 6);
  sheet.lineTo(66, 6);
  sheet.lineTo(84, 24);
  sheet.lineTo(84, 104);
  sheet.lineTo(10, 104);
  sheet.closeSubpath();
  p.setPen(QPen(QColor(0x50, 0x58, 0x60), 1.5));
  p.setBrush(QColor(0xF8, 0xF9, 0xFB));
  p.drawPath(sheet);
  p.drawLine(QPointF(66, 6), QPointF(66, 24));
  p.drawLine(QPointF(66, 24), QPointF(84, 24));
  const int bars[5] = {22, 44, 60, 36, 16};
  for (int i = 0; i < 5; ++i) {
    p.setPen(Qt::NoPen);
    p.setBrush(i == 2 ? QColor(0x2E, 0x8B, 0x3A) : kSteel);
    p.drawRect(QRectF(18 + i * 12, 96 - bars[i], 9, bars[i]));
  }
  Text(p, QRectF(98, 14, 200, 44), Qt::AlignLeft | Qt::AlignVCenter,
       QString::fromUtf8("Статистика"), Font(kHeadFace, 38, true), kNavy);
  Text(p, QRectF(100, 60, 198, 40), Qt::AlignLeft | Qt::TextWordWrap,
       QString::fromUtf8("годные пружины по каждому параметру"), Font(kSansFace, 14),
       QColor(0x40, 0x48, 0x50));
  return img;
}

QImage DrawToleranceChart() {
  // The statistics page writes its totals at y = 460 below this picture
  // (drawn at y = 340), so it keeps within 116 pixels.
  QImage img = NewImage(360, 116, Qt::white);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  const double left = 20, right = 344, base = 94;
  const double minX = 92, maxX = 272;
  p.fillRect(QRectF(minX, 16, maxX - minX, base - 16), QColor(0xE4, 0xF4, 0xE2));
  const int n = 27;
  const double w = (right - left) / n;
  for (int i = 0; i < n; ++i) {
    const double x = left + i * w;
    const double z = (i - 13.0) / 5.5;
    const double h = 70 * std::exp(-z * z / 2) + 3;
    const bool good = x + w / 2 > minX && x + w / 2 < maxX;
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(good ? QColor(0x3A, 0x9A, 0x4A) : QColor(0xD0, 0x3A, 0x30));
    p.drawRect(QRectF(x, base - h, w, h));
  }
  p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1.5));
  p.drawLine(QPointF(left - 4, base), QPointF(right + 4, base));
  p.setPen(QPen(kNavy, 1.5, Qt::DashLine));
  p.drawLine(QPointF(minX, 12), QPointF(minX, base));
  p.drawLine(QPointF(maxX, 12), QPointF(maxX, base));
  const QFont f = Font(kSansFace, 13, true);
  Text(p, QRectF(left, base + 2, minX - left, 18), Qt::AlignCenter, QString::fromUtf8("брак"), f,
       QColor(0xC0, 0x30, 0x28));
  Text(p, QRectF(minX, base + 2, maxX - minX, 18), Qt::AlignCenter, QString::fromUtf8("норма"), f,
       QColor(0x2E, 0x7D, 0x3A));
  Text(p, QRectF(maxX, base + 2, right - maxX, 18), Qt::AlignCenter, QString::fromUtf8("брак"), f,
       QColor(0xC0, 0x30, 0x28));
  Text(p, QRectF(minX - 30, 0, 60, 12), Qt::AlignCenter, "Min", Font(kSansFace, 11), kNavy);
  Text(p, QRectF(maxX - 30, 0, 60, 12), Qt::AlignCenter, "Max", Font(kSansFace, 11), kNavy);
  return img;
}

std::vector<TPicture> BuildPictures() {
  std::vector<TPicture> list;
  auto add = [&](const QString& name, int w, int h, std::function<QImage()> draw) {
    list.push_back({name, w, h, std::move(draw)});
  };
  for (int k = 1; k <= 16; ++k) {
    const QString c = kKeyChars.mid(k - 1, 1);
    add("_" + c + "np.bmp", kKeyW, kKeyH, [k] { return DrawKey(k, 0); });
    add(c + "np.bmp", kKeyW, kKeyH, [k] { return DrawKey(k, 1); });
    add(c + "p.bmp", kKeyW, kKeyH, [k] { return DrawKey(k, 2); });
  }
  add("panel1024.bmp", 1023, 150, DrawKeyPanel);
  add("hst.bmp", 1024, 110, [] { return DrawHeader(1024); });
  add("HD2.bmp", 1360, 110, [] { return DrawHeader(1360); });
  add("emblem.bmp", 110, 100, DrawEmblemSmall);
  add("emblemp.bmp", 360, 360, DrawEmblemPrint);
  add("Kalvor.bmp", 240, 280, DrawLinePicture);
  for (int stage = 1; stage <= 4; ++stage)
    for (int state = 1; state <= 3; ++state)
      add(QString("PROC%1_%2.bmp").arg(stage).arg(state), 140, 68,
          [stage, state] { return DrawStage(stage, state); });
  add("nomimim.bmp", 40, 40, [] { return DrawModeIcon(0); });
  add("mimim.bmp", 40, 40, [] { return DrawModeIcon(1); });
  add("fast.bmp", 40, 40, [] { return DrawModeIcon(2); });
  add("printik.bmp", 40, 40, [] { return DrawPrinterIcon(false); });
  add("printikf.bmp", 40, 40, [] { return DrawPrinterIcon(true); });
  add("spring.bmp", 40, 42, DrawSpringIcon);
  add("miniVNE.bmp", 86, 62, DrawWagon);
  add("Miniprinter.bmp", 26, 20, DrawMiniPrinter);
  add("redj.bmp", 950, 380, DrawCalibrationMode);
  add("nori.bmp", 350, 350, DrawCylinderPlacement);
  add("dorlen.bmp", 186, 118, DrawSetScheme);
  add("prug2.bmp", 400, 300, DrawAssembledSet);
  add("nopage.bmp", 300, 110, DrawStatisticsBanner);
  add("perror.bmp", 360, 116, DrawToleranceChart);
  return list;
}

}  // namespace

const std::vector<TPicture>& AllPictures() {
  static const std::vector<TPicture> list = BuildPictures();
  return list;
}

QImage ContactSheet(const std::vector<std::pair<QString, QImage>>& pictures) {
  // Pictures laid out in rows no wider than the sheet, each with its name.
  const int sheetW = 1400, gap = 10, label = 16;
  int x = gap, y = gap, rowH = 0;
  std::vector<QPoint> at;
  for (const auto& [name, img] : pictures) {
    const int w = std::max(img.width(), 60);
    if (x + w > sheetW - gap) {
      x = gap;
      y += rowH + label + gap;
      rowH = 0;
    }
    at.emplace_back(x, y);
    x += w + gap;
    rowH = std::max(rowH, img.height());
  }
  QImage sheet = NewImage(sheetW, y + rowH + label + gap, QColor(0x70, 0x78, 0x80));
  QPainter p(&sheet);
  for (size_t i = 0; i < pictures.size(); ++i) {
    const QImage& img = pictures[i].second;
    p.drawImage(at[i], img);
    Text(p, QRectF(at[i].x(), at[i].y() + img.height() + 1, std::max(img.width(), 60), label),
         Qt::AlignLeft | Qt::AlignTop, pictures[i].first, Font(kSansFace, 10), Qt::white);
  }
  return sheet;
}
