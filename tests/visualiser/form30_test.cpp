#include "visualiser/form30.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QToolButton>

#include "mathemsupport.h"
#include "platform/clock.h"
#include "platform/textfile.h"
#include "screen/playback.h"

namespace {

constexpr QRgb kGreen = 0x008000, kRed = 0xFF0000, kBlue = 0x0000FF;

class Form30Test : public MathemTest {
 protected:
  void SetUp() override {
    MathemTest::SetUp();
    auto& m = Settings.Mathem;
    for (int n = 1; n <= 4; ++n) {
      m.gx[n] = 120;
      auto& k = Settings.K[n];
      k[1] = 0, k[2] = 2046, k[3] = k[4] = 0, k[5] = 1, k[6] = 1801;
      k[7] = k[8] = k[9] = k[10] = 3;
    }
    ASSERT_TRUE(WriteCalibrationTables(cal));
    ASSERT_TRUE(WriteModelledScan(spring, LayoutFromSettings(), cal));
  }
  static QRgb Pixel(int x, int y) { return Visualiser.image.pixel(x, y) & 0xFFFFFF; }
  static void Keep(QWidget& w, const QString& name) {
    testsupport::KeepPicture(w.grab().toImage(), name);
  }
  ModelCalibration cal;
  SpringModel spring;
};

// Closes the message box a handler is about to show.
void CloseNextMessageBox() {
  QTimer::singleShot(0, [] {
    if (QWidget* w = QApplication::activeModalWidget()) w->close();
  });
}

}  // namespace

TEST_F(Form30Test, OpenDrawsEveryCameraAndTheEndOfDataMarks) {
  TForm30 form;
  EXPECT_EQ(Form30, &form);
  EXPECT_EQ(form.windowTitle(), "Визуализатор математики");
  EXPECT_FALSE(form.Button2->isVisibleTo(&form));
  form.Button1->click();
  ASSERT_EQ(ProfileStore.count[1], spring.readings);
  // Camera 1 upper right, 2 lower right, 3 upper left, 4 lower left.
  for (int n = 1; n <= 4; ++n) {
    int j = 1;
    while (ProfileValue(n, j) == kNoReading || ProfileValue(n, j) < 100) ++j;
    const int y = (j + 2) / 4 + ((n == 2 || n == 4) ? 308 : 0);
    const int x = (n <= 2) ? 496 : 484;
    EXPECT_EQ(Pixel(x, y), kGreen) << "camera " << n << " row " << y;
  }
  // Readings without a value run off the picture: "no reading" is 2047.
  EXPECT_EQ(Pixel(1015, 2), kGreen);
  const int endRow = (spring.readings + 2) / 4 + 1;  // 251: below the lower quadrant's top
  EXPECT_EQ(Pixel(700, endRow), kRed);
  EXPECT_EQ(Pixel(300, endRow), kRed);
  EXPECT_NE(Pixel(800, endRow), kRed);  // the mark ends at 795
  Keep(form, "form30-open.png");

  form.CheckBox1->click();
  EXPECT_FALSE(Visualiser.endMarks);
  form.Button1->click();
  EXPECT_NE(Pixel(700, endRow), kRed);
  QPixmap shown = form.Image1->pixmap();
  EXPECT_EQ(shown.size(), QSize(1020, 602));
}

TEST_F(Form30Test, ChainsFromTheButtonsSetCaptionMarksAndResults) {
  TForm30 form;
  form.Button1->click();
  form.Button5->click();
  const float d = CoilResults.MeasuredDiameter;
  EXPECT_NEAR(d, spring.coilDiameter, 0.5);
  EXPECT_TRUE(form.windowTitle().startsWith(DiameterText(d) + "("))
      << form.windowTitle().toStdString();
  EXPECT_TRUE(form.windowTitle().contains(") т."));
  EXPECT_EQ(form.Label1->text(), "Нет пружины");
  // The peak marks of the chosen coils, drawn over the last picture.
  for (int n = 1; n <= 4; ++n) {
    const CoilWindow& w = ProfileStore.window[n];
    ASSERT_NE(w.first, 0) << n;
    const int y = w.peakIndex / 4 + ((n == 2 || n == 4) ? 308 : 0);
    const int x =
        (n <= 2) ? 495 + static_cast<int>(w.peak / 2) - 1 : 485 - static_cast<int>(w.peak / 2) + 1;
    EXPECT_EQ(Pixel(x, y), kBlue) << "camera " << n;
  }
  Keep(form, "form30-diameter.png");

  form.Button6->click();
  EXPECT_EQ(form.windowTitle().toFloat(), CoilResults.MeasuredNonPerpendicularity);
  Keep(form, "form30-nonperp.png");
  EXPECT_EQ(CoilResults.MeasuredDiameter, d);

  // The step buttons one by one give the same diameter as the chain.
  form.Button1->click();
  for (QAbstractButton* b : {form.SpeedButton1, form.SpeedButton2, form.SpeedButton3,
                             form.SpeedButton5, form.SpeedButton4, form.SpeedButton6,
                             form.SpeedButton7, form.SpeedButton9, form.SpeedButton8})
    b->click();
  EXPECT_EQ(CoilResults.MeasuredDiameter, d);
}

TEST_F(Form30Test, CoilReportOfCameraOne) {
  plat::UseVirtualClock();  // the report's pauses pass at once
  TForm30 form;
  form.Button7->click();
  const QStringList lines = form.Memo1->toPlainText().split('\n');
  ASSERT_GE(lines.size(), 3);
  EXPECT_EQ(lines[0], "Отчет по камере №1");
  const QRegularExpression total("^Всего витков (\\d+)$");
  const auto m = total.match(lines[1]);
  ASSERT_TRUE(m.hasMatch()) << lines[1].toStdString();
  const int coils = m.captured(1).toInt();
  EXPECT_GE(coils, 4);
  ASSERT_EQ(lines.size(), 2 + coils + (coils - 1));
  const QRegularExpression coil("^№ (\\d+) Н= (\\d+) M= (\\d+) K= (\\d+)$");
  QList<int> peaks;
  for (int i = 1; i <= coils; ++i) {
    const auto c = coil.match(lines[1 + i]);
    ASSERT_TRUE(c.hasMatch()) << lines[1 + i].toStdString();
    EXPECT_EQ(c.captured(1).toInt(), i);
    EXPECT_LE(c.captured(2).toInt(), c.captured(3).toInt());
    EXPECT_LT(c.captured(3).toInt(), c.captured(4).toInt());
    peaks << c.captured(3).toInt();
  }
  // The last coil pair first: "Виток" + i + (i - 1), the peak distance in
  // readings and in millimetres.
  const int d = peaks[coils - 1] - peaks[coils - 2];
  EXPECT_EQ(
      lines[2 + coils],
      QString("Виток%1%2:  %3ед %4мм").arg(coils).arg(coils - 1).arg(d).arg(d * 0.325, 5, 'f', 1));
  // The coils are a pitch apart.
  EXPECT_NEAR(d * 0.325, spring.pitch, 2.0);
  Keep(form, "form30-report.png");

  // A camera without coils.
  WriteCamera(1, std::vector<int>(600, kNoReading));
  form.Button7->click();
  EXPECT_EQ(form.Memo1->toPlainText(), "Отчет по камере №1\nВсего витков 0");
}

TEST_F(Form30Test, SavePictureAndPrefix) {
  TForm30 form;
  form.Button1->click();
  CloseNextMessageBox();
  form.Button8->click();
  QImage saved(home.file("sc.bmp"));
  ASSERT_FALSE(saved.isNull());
  EXPECT_EQ(saved.size(), QSize(1020, 602));
  EXPECT_EQ(saved.pixel(496, 300) & 0xFFFFFF, Pixel(496, 300));

  // The prefix names other camera files.
  ASSERT_TRUE(WriteCameraFile(1, std::vector<int>(10, 900), "STORAGE\\7-"));
  for (int n = 2; n <= 4; ++n) ASSERT_TRUE(WriteCameraFile(n, {}, "STORAGE\\7-"));
  form.Edit1->setText("STORAGE\\7-");
  form.Button1->click();
  EXPECT_EQ(ProfileStore.count[1], 10);
  EXPECT_TRUE(QFile::exists(home.file("STORAGE/7-mmr1.txt")));
}

TEST_F(Form30Test, PlaybackPressesGrabsAndDumpsTheForm) {
  TForm30 form;
  const QString script =
      "press Button1\n"
      "press Button5\n"
      "grab form30.png\n"
      "dump form30.txt\n"
      "press Button4\n";
  ASSERT_TRUE(plat::WriteTextLines("play.txt", script.split('\n')));
  QString error;
  ASSERT_TRUE(StartPlayback(home.file("play.txt"), &error)) << error.toStdString();
  QTimer::singleShot(20000, &form, [&form] { form.reject(); });  // never hang the suite
  form.exec();
  EXPECT_FALSE(form.isVisible());
  EXPECT_NEAR(CoilResults.MeasuredDiameter, spring.coilDiameter, 0.5);
  EXPECT_EQ(QImage(home.file("form30.png")).size(), form.size());
  const auto dump = plat::ReadTextLines("form30.txt");
  ASSERT_TRUE(dump.has_value());
  EXPECT_EQ(dump->value(0), "TForm30");
  EXPECT_EQ(dump->value(1), form.windowTitle());
  EXPECT_TRUE(dump->contains("Button5\tРасчет Диаметра"));
  EXPECT_TRUE(dump->contains("Label1\tНет пружины"));
  EXPECT_TRUE(dump->contains("CheckBox1\tОтчерк завершения\t[x]"));
}
