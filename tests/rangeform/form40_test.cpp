#include "rangeform/form40.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "config/settings.h"
#include "database/database.h"
#include "link/link.h"
#include "platform/clock.h"
#include "platform/pump.h"
#include "platform/textfile.h"
#include "screen/playback.h"
#include "sim/simline.h"
#include "testsupport.h"

namespace {

// Cameras on port 1 as far as the range form needs them: every request is
// answered by an echo of its camera number and command, a read-out by a scan
// whose first point is `point`. Commands listed in `silent` get no answer.
struct FakeCameraLine {
  std::vector<QByteArray> requests;  // bodies, in order
  uint32_t point = 0;
  QList<uint8_t> silent;
};

class FakeCameraPort : public plat::SerialDevice {
 public:
  explicit FakeCameraPort(std::shared_ptr<FakeCameraLine> line) : line_(std::move(line)) {}
  bool Open(const QString&) override { return open_ = true; }
  bool IsOpen() const override { return open_; }
  void Close() override { open_ = false; }
  bool WriteByte(uint8_t b) override {
    written_.append(static_cast<char>(b));
    return true;
  }
  std::optional<uint8_t> ReadByte(int timeoutMs) override {
    // A request is written whole before the link reads its reply.
    if (written_.size() >= 4) Answer(written_.mid(2, written_.size() - 3));
    written_.clear();
    if (reply_.isEmpty()) {
      plat::AdvanceVirtualClock(static_cast<uint32_t>(timeoutMs));
      return std::nullopt;
    }
    const uint8_t b = static_cast<uint8_t>(reply_.front());
    reply_.remove(0, 1);
    return b;
  }
  QString LastError() const override { return {}; }

 private:
  void Answer(const QByteArray& body) {
    line_->requests.push_back(body);
    const uint8_t cmd = static_cast<uint8_t>(body[1]);
    if (line_->silent.contains(cmd)) return;
    QByteArray reply{body.left(2)};
    if (cmd == 0x8C) {
      // Header of a one-point scan (2048 + 4), then the point.
      reply += QByteArray::fromHex("040800");
      for (int shift : {0, 8, 16, 24}) reply += static_cast<char>((line_->point >> shift) & 0xFF);
    } else {
      reply += QByteArray(2, 0);
    }
    reply_ += SimLine::EncodeFrame(reply);
  }
  std::shared_ptr<FakeCameraLine> line_;
  QByteArray written_;
  QByteArray reply_;
  bool open_ = false;
};

class Form40Test : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::UseVirtualClock();
    ResetSettingsModule();
    ResetControllerLink();
    line = std::make_shared<FakeCameraLine>();
    ControllerLink.DeviceFactory = [l = line] { return std::make_unique<FakeCameraPort>(l); };
    ASSERT_TRUE(OpenPort(kControllerPort, "cameras"));
    // Camera 3's table: line 100 and the last line stand out.
    QByteArray table;
    for (int i = 0; i < 2048; ++i)
      table += (i == 100 ? "100.25" : i == 2047 ? "227.5" : "50") + QByteArray("\r\n");
    home.write("Tabl1/cal3.txt", table);
    Settings.Mathem.dmm[3] = 1.5;
  }
  void TearDown() override {
    ResetControllerLink();
    ResetSettingsModule();
  }
  // The command codes sent, each with its camera and (for 0x8B) its switch.
  QStringList Sent() const {
    QStringList out;
    for (const QByteArray& r : line->requests) {
      QString s = QString("%1:%2").arg(uint8_t(r[0])).arg(uint8_t(r[1]), 2, 16, QChar('0'));
      if (uint8_t(r[1]) == 0x8B) s += QString("/%1").arg(uint8_t(r[2]));
      out << s;
    }
    return out;
  }
  testsupport::ScratchHome home;
  std::shared_ptr<FakeCameraLine> line;
};

TEST_F(Form40Test, CameraChoice) {
  TForm40 form;
  EXPECT_EQ(form.SelectedCamera(), 1);
  form.RadioButton3->setChecked(true);
  EXPECT_EQ(form.SelectedCamera(), 3);
  form.RadioButton1->setChecked(true);
  EXPECT_EQ(form.SelectedCamera(), 1);
  // The line has four cameras.
  for (QRadioButton* r :
       {form.RadioButton5, form.RadioButton6, form.RadioButton7, form.RadioButton8})
    EXPECT_FALSE(r->isEnabled());
}

}  // namespace

namespace {

TEST_F(Form40Test, MeasurementShowsTheFirstPointAndItsDistance) {
  TForm40 form;
  form.RadioButton3->setChecked(true);
  line->point = 100 << 5;
  form.Button1->click();
  EXPECT_EQ(Sent(), QStringList({"3:8a", "3:86", "3:84", "3:8b/1", "3:8d", "3:8c", "3:8b/0"}));
  EXPECT_EQ(form.Label2->text(), "100");
  EXPECT_EQ(form.Label4->text(), "101.75");
  EXPECT_TRUE(form.Button1->isEnabled());

  // A point beyond the camera line shows its last position and last line.
  line->point = 0xFFFFFFFF;
  form.Button1Click();
  EXPECT_EQ(form.Label2->text(), "2047");
  EXPECT_EQ(form.Label4->text(), "229.00");

  // Camera 2 has no table: the form names it instead of showing a distance.
  form.RadioButton2->setChecked(true);
  form.Button1Click();
  EXPECT_EQ(form.Label2->text(), "2047");
  EXPECT_TRUE(form.Label4->text().contains("cal2.txt")) << form.Label4->text().toStdString();
}

// The form's scan keeps its own copy and leaves the kept profile of the
// measurement shown (STORAGE\<CurrentIndex>-cmr<n>.txt) as it was.
TEST_F(Form40Test, TheReadOutKeepsItsOwnCopyAndNoMeasurementsFile) {
  ResetDatabaseModule();
  Database.ShiftState.CurrentIndex = 7;
  home.write("STORAGE/7-cmr3.txt", "kept profile\n");
  TForm40 form;
  form.RadioButton3->setChecked(true);
  line->point = 100 << 5;
  form.Button1Click();
  EXPECT_EQ(home.read("STORAGE/7-cmr3.txt"), "kept profile\n");
  EXPECT_EQ(home.read("STORAGE/range-cmr3.txt"), home.read("cmr3.txt"));
  EXPECT_FALSE(home.read("cmr3.txt").isEmpty());
  ResetDatabaseModule();
}

TEST_F(Form40Test, ReadOutWithoutReplyShowsNoStaleValue) {
  TForm40 form;
  form.RadioButton3->setChecked(true);
  line->point = 100 << 5;
  form.Button1Click();
  ASSERT_EQ(form.Label4->text(), "101.75");
  line->silent = {0x8C};
  line->requests.clear();
  form.Button1Click();
  EXPECT_EQ(form.Label2->text(), "-");
  EXPECT_EQ(form.Label4->text(), "Камера №3 не передала данные");
  // The camera is switched off all the same.
  ASSERT_FALSE(line->requests.empty());
  EXPECT_EQ(Sent().last(), "3:8b/0");
}

TEST_F(Form40Test, OnAndOffSwitchTheChosenCamera) {
  TForm40 form;
  form.Button4->click();
  form.RadioButton4->setChecked(true);
  form.Button5->click();
  EXPECT_EQ(Sent(), QStringList({"1:8b/1", "4:8b/0"}));
}

}  // namespace

namespace {

// The form as the playback harness drives it when the start-up shows it:
// steps run from the message pump inside the form's own loop, and during the
// measurement's waits.
TEST_F(Form40Test, PlaybackPressesAndDumpsTheForm) {
  line->point = 100 << 5;
  home.write("form40.play",
             "press RadioButton3\n"
             "press Button1\n"
             "# a measurement takes some 2.4 s of the line's time\n"
             "wait 3000\n"
             "dump form40.txt\n"
             "press Button2\n");
  QString error;
  ASSERT_TRUE(StartPlayback(home.file("form40.play"), &error)) << error.toStdString();
  TForm40 form;
  // A script that stops short must not hold the test for ever.
  QTimer::singleShot(20000, &form, &QDialog::reject);
  form.exec();
  plat::SetPumpHook({});
  const auto dump = plat::ReadTextLines("form40.txt");
  ASSERT_TRUE(dump.has_value());
  EXPECT_EQ(dump->value(0), "TForm40");
  EXPECT_TRUE(dump->contains("RadioButton3\tКамера 3\t[x]")) << dump->join('|').toStdString();
  EXPECT_TRUE(dump->contains("Label2\t100")) << dump->join('|').toStdString();
  EXPECT_TRUE(dump->contains("Label4\t101.75")) << dump->join('|').toStdString();
}

}  // namespace
