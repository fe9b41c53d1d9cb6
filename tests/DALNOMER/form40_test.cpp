#include "DALNOMER/form40.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "config/settings.h"
#include "testsupport.h"

namespace {

class Form40Test : public ::testing::Test {
 protected:
  void SetUp() override { ResetSettingsModule(); }
  void TearDown() override { ResetSettingsModule(); }
  testsupport::ScratchHome home;
};

TEST_F(Form40Test, ControlsAndCameraChoice) {
  TForm40 form;
  EXPECT_EQ(form.Button1->text(), "Замер");
  EXPECT_EQ(form.Button2->text(), "Закрыть");
  EXPECT_EQ(form.Button3->text(), "Выход");
  EXPECT_EQ(form.Button4->text(), "ON");
  EXPECT_EQ(form.Button5->text(), "OFF");
  EXPECT_EQ(form.CheckBox1->text(), "Автозамер");
  EXPECT_FALSE(form.Timer1->isActive());
  EXPECT_EQ(form.Timer1->interval(), 500);
  // Controls are found by their names (the playback harness presses them so).
  EXPECT_EQ(form.findChild<QPushButton*>("Button1"), form.Button1);
  EXPECT_EQ(form.findChild<QLabel*>("Label4"), form.Label4);

  EXPECT_EQ(form.SelectedCamera(), 1);
  form.RadioButton3->setChecked(true);
  EXPECT_EQ(form.SelectedCamera(), 3);
  form.RadioButton1->setChecked(true);
  EXPECT_EQ(form.SelectedCamera(), 1);
  EXPECT_TRUE(form.RadioButton4->isEnabled());
  for (QRadioButton* r : {form.RadioButton5, form.RadioButton6, form.RadioButton7, form.RadioButton8})
    EXPECT_FALSE(r->isEnabled());
}

TEST_F(Form40Test, RangeShowsTableLinePlusCameraOffset) {
  QByteArray table;
  for (int i = 0; i < 2048; ++i) table += (i == 100 ? "100.25" : "0") + QByteArray("\r\n");
  home.write("Tabl1/cal3.txt", table);
  Settings.Mathem.dmm[3] = 1.5;
  TForm40 form;
  form.ShowRange(3, 100);
  EXPECT_EQ(form.Label2->text(), "100");
  EXPECT_EQ(form.Label4->text(), "101.75");

  // Camera 2 has no table: the form says so instead of showing a distance.
  form.ShowRange(2, 100);
  EXPECT_EQ(form.Label2->text(), "100");
  EXPECT_TRUE(form.Label4->text().contains("cal2.txt")) << form.Label4->text().toStdString();
}

}  // namespace
