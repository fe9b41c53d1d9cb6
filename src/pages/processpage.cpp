// The process page: the page a measurement runs on, with the four stage
// pictures on the left that change as the stages run and end, the box
// "ИДЕТ ЗАМЕР" below them and the markers of substituted values in the
// canvas's corner. The page installs itself as the measurement's observer.

#include <cstdio>

#include "measurement/sequence.h"
#include "pages/pages.h"
#include "screen/screen.h"

namespace {

constexpr int kStageX = 20;
constexpr int kFirstStageY = 140;
constexpr int kStageStep = 72;

void DrawStagePicture(int stage, StageState state) {
  if (stage < 1 || stage > 4) return;
  DrawPicture(QString("PROC%1_%2.bmp").arg(stage).arg(static_cast<int>(state)),
              ScreenOffsetX() + kStageX, kFirstStageY + kStageStep * (stage - 1));
  RepaintScreen();
}

// The markers sit in the corner of the canvas itself, whatever the offset.
void DrawMarker(MeasurementMarker m) {
  switch (m) {
    case MeasurementMarker::TinyDeflection:
      FillBox(4, 2, 6, 4, kBlue);
      break;
    case MeasurementMarker::SoftSpring:
      FillBox(2, 2, 4, 4, kGreen);
      break;
    case MeasurementMarker::NonPerpendicular:
      FillBox(0, 2, 2, 4, kDarkRed);
      break;
  }
  RepaintScreen();
}

}  // namespace

void DrawProcessPage() {
  const int off = ScreenOffsetX();
  DisableAllKeys();
  DrawKeyPanel();
  FillScreen(kGrey);
  DisableAllKeys();
  DrawKeyPanel();
  TitleBar(QString("Автоматизированная линия \"Kalvor-М\""), 22, kBlue);
  DrawPanelBox(off + 8, 120, off + 420, 444);
  DrawPicture("Kalvor.bmp", off + 168, 150);
  for (int n = 1; n <= 4; ++n) DrawStagePicture(n, StageState::Waiting);
  RepaintScreen();
}

void DrawMeasuringBox() {
  const int off = ScreenOffsetX();
  DrawPanelBox(off + 8, 464, off + 420, 604);
  SetTextStyle("Impact", 36, kRed);
  PutShadowText(off + 160, 472, "ИДЕТ", 1, 1, kSilver);
  PutShadowText(off + 140, 530, "ЗАМЕР", 1, 1, kSilver);
  RepaintScreen();
}

void ShowMeasurementStopped(const QString& text) {
  std::fprintf(stderr, "kalvor: %s\n", text.toLocal8Bit().constData());
  const int off = ScreenOffsetX();
  DrawPanelBox(off + 8, 464, off + 420, 604);
  SetTextStyle("Impact", 24, kRed);
  PutShadowText(off + 60, 470, "Замер не выполнен", 1, 1, kSilver);
  // The reason names a file: written small, in the lines of the box.
  SetTextStyle("Arial", 10, kBlack);
  PutWrappedText(off + 16, 510, 396, 16, 5, text);
  RepaintScreen();
}

void InstallMeasurementObserver() {
  TMeasurementObserver& o = Measurement.observer;
  o.measuringBox = DrawMeasuringBox;
  o.stage = DrawStagePicture;
  o.marker = DrawMarker;
  o.chooseSpringType = [](int bogie) { return ChooseSpringType(bogie, true); };
  o.errorPage = [](int code) { ShowErrorPage(code); };
  o.stopped = ShowMeasurementStopped;
  o.showVisualiser = [] {
    if (ScreenState.showMathVis) ScreenState.showMathVis();
  };
}
