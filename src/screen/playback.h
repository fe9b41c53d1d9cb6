#pragma once
// The playback harness: a script of steps, one per line ('#' starts a
// comment), played from the message pump whatever is in front: the canvas,
// a modal service form or a message box.
//
//   key K            types the character of key code K (1..9, 10 "0", 11 "*", 12 "/", 13 "-")
//   type TEXT        types TEXT into the key buffer; \e is Escape, \\ a backslash
//   click X Y [right]  a mouse press on the canvas
//   wait MS          the next step runs MS milliseconds later on the program's clock
//   snap FILE        saves the canvas as PNG (relative to the working folder)
//   press NAME       clicks the button / check box / radio button NAME in the
//                    window in front (a message box's button by its text)
//   set NAME TEXT    sets the text of the edit field NAME in the window in front
//   dump FILE        writes the window in front as text: class name, caption,
//                    then "name<TAB>text" per named control, followed by
//                    "<TAB>(hidden)" and "<TAB>(disabled)" when it is so;
//                    of the main window, "captionK<TAB>x y w h" per key
//                    caption drawn on the canvas
//   grab FILE        saves a picture of the window in front as PNG
//   close            closes the window in front as its close button would
//   realtime [off]   from here on (until "realtime off"), wait steps last
//                    their real milliseconds too and waits in front of a modal
//                    form or message box pass in real time, for scripts that
//                    watch a form's own timers or act from outside the
//                    program; otherwise the virtual clock jumps over them
//   exit             ends the program at once (exit code 0)
//
// Under the virtual clock a script that has run out ends the program with
// exit code 3 once the program has gone on for 30 s of its own time after the
// last step (after the end of a trailing wait), so that nothing waits forever.

#include <QString>
#include <QStringList>

class QWidget;

struct PlaybackStep {
  QString verb;
  QStringList args;  // the words after the verb
  QString rest;      // everything after the verb, as written
  int line = 0;
};

// Parses a script; on an unknown verb or a malformed step returns false with
// the line named in *error.
bool ParsePlaybackScript(const QString& text, QList<PlaybackStep>* steps, QString* error);

// Loads and starts a script; false with a message when it can't be read.
bool StartPlayback(const QString& mappedPath, QString* error);
bool PlaybackActive();

// The window the steps act on.
QWidget* FrontWindow();
// The text dump of a window, as the dump step writes it.
QString DumpWindow(QWidget* window);
// Translates the escapes of a type step.
QString PlaybackTypeText(const QString& text);

// The main form registers itself: the front window when no other is.
void SetPlaybackMainWindow(QWidget* window);

constexpr int kExitScriptRanOut = 3;
