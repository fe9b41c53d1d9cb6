#include "VRED/fvred.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>
#include <cmath>

#include "config/settings.h"
#include "desktop/namedwidget.h"
#include "platform/inifile.h"
#include "platform/paths.h"
#include "screen/fonts.h"
#include "screen/screen.h"
#include "springs/springtypes.h"

TfVred* fVred = nullptr;

namespace {

// The bogie type and the spring type within it that each of the five spring
// buttons stands for; button N writes into [Spring<N>].
struct SpringChoice {
  int bogie;
  int spring;
};
constexpr std::array<SpringChoice, 5> kSpringChoices{{{1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 2}}};

template <typename T>
T* Placed(QWidget* parent, const char* name, int left, int top, int width, int height) {
  T* w = plat::Named<T>(name, parent);
  w->setGeometry(left, top, width, height);
  return w;
}

QLabel* Caption(QWidget* parent, const char* name, int left, int top, int width,
                const QString& text) {
  auto* l = Placed<QLabel>(parent, name, left, top, width, 17);
  l->setText(text);
  return l;
}

QLineEdit* Field(QWidget* parent, const char* name, int left, int top, int width) {
  auto* e = Placed<QLineEdit>(parent, name, left, top, width, 23);
  e->setText("-");
  return e;
}

// The highest set-point the controller takes: it is sent as 16 bits.
constexpr int kMaxPressure = 65535;

// What a norm of the line can be. The six parameters are lengths of a
// spring in millimetres (diameter, free height, non-perpendicularity, coil
// gap, set, deflection): a limit outside 0..2000 mm is a typo (1e39, a minus
// sign) that would let every spring pass or none. A correction multiplies by
// 0.1..10 and adds at most the measuring range either way.
struct NormRange {
  double low, high;
  const char* unit;
};
constexpr NormRange kLimitRange{0, 2000, " мм"};
constexpr NormRange kMulRange{0.1, 10, ""};
constexpr NormRange kAddRange{-2000, 2000, " мм"};

// Whether the key already holds this value in the file, so that saving
// leaves its text as it stands (an untouched field rewrites nothing).
bool Holds(const plat::IniFile& ini, const QString& section, const QString& key, double value) {
  const auto text = ini.Value(section, key);
  if (!text) return false;
  if (const auto v = plat::ParseFloat(*text)) return *v == value;
  if (const auto v = plat::ParseInteger(*text)) return *v == value;
  return false;
}

QString BogieFilePath() {
  return plat::MapProgramPath(Settings.Params.ChassieIniFilename);
}

}  // namespace

TfVred::TfVred(QWidget* parent) : QDialog(parent) {
  setObjectName("fVred");
  setWindowTitle("Редактор параметров");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
  QFont font(PageFontFamily("Segoe UI"));
  font.setPixelSize(12);  // 9 points at 96 dpi
  setFont(font);

  MainMenu1 = plat::Named<QMenuBar>("MainMenu1", this);
  N1 = MainMenu1->addMenu("Файл");
  N1->setObjectName("N1");
  N1->addSeparator();
  N6 = N1->addAction("Выйти из редактора");
  N6->setObjectName("N6");
  N7 = N1->addAction("Закрыть программу");
  N7->setObjectName("N7");

  // The client area below the menu.
  auto* client = plat::Named<QWidget>("Client", this);
  client->setFixedSize(638, 383);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setMenuBar(MainMenu1);
  layout->addWidget(client);

  GroupBox1 = Placed<QGroupBox>(client, "GroupBox1", 8, 8, 257, 185);
  GroupBox1->setTitle(" Выбор пружины ");
  RadioButton1 = Placed<QRadioButton>(GroupBox1, "RadioButton1", 14, 26, 235, 22);
  RadioButton2 = Placed<QRadioButton>(GroupBox1, "RadioButton2", 14, 56, 235, 22);
  RadioButton3 = Placed<QRadioButton>(GroupBox1, "RadioButton3", 14, 86, 235, 22);
  RadioButton4 = Placed<QRadioButton>(GroupBox1, "RadioButton4", 14, 122, 235, 22);
  RadioButton5 = Placed<QRadioButton>(GroupBox1, "RadioButton5", 14, 152, 235, 22);

  GroupBox3 = Placed<QGroupBox>(client, "GroupBox3", 8, 201, 257, 174);
  GroupBox3->setTitle(" Характеристики пружины ");
  Label1 = Caption(GroupBox3, "Label1", 14, 26, 235, "Название: ");
  Label2 = Caption(GroupBox3, "Label2", 14, 50, 235, "Обозначение: ");
  Label3 = Caption(GroupBox3, "Label3", 14, 90, 140, "Давление \"сильное\"");
  Edit1 = Field(GroupBox3, "Edit1", 160, 87, 85);
  Label4 = Caption(GroupBox3, "Label4", 14, 128, 140, "Давление \"слабое\"");
  Edit2 = Field(GroupBox3, "Edit2", 160, 125, 85);

  GroupBox2 = Placed<QGroupBox>(client, "GroupBox2", 273, 8, 357, 318);
  GroupBox2->setTitle(" Параметры пружины ");
  Label5 = Caption(GroupBox2, "Label5", 14, 24, 200, "Наименование:");
  RadioButton6 = Placed<QRadioButton>(GroupBox2, "RadioButton6", 14, 44, 330, 21);
  RadioButton7 = Placed<QRadioButton>(GroupBox2, "RadioButton7", 14, 66, 330, 21);
  RadioButton8 = Placed<QRadioButton>(GroupBox2, "RadioButton8", 14, 88, 330, 21);
  RadioButton9 = Placed<QRadioButton>(GroupBox2, "RadioButton9", 14, 110, 330, 21);
  RadioButton10 = Placed<QRadioButton>(GroupBox2, "RadioButton10", 14, 132, 330, 21);
  RadioButton11 = Placed<QRadioButton>(GroupBox2, "RadioButton11", 14, 154, 330, 21);
  Label6 = Caption(GroupBox2, "Label6", 14, 192, 180, "Максимальное значение");
  Edit3 = Field(GroupBox2, "Edit3", 200, 189, 140);
  Label7 = Caption(GroupBox2, "Label7", 14, 222, 180, "Минимальное значение");
  Edit4 = Field(GroupBox2, "Edit4", 200, 219, 140);
  Label8 = Caption(GroupBox2, "Label8", 14, 252, 180, "Поправка на умножение");
  Edit5 = Field(GroupBox2, "Edit5", 200, 249, 140);
  Label9 = Caption(GroupBox2, "Label9", 14, 282, 180, "Поправка на сложение");
  Edit6 = Field(GroupBox2, "Edit6", 200, 279, 140);

  Panel1 = Placed<QFrame>(client, "Panel1", 273, 334, 357, 41);
  Panel1->setFrameShape(QFrame::Panel);
  Panel1->setFrameShadow(QFrame::Raised);
  Button1 = Placed<QPushButton>(Panel1, "Button1", 98, 8, 161, 25);
  Button1->setText("Сохранить параметр");
  Button1->setAutoDefault(false);

  connect(RadioButton1, &QRadioButton::clicked, this, [this] { RadioButton1Click(); });
  connect(RadioButton2, &QRadioButton::clicked, this, [this] { RadioButton2Click(); });
  connect(RadioButton3, &QRadioButton::clicked, this, [this] { RadioButton3Click(); });
  connect(RadioButton4, &QRadioButton::clicked, this, [this] { RadioButton4Click(); });
  connect(RadioButton5, &QRadioButton::clicked, this, [this] { RadioButton5Click(); });
  connect(RadioButton6, &QRadioButton::clicked, this, [this] { RadioButton6Click(); });
  connect(RadioButton7, &QRadioButton::clicked, this, [this] { RadioButton7Click(); });
  connect(RadioButton8, &QRadioButton::clicked, this, [this] { RadioButton8Click(); });
  connect(RadioButton9, &QRadioButton::clicked, this, [this] { RadioButton9Click(); });
  connect(RadioButton10, &QRadioButton::clicked, this, [this] { RadioButton10Click(); });
  connect(RadioButton11, &QRadioButton::clicked, this, [this] { RadioButton11Click(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(N6, &QAction::triggered, this, [this] { N6Click(); });
  connect(N7, &QAction::triggered, this, [this] { N7Click(); });

  setFixedSize(sizeHint());
  FormCreate();
}

std::array<QRadioButton*, 5> TfVred::springButtons() const {
  return {RadioButton1, RadioButton2, RadioButton3, RadioButton4, RadioButton5};
}

std::array<QRadioButton*, 6> TfVred::parameterButtons() const {
  return {RadioButton6, RadioButton7, RadioButton8, RadioButton9, RadioButton10, RadioButton11};
}

void TfVred::FormCreate() {
  LoadSpringTypes();
  SetSpringCaptions();
  RadioButton1->setChecked(true);
  RadioButton6->setChecked(true);
  ShowSelection();
}

void TfVred::FormShow() {
  ShowSelection();
  SetSpringCaptions();
}

void TfVred::SetSpringCaptions() {
  // A choice the file does not hold (a file with one bogie type, or fewer
  // spring types) can be neither shown nor saved: it says so and is off.
  const auto buttons = springButtons();
  for (int n = 0; n < 5; ++n) {
    const SpringChoice c = kSpringChoices[n];
    const SpringType* type = FindSpringType(c.bogie, c.spring);
    buttons[n]->setEnabled(type != nullptr);
    buttons[n]->setText(type ? "т" + SpringTypeTable()[c.bogie].Name + " " + type->AltName
                             : QString("тележка %1, пружина %2: нет в файле")
                                   .arg(c.bogie)
                                   .arg(c.spring));
  }
}

int TfVred::SectionNumber() const {
  const auto buttons = springButtons();
  for (int n = 0; n < 5; ++n)
    if (buttons[n]->isChecked()) return n + 1;
  return 1;
}

int TfVred::SelectedBogie() const {
  return kSpringChoices[SectionNumber() - 1].bogie;
}

int TfVred::SelectedSpring() const {
  return kSpringChoices[SectionNumber() - 1].spring;
}

int TfVred::SelectedParameter() const {
  const auto buttons = parameterButtons();
  for (int p = 6; p >= 2; --p)
    if (buttons[p - 1]->isChecked()) return p;
  return 1;
}

void TfVred::ShowSelection() {
  LoadSpringTypes();
  const SpringType* held = FindSpringType(SelectedBogie(), SelectedSpring());
  if (!held) {
    // The file changed under the choice: nothing of it to show.
    Label1->setText("Название: ");
    Label2->setText("Обозначение: ");
    for (QLineEdit* e : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6}) e->setText("-");
    for (QRadioButton* b : parameterButtons()) b->setText(QString());
    return;
  }
  const SpringType& type = *held;
  Label1->setText("Название: " + type.Name);
  Label2->setText("Обозначение: " + type.AltName);
  Edit1->setText(QString::number(type.Adc3));
  Edit2->setText(QString::number(type.Adc1));
  const auto buttons = parameterButtons();
  for (int p = 1; p <= 6; ++p) buttons[p - 1]->setText(type.parameters[p].Name);
  const SpringParameter& par = type.parameters[SelectedParameter()];
  Edit3->setText(plat::FormatFloat(par.Max));
  Edit4->setText(plat::FormatFloat(par.Min));
  Edit5->setText(plat::FormatFloat(par.Mul));
  Edit6->setText(plat::FormatFloat(par.Add));
}

void TfVred::Message(const QString& text) {
  QMessageBox box(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
  box.exec();
}

bool TfVred::WriteKeys(const QList<QPair<QString, QString>>& keys) {
  const QString path = BogieFilePath();
  const QString section = QString("Spring%1").arg(SectionNumber());
  bool existed = false;
  plat::IniFile ini = plat::IniFile::Load(path, &existed);
  QStringList names;
  for (const auto& [key, value] : keys) names << key;
  // A file that is there but cannot be read would be replaced by these keys
  // alone, losing every other norm of the line.
  if (!existed && QFileInfo::exists(path)) {
    Message(QString("Файл %1 не читается, %2 не записан !").arg(path, names.join(", ")));
    return false;
  }
  QStringList changed;
  for (const auto& [key, value] : keys) {
    if (existed && Holds(ini, section, key, plat::ParseFloat(value).value_or(NAN))) continue;
    ini.WriteString(section, key, value);
    changed << key;
  }
  if (changed.isEmpty()) return true;
  QString reason;
  if (!ini.Save(path, &reason)) {
    Message(QString("Не удалось записать %1 в файл %2: %3. Файл не изменён.")
                .arg(changed.join(", "), QDir::toNativeSeparators(path), reason));
    return false;
  }
  return true;
}

bool TfVred::Button1Click() {
  // Every field is checked before anything is written: a refused field
  // leaves the file as it was.
  if (!FindSpringType(SelectedBogie(), SelectedSpring())) {
    Message(QString("В файле %1 нет пружины %2 тележки %3: параметр не сохранен !")
                .arg(BogieFilePath())
                .arg(SelectedSpring())
                .arg(SelectedBogie()));
    return false;
  }
  QList<QPair<QString, QString>> keys;
  const std::array<std::pair<QLineEdit*, const char*>, 2> pressures{
      {{Edit1, "ADC3"}, {Edit2, "ADC1"}}};
  for (const auto& [edit, name] : pressures) {
    const auto value = plat::ParseInteger(edit->text());
    const QString message = QString("Неверное %1 значение !").arg(name);
    if (!value) {
      Message(message);
      return false;
    }
    // Sent to the controller as 16 bits: -5 would press with 65531.
    if (*value < 0 || *value > kMaxPressure) {
      Message(message + QString(" Допустимо целое число от 0 до %1.").arg(kMaxPressure));
      return false;
    }
    keys.append({name == QString("ADC3") ? "Adc3" : "Adc1", QString::number(*value)});
  }
  const QString prefix = QString("P%1").arg(SelectedParameter());
  const std::array<std::pair<QLineEdit*, const char*>, 4> reals{
      {{Edit3, "Max"}, {Edit4, "Min"}, {Edit5, "Mul"}, {Edit6, "Add"}}};
  const std::array<NormRange, 4> ranges{kLimitRange, kLimitRange, kMulRange, kAddRange};
  std::array<double, 4> values{};
  for (int i = 0; i < 4; ++i) {
    const auto& [edit, suffix] = reals[i];
    const auto value = plat::ParseFloat(edit->text());
    const QString message = "Неверное " + prefix + QString(suffix).toLower() + " значение !";
    if (!value) {
      Message(message);
      return false;
    }
    if (const NormRange r = ranges[i]; !(*value >= r.low && *value <= r.high)) {
      Message(message + QString(" Допустимо от %1 до %2%3.")
                            .arg(plat::FormatFloat(r.low), plat::FormatFloat(r.high), r.unit));
      return false;
    }
    if (i == 1 && *value >= values[0]) {
      Message(message + " Минимальное значение не меньше максимального (" + prefix + "max " +
              plat::FormatFloat(values[0]) + ").");
      return false;
    }
    values[i] = *value;
    keys.append({prefix + suffix, plat::FormatFloat(*value)});
  }
  const bool written = WriteKeys(keys);
  // The table in memory is the file's from now on, so the next measurement
  // presses and judges with what was saved (or with what the file still
  // holds after a failed write).
  LoadSpringTypes();
  return written;
}

void TfVred::N6Click() {
  close();
}

void TfVred::N7Click() {
  // Every road out of the program switches the press off and gives the
  // screen its mode back.
  EndProgram(0);
}

void ShowParameterEditor() {
  if (!fVred) fVred = new TfVred;
  else fVred->FormShow();
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    fVred->move(screen->availableGeometry().center() - fVred->rect().center());
  fVred->exec();
}
