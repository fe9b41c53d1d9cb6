// The parameter editor on a real bogie file: what it shows for each choice,
// what a save writes where, the fields it refuses, and that the next
// judgement reads the saved norms.

#include "VRED/fvred.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <sys/stat.h>
#include <unistd.h>

#include "config/settings.h"
#include "measurement/judgement.h"
#include "platform/cp1251.h"
#include "springs/springtypes.h"
#include "testsupport.h"

namespace {

// Bogie type 1 keeps its spring types in [Spring1]..[Spring3], bogie type 2
// in [Spring4] and [Spring5], as the line's files do.
const char* kFile =
    "; norms of the line\r\n"
    "[Global]\r\nMaxChNum=2\r\n"
    "[Chassie1]\r\nName=18-100\r\nMaxSprings=3\r\nSpring1=1\r\nSpring2=2\r\nSpring3=3\r\n"
    "[Chassie2]\r\nName=18-578\r\nMaxSprings=2\r\nSpring1=4\r\nSpring2=5\r\n"
    "[Spring1]\r\nName=Наружная\r\nAltName=Н1\r\nAdc3=1200\r\nAdc1=300\r\nE=0.5\r\nNparam=6\r\n"
    "P1Name=Диаметр\r\nP1Max=20\r\nP1Min=10\r\nP1Mul=1\r\nP1Add=0\r\nP1Analiz=1\r\n"
    "P2Name=Высота\r\nP2Max=255\r\nP2Min=246\r\nP2Mul=1.02\r\nP2Add=-0.25\r\nP2Analiz=1\r\n"
    "P3Name=Неперпенд.\r\nP3Max=5\r\nP3Min=0\r\nP3Mul=1\r\nP3Add=0\r\n"
    "P4Name=Зазор\r\nP5Name=Осадка\r\nP6Name=Прогиб\r\n"
    "[Spring2]\r\nName=Внутренняя\r\nAltName=В1\r\nAdc3=800\r\nAdc1=200\r\nE=0.5\r\nNparam=6\r\n"
    "P1Name=Диаметр\r\nP1Max=20\r\nP1Min=10\r\nP1Analiz=1\r\n"
    "P2Name=Высота\r\nP2Max=255\r\nP2Min=246\r\nP2Analiz=1\r\n"
    "[Spring3]\r\nName=Третья\r\nAltName=Т1\r\n"
    "[Spring4]\r\nName=Наружная 578\r\nAltName=Н2\r\nAdc3=1400\r\nAdc1=350\r\nNparam=1\r\n"
    "P1Name=Диаметр\r\nP1Max=22.75\r\nP1Min=12\r\n"
    "[Spring5]\r\nName=Внутренняя 578\r\nAltName=В2\r\n";

// Answers every message box that opens while it lives, keeping its text.
class MessageBoxes {
 public:
  MessageBoxes() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        texts << box->text();
        box->button(QMessageBox::Ok)->click();
      }
    });
    timer_.start();
  }
  QStringList texts;

 private:
  QTimer timer_;
};

class FVredTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettingsModule();
    ResetSpringTypesModule();
    ResetJudgement();
    Settings.Params.ChassieIniFilename = "chassie.ini";
    WriteFile(kFile);
  }
  void TearDown() override {
    ResetJudgement();
    ResetSpringTypesModule();
    ResetSettingsModule();
  }
  void WriteFile(const QString& text) { home.write("chassie.ini", plat::ToCp1251(text)); }
  QString FileText() const { return plat::FromCp1251(home.read("chassie.ini")); }
  // The file with the first occurrence of each line replaced: the keys of
  // [Spring1], which comes before the other spring sections.
  static QString Replaced(QString text, const QStringList& from, const QStringList& to) {
    for (int i = 0; i < from.size(); ++i) {
      const int at = text.indexOf(from[i] + "\r\n");
      EXPECT_GE(at, 0) << from[i].toStdString();
      if (at >= 0) text.replace(at, from[i].size(), to[i]);
    }
    return text;
  }

  testsupport::ScratchHome home;
};

TEST_F(FVredTest, ShowsTheChoicesAndEachSelectionFromTheFileAsItIsNow) {
  TfVred form;
  EXPECT_EQ(form.windowTitle(), "Редактор параметров");
  EXPECT_EQ(form.RadioButton1->text(), "т18-100 Н1");
  EXPECT_EQ(form.RadioButton2->text(), "т18-100 В1");
  EXPECT_EQ(form.RadioButton3->text(), "т18-100 Т1");
  EXPECT_EQ(form.RadioButton4->text(), "т18-578 Н2");
  EXPECT_EQ(form.RadioButton5->text(), "т18-578 В2");
  EXPECT_TRUE(form.RadioButton1->isChecked());
  EXPECT_TRUE(form.RadioButton6->isChecked());
  EXPECT_EQ(form.Label1->text(), "Название: Наружная");
  EXPECT_EQ(form.Label2->text(), "Обозначение: Н1");
  EXPECT_EQ(form.Edit1->text(), "1200");
  EXPECT_EQ(form.Edit2->text(), "300");
  EXPECT_EQ(form.RadioButton8->text(), "Неперпенд.");
  EXPECT_EQ(form.RadioButton11->text(), "Прогиб");
  EXPECT_EQ(form.Edit3->text(), "20");

  form.RadioButton7->click();  // the height: reals in their shortest form
  EXPECT_EQ(form.Edit3->text(), "255");
  EXPECT_EQ(form.Edit4->text(), "246");
  EXPECT_EQ(form.Edit5->text(), "1.02");
  EXPECT_EQ(form.Edit6->text(), "-0.25");

  // Bogie type 2, spring type 1; the file changed meanwhile is read again.
  WriteFile(QString(kFile).replace("P1Max=22.75", "P1Max=23.5"));
  form.RadioButton4->click();
  form.RadioButton6->click();
  EXPECT_EQ(form.Label1->text(), "Название: Наружная 578");
  EXPECT_EQ(form.Edit1->text(), "1400");
  EXPECT_EQ(form.Edit3->text(), "23.5");
  EXPECT_EQ(SpringTypeTable()[2].springTypes[1].parameters[1].Max, 23.5);
  // A parameter the spring type lacks shows the empty table entry.
  form.RadioButton9->click();
  EXPECT_EQ(form.RadioButton9->text(), "");
  EXPECT_EQ(form.Edit3->text(), "0");
}

TEST_F(FVredTest, SaveWritesIntoTheChosenSectionAndTheNextJudgementUsesIt) {
  MessageBoxes boxes;
  TfVred form;
  form.RadioButton2->click();  // [Spring2], the height
  form.RadioButton7->click();
  MeasurementRecord record;
  record.BogieType = 1;
  record.SpringType = 2;
  const float values[7] = {0, 15.0f, 258.0f, 0, 0, 0, 0};
  for (int p = 1; p <= 6; ++p) record.Param[p].Value = values[p];
  JudgeMeasurement(record);
  EXPECT_FALSE(Judgement.Verdicts[2]);  // 258 is above 255 + 0.5

  form.Edit1->setText("850");
  form.Edit2->setText("$D2");  // the integer forms of the files are taken
  form.Edit3->setText("260.10");
  form.Edit4->setText("1e2");
  form.Edit5->setText("0.1");
  form.Edit6->setText("-.5");
  form.Button1->click();
  EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join('|').toStdString();
  const QString expected = QString(kFile).replace(
      "AltName=В1\r\nAdc3=800\r\nAdc1=200\r\nE=0.5\r\nNparam=6\r\n"
      "P1Name=Диаметр\r\nP1Max=20\r\nP1Min=10\r\nP1Analiz=1\r\n"
      "P2Name=Высота\r\nP2Max=255\r\nP2Min=246\r\nP2Analiz=1\r\n",
      "AltName=В1\r\nAdc3=850\r\nAdc1=210\r\nE=0.5\r\nNparam=6\r\n"
      "P1Name=Диаметр\r\nP1Max=20\r\nP1Min=10\r\nP1Analiz=1\r\n"
      "P2Name=Высота\r\nP2Max=260.1\r\nP2Min=100\r\nP2Analiz=1\r\nP2Mul=0.1\r\nP2Add=-0.5\r\n");
  EXPECT_EQ(FileText(), expected);

  // The next selection reads the file again; the judgement takes the norm.
  form.RadioButton1->click();
  form.RadioButton2->click();
  EXPECT_EQ(form.Edit2->text(), "210");
  EXPECT_EQ(form.Edit3->text(), "260.1");
  const SpringType& type = SpringTypeTable()[1].springTypes[2];
  EXPECT_EQ(type.Adc3, 850);
  EXPECT_EQ(type.parameters[2].Mul, 0.1);
  JudgeMeasurement(record);
  EXPECT_TRUE(Judgement.Verdicts[2]);
}

// Every field is checked before anything is written: a refused one is
// named and the file keeps every byte, also for the fields before it.
TEST_F(FVredTest, ARefusedFieldIsNamedAndNothingIsWritten) {
  struct Case {
    QString field;  // Edit1..Edit6
    QString text;
    QString parameterButton;
    QString message;
  };
  const QString range = " Допустимо целое число от 0 до 65535.";
  const QList<Case> cases{
      {"Edit1", "12a", "RadioButton6", "Неверное ADC3 значение !"},
      {"Edit2", "", "RadioButton6", "Неверное ADC1 значение !"},
      // Sent as 16 bits, -5 would press with 65531 and 70000 with 4464.
      {"Edit1", "-5", "RadioButton6", "Неверное ADC3 значение !" + range},
      {"Edit2", "70000", "RadioButton6", "Неверное ADC1 значение !" + range},
      // A comma is not the files' decimal separator.
      {"Edit3", "20,5", "RadioButton6", "Неверное P1max значение !"},
      {"Edit4", "nan", "RadioButton7", "Неверное P2min значение !"},
      {"Edit4", "256", "RadioButton7",
       "Неверное P2min значение ! Минимальное значение не меньше максимального (P2max 255.5)."},
      {"Edit3", "0", "RadioButton6",
       "Неверное P1min значение ! Минимальное значение не меньше максимального (P1max 0)."},
      // Norms no spring can have: every spring would pass, or none.
      {"Edit3", "1e39", "RadioButton6", "Неверное P1max значение ! Допустимо от 0 до 2000 мм."},
      {"Edit6", "-1e38", "RadioButton6", "Неверное P1add значение ! Допустимо от -2000 до 2000 мм."},
      {"Edit4", "-0.0000001", "RadioButton6",
       "Неверное P1min значение ! Допустимо от 0 до 2000 мм."},
      {"Edit5", "0", "RadioButton7", "Неверное P2mul значение ! Допустимо от 0.1 до 10."},
      {"Edit5", "1.0.2", "RadioButton7", "Неверное P2mul значение !"},
      {"Edit6", "inf", "RadioButton8", "Неверное P3add значение !"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE((c.field + " " + c.text).toStdString());
    WriteFile(kFile);
    const QByteArray before = home.read("chassie.ini");
    MessageBoxes boxes;
    TfVred form;
    form.findChild<QRadioButton*>(c.parameterButton)->click();
    // Every field changed, so that a key written would show in the file.
    form.Edit1->setText("1201");
    form.Edit2->setText("301");
    form.Edit3->setText(QString::number(form.Edit3->text().toDouble() + 0.5));
    form.Edit4->setText(QString::number(form.Edit4->text().toDouble() + 0.25));
    form.Edit5->setText(QString::number(form.Edit5->text().toDouble() + 0.5));
    form.Edit6->setText(QString::number(form.Edit6->text().toDouble() + 0.5));
    form.findChild<QLineEdit*>(c.field)->setText(c.text);
    EXPECT_FALSE(form.Button1Click());
    EXPECT_EQ(boxes.texts, QStringList{c.message});
    EXPECT_EQ(home.read("chassie.ini"), before);
  }
}

// Reals go into the file as the shortest text that reads back exactly, and
// the table in memory is the file's as soon as the save is done: the next
// measurement judges with the new norm, no selection or restart needed.
TEST_F(FVredTest, ASaveTakesEffectAtOnceAndKeepsEveryRealExact) {
  WriteFile(QString(kFile).replace("P3Add=0\r\n", "P3Add=0.0000123456\r\n"));
  MessageBoxes boxes;
  TfVred form;
  MeasurementRecord record;
  record.BogieType = 1;
  record.SpringType = 1;
  record.Param[1].Value = 9.0f;  // below P1Min 10 - E 0.5
  JudgeMeasurement(record);
  EXPECT_FALSE(Judgement.Verdicts[1]);
  form.Edit4->setText("8.0000000000000071");
  form.Edit6->setText("0.0000123456");
  ASSERT_TRUE(form.Button1Click());
  EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join('|').toStdString();
  const QString text = FileText();
  EXPECT_TRUE(text.contains("P1Min=8.000000000000007\r\n")) << text.toStdString();
  EXPECT_TRUE(text.contains("P1Add=0.0000123456\r\n")) << text.toStdString();
  const SpringParameter& p1 = SpringTypeTable()[1].springTypes[1].parameters[1];
  EXPECT_EQ(p1.Min, 8.0000000000000071);
  EXPECT_EQ(p1.Add, 0.0000123456);
  JudgeMeasurement(record);
  EXPECT_TRUE(Judgement.Verdicts[1]);

  // An untouched small P3Add is shown exactly and stays as the file has it.
  form.RadioButton8->click();
  EXPECT_EQ(form.Edit6->text(), "0.0000123456");
  form.Edit3->setText("6");
  ASSERT_TRUE(form.Button1Click());
  EXPECT_EQ(FileText(), QString(text).replace("P3Max=5\r\n", "P3Max=6\r\n"));
}

// A file with one bogie type holds no choices 4 and 5: they say so, are
// off, and a save there writes nothing (no [Spring4] made up of zeros).
TEST_F(FVredTest, ChoicesTheFileDoesNotHoldAreOffAndCannotBeSaved) {
  WriteFile(QString(kFile).replace("MaxChNum=2", "MaxChNum=1").replace("MaxSprings=3", "MaxSprings=2"));
  const QByteArray before = home.read("chassie.ini");
  MessageBoxes boxes;
  TfVred form;
  EXPECT_EQ(form.RadioButton2->text(), "т18-100 В1");
  EXPECT_FALSE(form.RadioButton3->isEnabled());
  EXPECT_EQ(form.RadioButton3->text(), "тележка 1, пружина 3: нет в файле");
  EXPECT_EQ(form.RadioButton5->text(), "тележка 2, пружина 2: нет в файле");
  EXPECT_FALSE(form.RadioButton4->isEnabled());
  form.RadioButton4->setChecked(true);  // as a file changed under the choice leaves it
  form.ShowSelection();
  EXPECT_EQ(form.Edit1->text(), "-");
  form.Edit1->setText("0");
  form.Edit2->setText("0");
  EXPECT_FALSE(form.Button1Click());
  ASSERT_EQ(boxes.texts.size(), 1);
  EXPECT_TRUE(boxes.texts[0].contains("нет пружины 1 тележки 2")) << boxes.texts[0].toStdString();
  EXPECT_EQ(home.read("chassie.ini"), before);
}

TEST_F(FVredTest, ShowsTheSectionTheFileMapsButSavesIntoTheFixedOne) {
  WriteFile(QString(kFile).replace("Spring1=1\r\nSpring2=2", "Spring1=7\r\nSpring2=2") +
            "[Spring7]\r\nName=Седьмая\r\nAltName=С7\r\nAdc3=999\r\nAdc1=99\r\nNparam=1\r\n"
            "P1Name=Диаметр\r\nP1Max=30\r\nP1Min=25\r\n");
  const QString before = FileText();
  MessageBoxes boxes;
  TfVred form;
  EXPECT_EQ(form.RadioButton1->text(), "т18-100 С7");
  EXPECT_EQ(form.Label1->text(), "Название: Седьмая");
  EXPECT_EQ(form.Edit1->text(), "999");
  EXPECT_EQ(form.Edit3->text(), "30");
  form.Edit3->setText("31");
  form.Button1->click();
  EXPECT_TRUE(boxes.texts.isEmpty());
  // [Spring7] keeps its norms; [Spring1] takes what the form showed.
  EXPECT_EQ(FileText(), Replaced(before, {"Adc3=1200", "Adc1=300", "P1Max=20", "P1Min=10"},
                                 {"Adc3=999", "Adc1=99", "P1Max=31", "P1Min=25"}));
  form.RadioButton2->click();
  form.RadioButton1->click();
  EXPECT_EQ(form.Edit3->text(), "30");  // still [Spring7]'s value on the form
}

// Each key replaces the whole file through a new one renamed over it: a name
// linked to the old file keeps the old text whole, and nothing is left
// beside the file. A file that cannot be written is said, not passed over.
TEST_F(FVredTest, TheFileIsReplacedWholeAndAFailedWriteIsSaid) {
  const QString old = home.file("chassie.ini");
  const QString link = home.file("old-link.ini");
  ASSERT_EQ(::link(QFile::encodeName(old).constData(), QFile::encodeName(link).constData()), 0);
  struct stat before {};
  ASSERT_EQ(::stat(QFile::encodeName(old).constData(), &before), 0);
  {
    MessageBoxes boxes;
    TfVred form;
    form.Edit1->setText("1300");
    EXPECT_TRUE(form.Button1Click());
    EXPECT_TRUE(boxes.texts.isEmpty());
  }
  EXPECT_EQ(plat::FromCp1251(home.read("old-link.ini")), QString(kFile));
  EXPECT_TRUE(FileText().contains("Adc3=1300\r\n"));
  struct stat after {};
  ASSERT_EQ(::stat(QFile::encodeName(old).constData(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino);
  EXPECT_EQ(QDir(home.path()).entryList(QDir::Files | QDir::Hidden),
            (QStringList{"chassie.ini", "old-link.ini"}));

  // A missing file is made by the first write.
  Settings.Params.ChassieIniFilename = "new.ini";
  {
    MessageBoxes boxes;
    TfVred form;
    EXPECT_EQ(form.Edit1->text(), "0");
    EXPECT_TRUE(form.Button1Click());
    EXPECT_TRUE(boxes.texts.isEmpty());
  }
  EXPECT_TRUE(plat::FromCp1251(home.read("new.ini")).startsWith("[Spring1]\r\nAdc3=0\r\nAdc1=0\r\n"));

  // The folder of the file is a file: the first key fails and the save stops.
  home.write("blocker", "x");
  Settings.Params.ChassieIniFilename = "blocker\\chassie.ini";
  MessageBoxes boxes;
  TfVred form;
  EXPECT_FALSE(form.Button1Click());
  ASSERT_EQ(boxes.texts.size(), 1);
  EXPECT_TRUE(boxes.texts[0].startsWith("Не удалось записать Adc3, Adc1")) << boxes.texts[0].toStdString();
}

// The limits page's call: modal, closed by "Выйти из редактора"; a second
// opening keeps the choice and shows the file as it is then.
TEST_F(FVredTest, ShowParameterEditorRunsModallyAndReadsTheFileAtEachOpening) {
  QStringList seen;
  QTimer::singleShot(10, [&seen] {
    ASSERT_EQ(QApplication::activeModalWidget(), fVred);
    fVred->RadioButton4->click();
    fVred->RadioButton6->click();
    seen << fVred->Edit3->text();
    fVred->N6->trigger();
  });
  ShowParameterEditor();
  ASSERT_NE(fVred, nullptr);
  EXPECT_FALSE(fVred->isVisible());
  WriteFile(QString(kFile).replace("P1Max=22.75", "P1Max=24").replace("AltName=В2", "AltName=В3"));
  QTimer::singleShot(10, [&seen] {
    seen << fVred->Edit3->text() << fVred->RadioButton5->text();
    fVred->N6->trigger();
  });
  ShowParameterEditor();
  EXPECT_EQ(seen, (QStringList{"22.75", "24", "т18-578 В3"}));
  delete fVred;
  fVred = nullptr;
}

TEST_F(FVredTest, ClientAreaAndPicture) {
  TfVred form;
  form.RadioButton7->click();
  const QWidget* client = form.findChild<QWidget*>("Client");
  ASSERT_NE(client, nullptr);
  EXPECT_EQ(client->size(), QSize(638, 383));
  const QImage picture = form.grab().toImage();
  EXPECT_EQ(picture.width(), 638);
  EXPECT_GT(picture.height(), 383);  // the menu bar above the client area
  testsupport::KeepPicture(picture, "vred-form.png");
}

}  // namespace
