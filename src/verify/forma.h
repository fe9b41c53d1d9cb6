#pragma once
// The line verification form: the identity of the installation (the depot's
// two names and the device identifier of setup.ini), the date of the last
// verification and the equipment code derived from the identity. Created with
// the other windows at start-up and shown there when [Global] Poverka is on.

#include <QDialog>

class QLabel;
class QLineEdit;

class TForma : public QDialog {
  Q_OBJECT

 public:
  explicit TForma(QWidget* parent = nullptr);

  // Fills the five fields. A Config\pov.dat without a date does not stop the
  // start: Edit4 says the date is unknown and standard error names the file.
  void FormCreate();

  QLabel* Label1;    // "Наименование:"
  QLineEdit* Edit1;  // Depo1Name
  QLineEdit* Edit2;  // DepoName
  QLabel* Label2;    // "№ ID"
  QLineEdit* Edit3;  // DeviceId
  QLabel* Label3;    // "Поверка проведена:"
  QLineEdit* Edit4;  // the date of the last verification
  QLabel* Label4;    // "Код оборудования:"
  QLineEdit* Edit5;  // the equipment code
};

extern TForma* Forma;
