#include <QStringList>

#include "screen/screen.h"

namespace {

// Where a word too wide for a line may be broken: after these characters.
bool BreaksAfter(QChar c) {
  return QStringLiteral("/\\-_.,:").contains(c);
}

// The longest head of `word` that fits `width`, ending after a separator
// when one lies in its second half; at least one character.
int FittingHead(const QString& word, int width) {
  int n = word.size() - 1;
  while (n > 1 && TextWidth(word.left(n)) > width) --n;
  for (int k = n; k > n / 2 && k > 1; --k)
    if (BreaksAfter(word[k - 1])) return k;
  return n;
}

}  // namespace

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
      while (word.size() > 1 && TextWidth(word) > width) {
        const int n = FittingHead(word, width);
        lines << word.left(n);
        word = word.mid(n);
      }
      line = word;
    }
    lines << line;
  }
  return lines;
}

int PutWrappedText(int x, int y, int width, int lineHeight, int maxLines, const QString& text) {
  QStringList lines = WrapText(text, width);
  if (lines.size() > maxLines) {
    lines = lines.mid(0, maxLines);
    QString& last = lines.back();
    while (!last.isEmpty() && TextWidth(last + "...") > width) last.chop(1);
    last += "...";
  }
  for (int i = 0; i < lines.size(); ++i) PutText(x, y + lineHeight * i, lines[i]);
  return static_cast<int>(lines.size());
}
