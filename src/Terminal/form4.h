#pragma once
// TForm4, the service terminal: a window for service staff that checks the
// links to the controller, the cameras and the CKT test board, works the
// press by hand, polls the sensors, runs the single hardware tests and the
// automatic test of the controller with the board's help, and runs a camera
// scan. The scan itself ("Демо замер") is the link module's CameraScan, the
// one every measurement runs; the terminal shows its lines in Memo1 through
// the link's TerminalMemo hook, which it installs together with the caption
// and "Авто инит" hooks.

#include <QDialog>
#include <QList>
#include <functional>
#include <optional>

#include "link/boardtests.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
namespace plat {
class ClockTimer;
}

class TForm4 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm4(QWidget* parent = nullptr);
  ~TForm4() override;

  QPlainTextEdit* Memo1;  // the indicator list
  QLabel* Label1;         // "ЦК:" and the controller's answer
  QLabel* Label2;         // "Триангулятор1:" .. "Триангулятор4:"
  QLabel* Label3;
  QLabel* Label4;
  QLabel* Label5;
  QLabel* Label8;           // "Плата CKT:"
  QLineEdit* Edit1;         // camera number of "ВКЛ" / "Выкл"
  QLineEdit* LabeledEdit1;  // "Ацп, ед.": force level
  QLineEdit* LabeledEdit2;  // "Пауза ЛИР(мс)": pause between imitated LIR pulses
  QLineEdit* Edit2;         // "Dev" value
  QLineEdit* Edit3;         // LIR count of the LIR group; only its sign matters
  QCheckBox* CheckBox1;     // "Автоопрос датчиков"
  QCheckBox* CheckBox2;     // "Авто инит"
  QProgressBar* ProgressBar1;
  QGroupBox* GroupBox4;  // the tests that need the CKT board
  plat::ClockTimer* Timer1;  // sensor poll, 100 ms

  QPushButton* Button1;
  QPushButton* Button2;
  QPushButton* Button3;
  QPushButton* Button4;
  QPushButton* Button5;
  QPushButton* Button6;
  QPushButton* Button7;
  QPushButton* Button8;
  QPushButton* Button9;
  QPushButton* Button10;
  QPushButton* Button11;
  QPushButton* Button12;
  QPushButton* Button13;
  QPushButton* Button14;
  QPushButton* Button15;
  QPushButton* Button16;
  QPushButton* Button17;
  QPushButton* Button18;
  QPushButton* Button19;
  QPushButton* Button20;
  QPushButton* Button21;
  QPushButton* Button22;
  QPushButton* Button23;
  QPushButton* Button24;
  QPushButton* Button25;
  QPushButton* Button26;
  QPushButton* Button27;
  QPushButton* Button28;
  QPushButton* Button29;
  QPushButton* Button30;
  QPushButton* Button31;
  QPushButton* Button32;
  QPushButton* Button33;
  QPushButton* Button34;
  QPushButton* Button35;

  // Sensor polls since the start of the program ("Цикл:").
  int PollCycle = 0;
  // Set by a single test that passed, cleared when one starts.
  bool TestPassed = false;

  void Button1Click();   // "Закрыть"
  void Button2Click();   // "?": link check
  void Button3Click();   // "Гидростанция": on
  void Button4Click();   // its "X": off
  void Button5Click();   // "/\": up relay runs
  void Button6Click();   // its "X": stops
  void Button7Click();   // "\/": down relay runs
  void Button8Click();   // its "X": stops
  void Button9Click();   // "Инициализация" (guarded)
  void Button10Click();  // "Демо замер": the camera scan
  void Button11Click();  // "ВКЛ": camera of Edit1 on
  void Button12Click();  // "Выкл": off
  void Button13Click();  // "Завершить работу": the press off, then the end
  void Button14Click();  // "Опрос датчиков"
  void Button15Click();  // "Сброс Лира"
  void Button16Click();  // "Подать усилие" (guarded)
  void Button17Click();  // "Показ": the mathematics visualiser
  void Button18Click();  // "Синхротест": by hand
  void Button19Click();  // "Тест гидростанции"
  void Button20Click();  // "Тест реле UP"
  void Button21Click();  // "Тест реле DN"
  void Button22Click();  // "Тест АЦП"
  void Button23Click();  // "Тест ЛИР"
  void Button24Click();  // "Тест D0"
  void Button25Click();  // "Тест  D1"
  void Button26Click();  // "Проверка ЦК ": the automatic test
  void Button27Click();  // "Синхротест авто"
  void Button28Click();  // "Задать ": LIR pause of the board
  void Button29Click();  // "<": one LIR step back
  void Button30Click();  // ">": one LIR step forward
  void Button31Click();  // "Задать dev0"
  void Button32Click();  // "Задать dev1"
  void Button33Click();  // "1": LIR pulses on the first output
  void Button34Click();  // "2": on the second output
  void Button35Click();  // "init": set-up of the second output
  void FormActivate();
  void Timer1Timer();
  void Edit1KeyPress();

  // Closing while a handler talks to the line waits for it to end.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  class PollOff;

  void Memo(const QString& line);
  // The integer in a number field, or nothing after a message box naming
  // the field and its text (the handler then stops before any exchange).
  std::optional<int> FieldNumber(QLineEdit* field, const QString& caption, int min, int max);
  // The board tests report their lines into Memo1 and their progress into
  // ProgressBar1 as they come.
  BoardTestReport Report();
  void LirGroupPulses(uint8_t forward, uint8_t back);
  void SetProgress(int value);
  // Runs a button's handler with every button that talks to the line
  // switched off until it ends; a click of one that arrives meanwhile is
  // refused with a line in Memo1. "Закрыть" and "Показ" wait for the end.
  void Click(QPushButton* button, void (TForm4::*handler)());
  void RunDeferred();

  int busy_ = 0;
  QString running_;                 // caption of the button whose handler runs
  QList<QPushButton*> lineButtons_;  // every button that talks to the line
  QList<QPushButton*> waiting_;      // clicks kept for the end of a poll tick
  QList<std::function<void()>> deferred_;
};

extern TForm4* Form4;

// Shows the terminal modally with its sensor poll timer running for as long
// as it is shown (the "_" key and the start-up).
void ShowTerminal();
