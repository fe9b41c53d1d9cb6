#include <QStringList>

#include "screen/screen.h"

QStringList WrapText(const QString& text, int width) {
  QStringList lines;
  for (const QString& paragraph : text.split('\n')) {
    QString line;
    for (QString word : paragraph.split(' ', Qt::SkipEmptyParts)) {
      const QString longer = line.isEmpty() ? word : line + ' ' + word;
      if (TextWidth(longer) <= width) {
        line = longer;
        continue;
      }
      if (!line.isEmpty()) lines << line;
      // A word wider than the line (a file's path) is cut where it must be.
      while (word.size() > 1 && TextWidth(word) > width) {
        int n = word.size() - 1;
        while (n > 1 && TextWidth(word.left(n)) > width) --n;
        lines << word.left(n);
        word = word.mid(n);
      }
      line = word;
    }
    lines << line;
  }
  return lines;
}
