#pragma once
// The parameter editor "Редактор параметров": the norms of a spring type in
// the bogie/spring-type file — the two pressure set-points and, for one of
// the parameters 1..6, its upper and lower limit and its two corrections.
// Opened modally from the limits page of the setup menu when [Debug] " Vred"
// is on.
//
// The five spring choices follow the layout every bogie file of the line has:
// bogie type 1 keeps its spring types 1..3 in [Spring1]..[Spring3], bogie
// type 2 its spring types 1..2 in [Spring4] and [Spring5]. The editor shows
// the table's entry (bogie type, spring type) and writes into [Spring<N>] of
// the chosen button N, whatever Spring<s> the file names.
//
// A save checks every field first and writes nothing when one is refused:
// a field that is not a number, a pressure outside 0..65535 (the controller
// takes 16 bits), a limit outside 0..2000 mm, a multiplier outside 0.1..10,
// an addend outside -2000..2000 mm, a lower limit not below the upper one,
// or a choice the file does not hold. The keys are then written in one replacement of the whole
// file through a new file renamed over the old one, so a power cut leaves
// the old file or the new one, never half of either; a key whose value the
// file already holds keeps its text. After a save the spring-type table is
// loaded again, so the next measurement uses the saved norms.

#include <QDialog>
#include <QList>
#include <QPair>
#include <QString>
#include <array>

class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QAction;
class QPushButton;
class QRadioButton;
class QFrame;

class TfVred : public QDialog {
  Q_OBJECT

 public:
  explicit TfVred(QWidget* parent = nullptr);

  // Reloads the file, sets the five spring captions, selects RadioButton1 and
  // RadioButton6 and shows that selection.
  void FormCreate();
  // Each opening shows the file as it is now, keeping the selection.
  void FormShow();

  // Every radio button shows the selection it makes.
  void RadioButton1Click() { ShowSelection(); }
  void RadioButton2Click() { ShowSelection(); }
  void RadioButton3Click() { ShowSelection(); }
  void RadioButton4Click() { ShowSelection(); }
  void RadioButton5Click() { ShowSelection(); }
  void RadioButton6Click() { ShowSelection(); }
  void RadioButton7Click() { ShowSelection(); }
  void RadioButton8Click() { ShowSelection(); }
  void RadioButton9Click() { ShowSelection(); }
  void RadioButton10Click() { ShowSelection(); }
  void RadioButton11Click() { ShowSelection(); }
  // "Сохранить параметр": writes the fields into [Spring<N>] when every one
  // is accepted; the first refused is named in a message box and nothing is
  // written. False when something was refused or not written.
  bool Button1Click();
  void N6Click();  // "Выйти из редактора"
  void N7Click();  // "Закрыть программу": the screen mode back, then the end

  // Re-reads the file and fills the labels, the parameter names and the
  // fields from the table's entry of the selection.
  void ShowSelection();

  // The selection: the section number N (1..5), the bogie type and the spring
  // type within it, the parameter p (1..6).
  int SectionNumber() const;
  int SelectedBogie() const;
  int SelectedSpring() const;
  int SelectedParameter() const;

  QMenuBar* MainMenu1;
  QMenu* N1;    // "Файл"
  QAction* N6;  // "Выйти из редактора"
  QAction* N7;  // "Закрыть программу"
  QGroupBox* GroupBox1;
  QRadioButton* RadioButton1;
  QRadioButton* RadioButton2;
  QRadioButton* RadioButton3;
  QRadioButton* RadioButton4;
  QRadioButton* RadioButton5;
  QGroupBox* GroupBox3;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLineEdit* Edit1;
  QLabel* Label4;
  QLineEdit* Edit2;
  QGroupBox* GroupBox2;
  QRadioButton* RadioButton6;
  QRadioButton* RadioButton7;
  QRadioButton* RadioButton8;
  QRadioButton* RadioButton9;
  QRadioButton* RadioButton10;
  QRadioButton* RadioButton11;
  QLabel* Label5;
  QLabel* Label6;
  QLineEdit* Edit3;
  QLabel* Label7;
  QLineEdit* Edit4;
  QLabel* Label8;
  QLineEdit* Edit5;
  QLabel* Label9;
  QLineEdit* Edit6;
  QFrame* Panel1;
  QPushButton* Button1;

 private:
  std::array<QRadioButton*, 5> springButtons() const;
  // "т" + bogie type name + " " + designation on the five spring buttons.
  void SetSpringCaptions();
  std::array<QRadioButton*, 6> parameterButtons() const;
  // Writes the keys into [Spring<N>] of the file in one replacement of the
  // file, leaving out those whose value the file already holds; a failed
  // write is said in a message box.
  bool WriteKeys(const QList<QPair<QString, QString>>& keys);
  void Message(const QString& text);
};

extern TfVred* fVred;

// The editor as the limits page opens it: modal, showing the file as it is
// now. Creates the window on first use when the start-up has not.
void ShowParameterEditor();
