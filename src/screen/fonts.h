#pragma once
// The Windows font names the pages use, mapped to installed fonts with
// Cyrillic, and sized in points at 96 dots per inch.

#include <QFont>
#include <QString>

// "Impact" -> PT Sans Narrow Bold; the Times spellings -> Liberation Serif;
// "Arial" -> Liberation Sans; "Courier" and "Courier New" -> Liberation Mono
// ("CourierNew" without the blank falls back to Liberation Sans);
// "Tahoma" -> the Wine Tahoma; "Segoe UI" -> DejaVu Sans. Unknown names get
// Liberation Sans.
QFont PageFont(const QString& name, int points, bool bold);
// The installed family a page font name stands for.
QString PageFontFamily(const QString& name);
// Pixel height of the em for a size in points on a 96 dpi screen.
int PointsToPixels(int points);
