#pragma once
// The picture and the texts of the mathematics visualiser. It observes the
// profile mathematics: every step it reports is drawn here whether or not the
// form is on the screen (the measurement drives the chains while the form is
// hidden); the form TForm30 shows this state and is told when it changes.

#include <QImage>
#include <QString>
#include <QStringList>
#include <functional>

constexpr int kVisualiserWidth = 1020;
constexpr int kVisualiserHeight = 602;
constexpr char kVisualiserCaption[] = "Визуализатор математики";

struct TVisualiser {
  QImage image;                   // Image1's picture
  QRgb penColour = 0x000000;      // the colour of the last line drawn
  bool endMarks = true;           // CheckBox1 "Отчерк завершения"
  QString caption;                // the form's caption
  QString springSearch;           // Label1
  QStringList report;             // Memo1
  std::function<void()> changed;  // the form refreshes itself from here
};

extern TVisualiser Visualiser;

// Tests: a blank picture, the captions of a new form, no report.
void ResetVisualiser();

// Draws the four profiles, the axes, the grid and the texts.
void RedrawProfiles();
// The blue mark of every chosen coil's peak, over the current picture.
void DrawPeakMarkers();
void SetVisualiserCaption(const QString& caption);

// The spring search of the "?" button; nothing does the search, so it
// reports no spring.
void SpringSearch();

// The coil report of camera 1 ("Фильтр Вельдина") into the report lines.
void CoilReport();

// Makes the visualiser the observer of the profile mathematics: new profiles
// are redrawn, found peaks marked, and the diameter (with the spring type it
// points to and the bogie type in use) or the non-perpendicularity becomes
// the caption.
void ConnectVisualiser();

// A modal message of the profile mathematics under the visualiser's caption
// (nothing without a widget application).
void ShowVisualiserMessage(const QString& text);
