#pragma once
// The camera range form: one camera measurement at a time, showing where the
// camera sees the spring in camera units and, through the camera's
// calibration table, in millimetres. A service window, shown at start-up when
// [Mathem] DalnomerEnable is on. What it computes (the range value of a reply
// and the calibration tables) belongs to the module in DALNOMER/.

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTimer;

class TForm40 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm40(QWidget* parent = nullptr);

  // The camera chosen: the checked one of RadioButton2..8, else 1.
  int SelectedCamera() const;

  void Button1Click();  // "Замер": one camera measurement
  void Button2Click();  // "Закрыть"
  void Button3Click();  // "Выход": ends the program at once
  void Button4Click();  // "ON": switches the chosen camera on
  void Button5Click();  // "OFF": switches it off

  // Shows a camera position and its distance; a table that can't give the
  // distance is named in Label4 instead.
  void ShowRange(int camera, int value);

  QGroupBox* GroupBox1;
  QRadioButton* RadioButton1;
  QRadioButton* RadioButton2;
  QRadioButton* RadioButton3;
  QRadioButton* RadioButton4;
  QRadioButton* RadioButton5;
  QRadioButton* RadioButton6;
  QRadioButton* RadioButton7;
  QRadioButton* RadioButton8;
  QPushButton* Button1;
  QPushButton* Button2;
  QPushButton* Button3;
  QPushButton* Button4;
  QPushButton* Button5;
  QCheckBox* CheckBox1;  // "Автозамер": kept on the form, it does nothing
  QLabel* Label1;        // "В ПЗС"
  QLabel* Label2;        // the position in camera units
  QLabel* Label3;        // "в ММ"
  QLabel* Label4;        // the distance in millimetres
  QTimer* Timer1;        // 500 ms, never started, no handler

 private:
  QRadioButton* radio(int n) const;
};
