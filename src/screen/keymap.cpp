#include "screen/keymap.h"

QString KeyEventChars(int key, Qt::KeyboardModifiers modifiers, const QString& text) {
  if (modifiers & Qt::KeypadModifier) {
    switch (key) {
      case Qt::Key_End: return "1";
      case Qt::Key_Down: return "2";
      case Qt::Key_PageDown: return "3";
      case Qt::Key_Left: return "4";
      case Qt::Key_Clear: return "5";
      case Qt::Key_Right: return "6";
      case Qt::Key_Home: return "7";
      case Qt::Key_Up: return "8";
      case Qt::Key_PageUp: return "9";
      case Qt::Key_Insert: return "0";
      default: break;
    }
  }
  if (key == Qt::Key_Escape) return QString(QChar(27));
  if (key == Qt::Key_Return || key == Qt::Key_Enter) return QString(QChar(13));
  return text;
}
