#include "link/boardtests.h"

#include "link/camera.h"
#include "link/commands.h"
#include "link/link.h"
#include "platform/clock.h"
#include "platform/cp1251.h"

namespace {

// The tests wait with plain sleeps: no window message may start a second
// exchange while the board and the controller are set.
void Sleep(uint32_t ms) {
  plat::SleepMs(ms);
}

class Run {
 public:
  explicit Run(const BoardTestReport& report) : report_(report) {}
  void Line(const QString& text) {
    result_.lines << text;
    if (report_.line) report_.line(text);
  }
  void Progress(int value) {
    if (report_.progress) report_.progress(value);
  }
  // "01" passes: the first mark with the stimulus off, the second with it on.
  BoardTestResult Verdict(const QString& marks, const QString& name) {
    result_.passed = marks == "01";
    Line(name + (result_.passed ? QStringLiteral(":ОК") : QStringLiteral(":ERROR")));
    return result_;
  }

 private:
  const BoardTestReport& report_;
  BoardTestResult result_;
};

QChar ReplyChar(uint8_t b) {
  return plat::FromCp1251Char(b);
}

}  // namespace

BoardTestResult ControlOutputTest(ControlOutput output, const BoardTestReport& report) {
  struct Output {
    uint8_t command;
    uint8_t on, off;
    uint8_t board;
    const char16_t* name;
  };
  static const Output outputs[] = {
      {kCmdHydraulics, kHydraulicsOn, kHydraulicsOff, kBoardHydraulicsOutput,
       u"Тест управления гидростанцией"},
      {kCmdRelayUp, kRelayRun, kRelayStop, kBoardUpOutput, u"Тест управления реле UP"},
      {kCmdRelayDown, kRelayRun, kRelayStop, kBoardDownOutput, u"Тест управления реле DN"},
  };
  const Output& o = outputs[static_cast<int>(output)];
  Run run(report);
  ControllerCommand(o.command, o.on);
  Sleep(100);
  QString marks(ReplyChar(TestBoardCommand(o.board).R[1]));
  ControllerCommand(o.command, o.off);
  Sleep(100);
  marks += ReplyChar(TestBoardCommand(o.board).R[1]);
  return run.Verdict(marks, QString::fromUtf16(o.name));
}

BoardTestResult AdcTest(const BoardTestReport& report) {
  Run run(report);
  TestBoardCommand(kBoardAdcLevel, 0);
  Sleep(100);
  QString marks = ControllerCommand(kCmdReadAdc).Value() < kAdcLowBelow ? "0" : "1";
  TestBoardCommand(kBoardAdcLevel, 15);
  Sleep(100);
  marks += ControllerCommand(kCmdReadAdc).Value() > kAdcHighAbove ? "1" : "0";
  return run.Verdict(marks, QStringLiteral("Тест ADC"));
}

BoardTestResult LirTest(const BoardTestReport& report) {
  Run run(report);
  ControllerCommand(kCmdResetLir);
  TestBoardCommand(kBoardLirPause, kBoardTestLirPause);
  Sleep(100);
  Sleep(100);
  for (int i = 0; i < 10; ++i) {
    TestBoardCommand(kBoardLirForward, kBoardBurst);
    run.Progress(10 * i);
    Sleep(120);
  }
  int count = ControllerCommand(kCmdReadLir).Value();
  Sleep(100);
  run.Line(QStringLiteral("LIR>>") + QString::number(count));
  QString marks = count > kLirForwardAbove && count < kLirForwardBelow ? "0" : "1";
  run.Progress(0);
  for (int i = 0; i < 9; ++i) {
    TestBoardCommand(kBoardLirBack, kBoardBurst);
    run.Progress(10 * i);
    Sleep(120);
  }
  count = ControllerCommand(kCmdReadLir).Value();
  Sleep(100);
  run.Line(QStringLiteral("LIR<<") + QString::number(count));
  run.Progress(0);
  marks += count > kLirBackAbove && count < kLirBackBelow ? "1" : "0";
  return run.Verdict(marks, QStringLiteral("Тест LIR"));
}

BoardTestResult InputTest(ControlInput input, const BoardTestReport& report) {
  const bool d0 = input == ControlInput::D0;
  const uint8_t board = d0 ? kBoardD0 : kBoardD1;
  const int bit = d0 ? kInputD0Bit : kInputD1Bit;
  Run run(report);
  TestBoardCommand(board, 0);
  Sleep(100);
  QString marks = (ControllerCommand(kCmdReadInputs).R3 >> bit) & 1 ? "0" : "1";
  TestBoardCommand(board, 1);
  Sleep(100);
  marks += (ControllerCommand(kCmdReadInputs).R3 >> bit) & 1 ? "0" : "1";
  return run.Verdict(marks, d0 ? QStringLiteral("Тест D0") : QStringLiteral("Тест D1"));
}

BoardTestResult SyncTest(const QString& storageName, const BoardTestReport& report) {
  Run run(report);
  run.Line(QStringLiteral("Тест синхросигнала запущен."));
  CameraSetup(1);
  CameraEnable("1", true);
  // The scan starts and runs while the board turns the LIR; no wait for it.
  ControllerCommand(kCmdScan);
  Sleep(100);
  ControllerCommand(kCmdResetLir);
  Sleep(100);
  TestBoardCommand(kBoardLirPause, kBoardTestLirPause);
  for (int i = 0; i < 80; ++i) {
    TestBoardCommand(kBoardLirForward, kBoardBurst);
    run.Progress(static_cast<int>(1.25 * i));
    Sleep(120);
  }
  run.Progress(0);
  TestBoardCommand(kBoardD1, 0);
  Sleep(100);
  // Closing D1 ends the scan.
  TestBoardCommand(kBoardD1, 1);
  Sleep(100);
  ControllerLink.LastScanLength = 0;
  CameraReadOut(1, storageName);
  CameraEnable("1", false);
  const int length = ControllerLink.LastScanLength;
  const bool passed = length > kSyncScanAbove && length < kSyncScanBelow;
  return run.Verdict(passed ? "01" : "", QStringLiteral("Тест синхро"));
}
