#pragma once
// The assembly form "Сборка": a small window beside the operator screen that
// fills the spring lists of the selection page with ready-made sets, so that
// the selection and the set pages can be tried without entering fourteen
// springs by hand. A right click on the screen shows it while the selection
// page is open; it never blocks the page.

#include <QDialog>
#include <array>
#include <cstdint>

class QPushButton;

class QTimer;

class TForm2 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm2(QWidget* parent = nullptr);

  // Each button appends its seven groups to the inner and to the outer list
  // (a list that would pass its capacity of 190 takes none), sorts them and
  // redraws the page's status and counter.
  void Button1Click();  // "9-6"
  void Button3Click();  // "8-5"
  void Button4Click();  // "7-4"
  void Button5Click();  // "6-3"
  void Button6Click();  // "5-2"
  void Button7Click();  // "4-1"

  // Shows the form at its place without taking the keys from the page.
  void ShowBeside();

  QPushButton* Button1;
  QPushButton* Button3;
  QPushButton* Button4;
  QPushButton* Button5;
  QPushButton* Button6;
  QPushButton* Button7;

  // The groups a button with top group `top` appends: top, top, top - 1,
  // top - 1, top - 2, top - 2, top - 3.
  static std::array<uint8_t, 7> ReadySet(int top);

 private:
  QTimer* watchPage_ = nullptr;  // hides the form once the selection page has closed
};

extern TForm2* Form2;
