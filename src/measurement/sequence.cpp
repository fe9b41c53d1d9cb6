#include "measurement/sequence.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "DALNOMER/calibration.h"
#include "config/settings.h"
#include "database/database.h"
#include "link/camera.h"
#include "link/camerascan.h"
#include "link/commands.h"
#include "link/link.h"
#include "mathem/coilgeometry.h"
#include "mathem/mathobserver.h"
#include "mathem/profiles.h"
#include "platform/clock.h"
#include "platform/pump.h"
#include "platform/random.h"
#include "springs/springtypes.h"

TMeasurementState Measurement;

void ResetMeasurementModule() {
  Measurement = TMeasurementState();
}

namespace {

using plat::Random;

const SpringType& TypeOf(int bogie, int springType) {
  static const SpringType none;
  if (bogie < 1 || bogie > kMaxBogieTypes || springType < 1 || springType > kMaxSpringTypes)
    return none;
  return SpringTypeTable()[bogie].springTypes[springType];
}

const SpringParameter& ParamOf(int bogie, int springType, int p) {
  return TypeOf(bogie, springType).parameters[p];
}

// The bogie type the records are made for: the one in use, or 1 when the
// mode state names none the table has room for (as CurrentBogie()).
int BogieInUse() {
  const int b = CurrentBogieType();
  return (b >= 1 && b <= kMaxBogieTypes) ? b : 1;
}

float& Value(MeasurementRecord& r, int p) {
  return r.Param[p].Value;
}

void ScaledPause(uint32_t ms) {
  plat::WaitMs(ScaledPauseMs(ms));
}

void Stage(int n, StageState state) {
  if (Measurement.observer.stage) Measurement.observer.stage(n, state);
}

void Marker(MeasurementMarker m) {
  if (Measurement.observer.marker) Measurement.observer.marker(m);
}

// An error page; in the program it does not come back.
bool Fail(int code, QString& error) {
  error = QString("Ошибка %1").arg(code);
  if (Measurement.observer.errorPage) Measurement.observer.errorPage(code);
  return false;
}

// A fault while the press may stand on the spring: the press is raised
// before the error page, so that the spring is not left under load.
bool FailRaised(int code, QString& error) {
  ControllerLongCommand(kCmdRelayUp);
  return Fail(code, error);
}

// The measurement stopped for a reason that is no fault of the line.
bool Stop(const QString& reason, QString& error) {
  error = reason;
  if (Measurement.observer.stopped) Measurement.observer.stopped(reason);
  return false;
}

// The spring type the operator names; 0 when the page has no key for one
// (or no page is installed).
int NamedType(int bogie) {
  const int chosen =
      Measurement.observer.chooseSpringType ? Measurement.observer.chooseSpringType(bogie) : 0;
  return chosen >= 1 && chosen <= kMaxSpringTypes ? chosen : 0;
}

// In emulation: the operator's type, or a random one of the bogie type when
// it offers none that a key can pick.
int OperatorsType(int bogie) {
  if (const int chosen = NamedType(bogie)) return chosen;
  return 1 + Random(SpringTypeTable()[bogie].MaxSprings);
}

void MarkUnmeasured(MeasurementRecord& r, std::initializer_list<int> params) {
  for (int p : params) SetParameterMeasured(r, p, false);
}

// A simulated record shows what its measurement type measures on the line:
// the fast mode has no profiles (parameters 1, 3, 4), the accelerated mode
// neither profiles nor force steps (all but the free height).
void MarkTypeUnmeasured(MeasurementRecord& r, MeasurementType type) {
  if (type != MeasurementType::Full) MarkUnmeasured(r, {1, 3, 4});
  if (type == MeasurementType::Accelerated) MarkUnmeasured(r, {5, 6});
  SetRecordAccelerated(r, type == MeasurementType::Accelerated);
}

MeasurementType TypeOfMeasurement() {
  return MeasurementTypeOf(Database.ModeState.FastMode, Database.ModeState.AcceleratedMode);
}

// The simulated spread of a parameter: t (its low byte) tenths at most.
double Spread(const SpringParameter& P) {
  const int t = P.t & 0xFF;
  return t != 0 ? Random(10 * t) / 10.0 : Random(5) / 10.0;
}

// A camera in use on which the chain found no coil: a diameter would be
// computed from a reading of 0.
int CameraWithoutCoil() {
  const int left = LeftOutCamera();
  for (int n = 1; n <= 4; ++n)
    if (n != left && ProfileStore.window[n].first == 0) return n;
  return 0;
}

// The camera whose profile or calibration table the mathematics could not
// use: the one the profile store names, else the first camera in use whose
// table gives no distance for its peak or that has no coil, else the first
// camera in use (the points it gave lie in a line).
int FaultyCamera() {
  if (ProfileStore.faultCamera != 0) return ProfileStore.faultCamera;
  const int left = LeftOutCamera();
  for (int n = 1; n <= 4; ++n) {
    if (n == left) continue;
    const int position = static_cast<int>(std::trunc(ProfileStore.window[n].peak));
    if (!CalibrationLookup(n, position)) return n;
  }
  if (const int n = CameraWithoutCoil()) return n;
  return left == 1 ? 2 : 1;
}

bool MathemFault() {
  return ProfileStore.faultCamera != 0 || !CoilResults.geometryFault.isEmpty();
}

bool CameraFault(QString& error) {
  const int n = FaultyCamera();
  QString reason = ProfileStore.faultCamera != 0 ? ProfileStore.fault : CoilResults.geometryFault;
  if (reason.isEmpty()) reason = QString("Камера №%1: виток не найден").arg(n);
  Fail(kCameraErrorBase + n, error);
  error = reason;
  return false;
}

// The mathematics as the visualiser's buttons run it: "Открыть", "Расчет
// Диаметра", "Расчет неперп.". False when a camera's profile or table could
// not be used: nothing computed from it may be stored.
bool RunMathematics(MeasurementRecord& r, QString& error) {
  ResetCoilResults();
  RunStepAndReport([] { LoadProfiles(0); });
  if (MathemFault()) return CameraFault(error);
  ComputeDiameter();
  if (MathemFault() || CameraWithoutCoil()) return CameraFault(error);
  Value(r, 1) = CoilResults.MeasuredDiameter;
  ComputeNonPerpendicularity();
  if (MathemFault() || CameraWithoutCoil()) return CameraFault(error);
  Value(r, 3) = CoilResults.MeasuredNonPerpendicularity;
  return true;
}

bool MeasureEmulated(MeasurementRecord& record, int number) {
  ScaledPause(1000);
  Stage(1, StageState::Running);
  ScaledPause(1000);
  Stage(1, StageState::Done);
  ScaledPause(1000);
  Stage(2, StageState::Running);
  ScaledPause(1000);

  const int bogie = BogieInUse();
  const BogieType& B = SpringTypeTable()[bogie];
  int type = 0;
  uint8_t kind = 0;
  if (Database.ModeState.FastMode) {
    type = OperatorsType(bogie);
    kind = 1;
  } else if (B.ManualSet) {
    type = OperatorsType(bogie);
  } else {
    type = 1 + Random(B.MaxSprings);
  }
  record = BuildSimulatedRecord(MeasurementIdentifier(number), type);
  record.BogieType = static_cast<uint8_t>(CurrentBogieType());
  record.Kind = kind;
  SetRecordEmulated(record, true);
  MarkTypeUnmeasured(record, TypeOfMeasurement());

  Stage(2, StageState::Done);
  ScaledPause(1000);
  Stage(3, StageState::Running);
  ScaledPause(1000);
  Stage(3, StageState::Done);
  ScaledPause(1000);
  Stage(4, StageState::Running);
  ScaledPause(1000);
  Stage(4, StageState::Done);
  return true;
}

bool MeasureOnLine(MeasurementRecord& record, int number, QString& error) {
  const auto& S = Settings;
  const QString identifier = MeasurementIdentifier(number);
  const int bogie = BogieInUse();
  const BogieType& B = SpringTypeTable()[bogie];
  const MeasurementType type = TypeOfMeasurement();
  const bool fast = type == MeasurementType::Fast;
  const bool accelerated = type == MeasurementType::Accelerated;
  // DEMO34 on the bogie types beyond 2 keeps the simulated values: such a
  // record is a demonstration, marked as made without measuring.
  const bool demo = S.Global.DEMO34 && CurrentBogieType() > 2;
  // Only a full measurement has profiles of this spring; without a
  // read-out the camera files are those of an earlier one.
  const bool profiles = type == MeasurementType::Full;
  const bool byDiameter = profiles && (CurrentBogieType() == 1 || CurrentBogieType() == 2);

  record = BuildSimulatedRecord(identifier, 1);
  record.BogieType = static_cast<uint8_t>(CurrentBogieType());
  record.Kind = fast ? 1 : 2;

  ScaledPause(1000);
  Stage(1, StageState::Running);
  if (!RunLineInitialisation()) return Fail(kLineInitError, error);
  ScaledPause(1000);
  Stage(1, StageState::Done);
  ScaledPause(1000);

  // The operator names the spring type in the fast mode, with ManualSet,
  // and wherever the line cannot tell it by the diameter (the accelerated
  // mode, bogie types without a rule); a record is never stored as a type
  // drawn at random, but for the demonstration of DEMO34.
  const bool named = fast || B.ManualSet || (!byDiameter && !demo);
  int working = named ? NamedType(bogie) : 0;
  if (named && working == 0 && !byDiameter)
    return Stop(QStringLiteral("Тип пружины не выбран: у типа тележки %1 нет клавиш типов пружин")
                    .arg(CurrentBogieType()),
                error);
  if (demo && !named) working = 1 + Random(B.MaxSprings);

  Stage(2, StageState::Running);
  QString diskError;
  const ScanOutcome scan =
      CameraScan(type, QString::number(Database.ShiftState.CurrentIndex), {}, diskError);
  if (scan == ScanOutcome::DiskError) return Stop(diskError, error);
  // No scan, no profiles of this spring: whatever the cameras' files hold
  // is not this spring's, and the cameras are not to blame.
  if (scan == ScanOutcome::Refused) return Fail(kScanRefusedError, error);
  Delay(50);
  Stage(2, StageState::Done);
  Stage(3, StageState::Running);
  for (int n = 1; n <= 4; ++n) CameraEnable(QString::number(n), false);
  Delay(100);

  const bool geometry = profiles && !demo;
  if (geometry && !RunMathematics(record, error)) return false;
  if (byDiameter) {
    const RecognisedType rec = RecogniseSpringType(Value(record, 1), working);
    if (working == 0) working = rec.springType;
    Value(record, 1) = static_cast<float>(rec.diameter);
  }

  // The record is built for the type it is stored as: what the line does
  // not measure of this spring is simulated from that type's norms and
  // marked as not measured, so it never decides the verdict.
  MeasurementRecord built = BuildSimulatedRecord(identifier, working);
  built.Kind = fast ? 1 : 0;
  if (geometry) {
    Value(built, 1) = Value(record, 1);
    Value(built, 3) = Value(record, 3);
  }
  record = built;
  if (demo) {
    SetRecordEmulated(record, true);
    MarkTypeUnmeasured(record, type);
  } else {
    SetRecordAccelerated(record, accelerated);
    MarkUnmeasured(record, {4});
    if (!profiles) MarkUnmeasured(record, {1, 3});
    if (accelerated) MarkUnmeasured(record, {5, 6});
  }
  const SpringType& T = TypeOf(bogie, working);

  Stage(3, StageState::Done);
  ScaledPause(500);
  Stage(4, StageState::Running);

  if (!accelerated) {
    const int l1 = T.Adc3, l2 = T.Adc1;
    const bool zam19 = S.Global.Zam19;
    const bool calibrating = S.Debug.CalEnable1 && CurrentBogieType() == 1;
    if (!((zam19 && (T.prm & 1)) || calibrating)) {
      if (!ForceCommand(l1).ok) return FailRaised(kFirstForceError, error);
      Delay(300);
      if (!ForceCommand(l1).ok) return FailRaised(kFirstForceError, error);
      Delay(300);
    }
    if (!ControllerCommand(kCmdResetLir).ok) return FailRaised(kLirResetError, error);
    Delay(200);
    if (!ForceCommand(l1).ok) return FailRaised(kFirstForceError, error);
    Delay(300);
    const ControllerReply travel = ControllerLongCommand(kCmdDisplacement);
    if (!travel.ok) return FailRaised(kDisplacementError, error);
    double p5 = demo ? Value(record, 5) : DisplacementMm(travel.Value());
    p5 = ThresholdDisplacement(p5, T.Odf);
    if (calibrating) {
      p5 = 0;
      if (!demo) MarkUnmeasured(record, {5});
    }
    Value(record, 5) = static_cast<float>(p5);
    if (!(zam19 && (T.prm & 2))) {
      const ControllerReply second = ForceCommand(l2);
      if (!second.ok) return FailRaised(kSecondForceError, error);
      if (!demo) Value(record, 6) = static_cast<float>(DeflectionMm(second.Value()));
    } else if (!demo) {
      MarkUnmeasured(record, {6});
    }
  }

  if (!ControllerLongCommand(kCmdRelayUp).ok) return Fail(kPressUpError, error);
  Delay(static_cast<uint32_t>(std::max(0, S.Hard.ups)));
  const ControllerReply height = ControllerLongCommand(kCmdPosition);
  if (!height.ok) return Fail(kPositionError, error);
  if (!demo) Value(record, 2) = static_cast<float>(FreeHeightMm(height.Value()));

  if (!demo) ApplyCorrections(record, working);
  FillChartAndAux(record);

  if (!RunLineInitialisation()) return Fail(kLineInitError, error);
  Stage(4, StageState::Done);
  if (S.Mathem.MathVisEnable && Measurement.observer.showVisualiser)
    Measurement.observer.showVisualiser();
  return true;
}

}  // namespace

double DisplacementMm(int raw) {
  return DisplacementFromRaw(raw) * 0.0396;
}

double DeflectionMm(int raw) {
  return raw * 0.04;
}

double FreeHeightMm(int raw) {
  return 258.5 - (65535 - raw - 8733) * 0.03996 + 0.7;
}

double ThresholdDisplacement(double p5, double odf) {
  return p5 > odf ? p5 : 0.0;
}

RecognisedType RecogniseSpringType(double d, int workingType) {
  const int bogie = CurrentBogieType();
  if (bogie != 1 && bogie != 2) return {workingType, d};
  RecognisedType r{SpringTypeByDiameter(d), d};
  // The outer springs are measured over the coil of the inner one beside
  // them: the diameter stands for a coil 60 (56) mm smaller.
  if (bogie == 1 && r.springType == 3) r.diameter = d - 60;
  if (bogie == 2 && r.springType == 2) r.diameter = d - 56;
  return r;
}

MeasurementRecord BuildSimulatedRecord(const QString& identifier, int springType) {
  const int bogie = BogieInUse();
  MeasurementRecord r;
  r.Identifier = identifier;
  r.SpringType = static_cast<uint8_t>(springType);
  r.Date = plat::Now();
  r.Kind = 0;
  r.BogieType = static_cast<uint8_t>(CurrentBogieType());
  for (int p = 1; p <= 6; ++p) {
    r.Param[p].JudgeMode = 0;
    r.Param[p].Verdict = 1;
  }
  const auto P = [&](int p) -> const SpringParameter& { return ParamOf(bogie, springType, p); };
  const auto corrected = [&](int p) {
    return static_cast<float>((Spread(P(p)) + P(p).Midl) * P(p).Mul + P(p).Add);
  };
  Value(r, 1) = corrected(1);
  Value(r, 2) = static_cast<float>(Spread(P(2)) + P(2).Midl);
  Value(r, 3) = corrected(3);
  Value(r, 4) = corrected(4);
  Value(r, 5) = 0;
  Value(r, 6) = static_cast<float>(Spread(P(6)) + P(6).Midl);

  const auto& S = Settings;
  const bool accelerated = Database.ModeState.AcceleratedMode;
  if (S.Params.BrakGenerate && Random(100) <= S.Params.BrakPersent) {
    switch (Random(5)) {
      case 0:
        if (!accelerated) Value(r, 2) -= static_cast<float>(15 + Random(10));
        break;
      case 1:
        Value(r, 2) -= static_cast<float>(10 + Random(7));
        break;
      case 2:
        if (!accelerated && !S.Debug.CalEnable1)
          Value(r, 5) += static_cast<float>(Random(10) + Random(3));
        break;
      case 3:
        if (!accelerated) Value(r, 6) += static_cast<float>(Random(10) + Random(10));
        break;
      default:
        break;
    }
  }
  FillChartAndAux(r);
  r.WagonFrom = Database.ShiftState.WagonFrom;
  r.WagonTo = Database.ShiftState.WagonTo;
  return r;
}

void FillChartAndAux(MeasurementRecord& r) {
  r.Chart.fill(0);
  r.Aux.fill(0);
  switch (r.SpringType) {
    case 1:
    case 2:
    case 4: {
      const int spread[10] = {0, 4, 7, 8, 10, 10, 5, 8, 10, 2};
      const int base[10] = {0, 10, 20, 20, 20, 20, 20, 15, 3, 2};
      for (int i = 1; i <= 9; ++i) r.Aux[i] = Random(spread[i]) + base[i];
      break;
    }
    case 3:
    case 5: {
      const int spread[7] = {0, 5, 7, 5, 8, 10, 5};
      const int base[7] = {0, 15, 40, 40, 32, 15, 10};
      for (int i = 1; i <= 6; ++i) r.Aux[i] = Random(spread[i]) + base[i];
      break;
    }
    default:
      break;
  }
  const double p6 = r.Param[6].Value;
  const double A = std::clamp(std::trunc(std::isfinite(p6) ? p6 : 0.0), 15.0, 70.0);
  r.Chart[1] = static_cast<int32_t>(std::trunc(Random(10) + A * 1.8 / 3));
  r.Chart[2] = static_cast<int32_t>(std::trunc(Random(10) + A * 1.8 / 3 * 2));
  r.Chart[3] = static_cast<int32_t>(std::trunc(A * 1.8));
}

void ApplyCorrections(MeasurementRecord& r, int workingType) {
  const auto& S = Settings;
  const int bogie = BogieInUse();
  const auto P = [&](int p) -> const SpringParameter& { return ParamOf(bogie, workingType, p); };
  const auto correct = [&](int p) {
    Value(r, p) = static_cast<float>(Value(r, p) * P(p).Mul + P(p).Add);
  };
  correct(1);
  correct(2);
  correct(6);
  // A substituted value is no measurement of this spring.
  if (S.Debug.notiny && Value(r, 6) < 20) {
    Marker(MeasurementMarker::TinyDeflection);
    Value(r, 6) = static_cast<float>(Random(4) / 8.0 + P(6).Midl);
    MarkUnmeasured(r, {6});
  }
  if (S.Debug.nohard && Value(r, 6) < P(6).Min) {
    Marker(MeasurementMarker::SoftSpring);
    Value(r, 6) = static_cast<float>(Random(4) / 8.0 + P(6).Min + 0.2);
    MarkUnmeasured(r, {6});
  }
  const int b = CurrentBogieType();
  if ((b == 1 && workingType == 3) || (b == 2 && workingType == 2)) {
    const double base = b == 1 ? 137.5 : 144.1;
    Value(r, 1) = static_cast<float>(base + Random(8) / 10.0);
    MarkUnmeasured(r, {1});
    if (S.Mathem.debugB) {
      Value(r, 3) = static_cast<float>(Random(5) / 10.0 + 0.1);
      MarkUnmeasured(r, {3});
    }
  }
  if (S.Debug.nocurve) {
    Marker(MeasurementMarker::NonPerpendicular);
    Value(r, 3) = static_cast<float>(Random(6) / 10.0 + 0.6);
    MarkUnmeasured(r, {3});
  }
  correct(3);
}

bool MeasureSpring(MeasurementRecord& record, int number, QString& error) {
  error.clear();
  if (Measurement.observer.measuringBox) Measurement.observer.measuringBox();
  return Settings.Global.Emul ? MeasureEmulated(record, number)
                              : MeasureOnLine(record, number, error);
}

bool MeasureSpring(MeasurementRecord& record, int number) {
  QString error;
  return MeasureSpring(record, number, error);
}
