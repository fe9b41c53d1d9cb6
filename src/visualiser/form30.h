#pragma once
// TForm30, the mathematics visualiser: a service window in which an engineer
// runs the profile processing step by step and watches each step's picture.
// Its buttons run the steps and chains of the profile mathematics, the same
// ones the measurement runs; the form shows what the visualiser, their
// observer, drew. It lives for the whole run; closing it only hides it.

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

class TForm30 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm30(QWidget* parent = nullptr);
  ~TForm30() override;

  QGroupBox* GroupBox1;
  QLabel* Image1;
  QLineEdit* Edit1;
  QPushButton* Button1;
  QPushButton* Button2;
  QToolButton* SpeedButton1;
  QToolButton* SpeedButton2;
  QToolButton* SpeedButton3;
  QToolButton* SpeedButton4;
  QToolButton* SpeedButton5;
  QToolButton* SpeedButton6;
  QToolButton* SpeedButton7;
  QToolButton* SpeedButton8;
  QToolButton* SpeedButton9;
  QToolButton* SpeedButton10;
  QToolButton* SpeedButton11;
  QToolButton* SpeedButton12;
  QToolButton* SpeedButton13;
  QToolButton* SpeedButton14;
  QLabel* Label1;
  QLabel* Label2;
  QPushButton* Button3;
  QPushButton* Button4;
  QPushButton* Button5;
  QPushButton* Button6;
  QPushButton* Button7;
  QPushButton* Button8;
  QCheckBox* CheckBox1;
  QPlainTextEdit* Memo1;

  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Button4Click();
  void Button5Click();
  void Button6Click();
  void Button7Click();
  void Button8Click();
  void SpeedButton1Click();
  void SpeedButton2Click();
  void SpeedButton3Click();
  void SpeedButton4Click();
  void SpeedButton5Click();
  void SpeedButton6Click();
  void SpeedButton7Click();
  void SpeedButton8Click();
  void SpeedButton9Click();
  void SpeedButton10Click();
  void SpeedButton11Click();
  void SpeedButton12Click();
  void SpeedButton13Click();
  void SpeedButton14Click();
  void CheckBox1Click();
  void Edit1Change();

  // Shows the visualiser's current picture, caption and texts.
  void Refresh();

  // Where Button8 saves the picture ("sc.bmp" in the working folder).
  static QString SavedPictureName();
};

// The one visualiser of the program (created at start-up).
extern TForm30* Form30;

// Shows the visualiser modally (at start-up, after a measurement, on "!");
// returns when it is closed. Nothing happens while no visualiser exists.
void ShowMathVisualiser();
