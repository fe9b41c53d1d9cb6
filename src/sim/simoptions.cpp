#include "sim/simoptions.h"

#include "platform/optionreader.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace {

std::optional<double> Real(const QString& s) {
  bool ok = false;
  const double v = s.toDouble(&ok);
  if (!ok || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<qint64> Whole(const QString& s) {
  bool ok = false;
  const qint64 v = s.toLongLong(&ok, 10);
  if (!ok) return std::nullopt;
  return v;
}

// A command code: hexadecimal with 0x, else decimal.
std::optional<int> Code(const QString& s) {
  bool ok = false;
  const int v =
      s.startsWith("0x", Qt::CaseInsensitive) ? s.mid(2).toInt(&ok, 16) : s.toInt(&ok, 10);
  if (!ok || v < 0 || v > 255) return std::nullopt;
  return v;
}

using Handler = std::function<QString(plat::OptionWords&, LinesimOptions&)>;

struct Option {
  const char* name;
  const char* arguments;
  const char* help;
  Handler parse;
};

// Takes one argument with `read` and hands it to `apply`; the error names
// what the option takes.
template <typename T>
Handler One(std::function<std::optional<T>(const QString&)> read,
            std::function<bool(T, LinesimOptions&)> apply, const char* takes) {
  return [=](plat::OptionWords& a, LinesimOptions& o) -> QString {
    const auto text = a.Next();
    const auto value = text ? read(*text) : std::nullopt;
    if (!value || !apply(*value, o)) return takes;
    return {};
  };
}

Handler Flag(std::function<void(LinesimOptions&)> apply) {
  return [=](plat::OptionWords&, LinesimOptions& o) -> QString {
    apply(o);
    return {};
  };
}

// A device argument followed by a value.
template <typename T>
Handler DeviceAnd(std::function<std::optional<T>(const QString&)> read,
                  std::function<bool(T, SimDeviceFaults&)> apply, const char* takes) {
  return [=](plat::OptionWords& a, LinesimOptions& o) -> QString {
    const auto name = a.Next();
    const auto device = name ? SimDeviceFromName(*name) : std::nullopt;
    if (!device) return "takes a device: controller, camera1..camera4 or board";
    const auto text = a.Next();
    const auto value = text ? read(*text) : std::nullopt;
    if (!value || !apply(*value, o.faults.Of(*device))) return takes;
    return {};
  };
}

// A file name, kept in `field`.
Handler FileName(QString LinesimOptions::*field) {
  return One<QString>([](const QString& s) { return std::optional<QString>(s); },
                      [=](QString v, LinesimOptions& o) {
                        o.*field = v;
                        return !v.isEmpty();
                      },
                      "takes a file name");
}

Handler Millimetres(double SimpleSpring::*field) {
  return One<double>(
      Real,
      [=](double v, LinesimOptions& o) {
        o.spring.*field = v;
        return v > 0;
      },
      "takes millimetres above 0");
}

const std::vector<Option>& Options() {
  static const std::vector<Option> options = {
      {"--help", "", "print this help and end", Flag([](LinesimOptions& o) { o.help = true; })},
      {"--for", "SECONDS", "end after this long (default: until interrupted)",
       One<double>(
           Real,
           [](double v, LinesimOptions& o) {
             o.runForSeconds = v;
             return v > 0 && v < 1e6;
           },
           "takes seconds above 0")},
      {"--quick", "",
       "the line's own delays (initialisation, scan, force, read-out) a tenth as long, for "
       "tests that run the program on its virtual clock",
       Flag([](LinesimOptions& o) {
         SimTiming& t = o.timing;
         t.initMs /= 10;
         t.scanMs /= 10;
         t.forceMs /= 10;
         t.readOutMs = std::max<uint32_t>(1, t.readOutMs / 10);
       })},
      {"--clock", "FILE",
       "share the line's clock through FILE: a program started with --virtual-clock "
       "--line-clock FILE runs the line on its own virtual time",
       FileName(&LinesimOptions::clockFile)},
      {"--no-board", "", "no test board: only the controller's port is made",
       Flag([](LinesimOptions& o) { o.board = false; })},
      {"--log", "FILE",
       "append every request the line receives to FILE: milliseconds since start, port, "
       "the body bytes in hex",
       FileName(&LinesimOptions::logFile)},
      {"--silent", "DEVICE", "DEVICE neither carries out nor answers anything",
       [](plat::OptionWords& a, LinesimOptions& o) -> QString {
         const auto name = a.Next();
         const auto device = name ? SimDeviceFromName(*name) : std::nullopt;
         if (!device) return "takes a device: controller, camera1..camera4 or board";
         if (*device == SimDevice::Controller)
           o.faults.silentController = true;
         else if (*device == SimDevice::Board)
           o.faults.silentBoard = true;
         else
           o.faults.silentCamera[static_cast<int>(*device)] = true;
         return {};
       }},
      {"--silent-controller", "", "the same as --silent controller",
       Flag([](LinesimOptions& o) { o.faults.silentController = true; })},
      {"--silent-camera", "N", "the same as --silent cameraN (N 1..4); may be repeated",
       One<qint64>(
           Whole,
           [](qint64 v, LinesimOptions& o) {
             if (v < 1 || v > 4) return false;
             o.faults.silentCamera[v] = true;
             return true;
           },
           "takes a camera 1..4")},
      {"--silent-board", "", "the same as --silent board",
       Flag([](LinesimOptions& o) { o.faults.silentBoard = true; })},
      {"--late", "DEVICE MS", "every reply of DEVICE comes MS milliseconds late",
       DeviceAnd<qint64>(
           Whole,
           [](qint64 v, SimDeviceFaults& f) {
             f.lateMs = static_cast<uint32_t>(v);
             return v >= 0 && v <= 3600000;
           },
           "takes milliseconds 0..3600000 after the device")},
      {"--cut", "N", "every reply frame of every device stops after N bytes",
       One<qint64>(
           Whole,
           [](qint64 v, LinesimOptions& o) {
             o.faults.cutAfter = static_cast<int>(v);
             return v >= 1 && v <= 1000000;
           },
           "takes a byte count of at least 1")},
      {"--cut-device", "DEVICE N", "reply frames of DEVICE stop after N bytes",
       DeviceAnd<qint64>(
           Whole,
           [](qint64 v, SimDeviceFaults& f) {
             f.cutAfter = static_cast<int>(v);
             return v >= 1 && v <= 1000000;
           },
           "takes a byte count of at least 1 after the device")},
      {"--garble", "P",
       "each reply byte of every device is replaced at random with chance P (0..1)",
       One<double>(
           Real,
           [](double v, LinesimOptions& o) {
             o.faults.garble = v;
             return v >= 0 && v <= 1;
           },
           "takes a chance 0..1")},
      {"--garble-device", "DEVICE P",
       "each reply byte of DEVICE is replaced at random with chance P",
       DeviceAnd<double>(
           Real,
           [](double v, SimDeviceFaults& f) {
             f.garble = v;
             return v >= 0 && v <= 1;
           },
           "takes a chance 0..1 after the device")},
      {"--fail", "DEVICE CODE",
       "DEVICE neither carries out nor answers the command CODE (0x65 or 101); may be repeated",
       DeviceAnd<int>(
           Code,
           [](int v, SimDeviceFaults& f) {
             f.fail.insert(static_cast<uint8_t>(v));
             return true;
           },
           "takes a command code 0..255 (0x.. for hexadecimal) after the device")},
      {"--fail-nth", "DEVICE CODE N",
       "DEVICE neither carries out nor answers its N-th request (from 1) with the command CODE; "
       "may be repeated",
       [](plat::OptionWords& a, LinesimOptions& o) -> QString {
         const auto name = a.Next();
         const auto device = name ? SimDeviceFromName(*name) : std::nullopt;
         if (!device) return "takes a device: controller, camera1..camera4 or board";
         const auto code = [&] {
           const auto text = a.Next();
           return text ? Code(*text) : std::nullopt;
         }();
         if (!code) return "takes a command code 0..255 (0x.. for hexadecimal) after the device";
         const auto text = a.Next();
         const auto n = text ? Whole(*text) : std::nullopt;
         if (!n || *n < 1 || *n > 1000000)
           return "takes a request number of at least 1 after the code";
         o.faults.Of(*device).failNth.insert({static_cast<uint8_t>(*code), static_cast<int>(*n)});
         return {};
       }},
      {"--stuck-input", "d0|d1 open|closed", "the input stays so whatever the test board sets",
       [](plat::OptionWords& a, LinesimOptions& o) -> QString {
         const auto input = a.Next();
         const auto state = a.Next();
         if (!input || (*input != "d0" && *input != "d1") || !state ||
             (*state != "open" && *state != "closed"))
           return "takes d0 or d1, then open or closed";
         o.faults.stuckInputClosed[*input == "d0" ? 0 : 1] = *state == "closed";
         return {};
       }},
      {"--dead-adc", "", "the ADC reads 0 always; the press never reaches a force level",
       Flag([](LinesimOptions& o) { o.faults.deadAdc = true; })},
      {"--lir-error", "N",
       "the LIR counts N pulses more per 1000 (negative: loses them), evenly: 1000 pulses "
       "count 1000+N",
       One<qint64>(
           Whole,
           [](qint64 v, LinesimOptions& o) {
             o.faults.lirError = static_cast<int>(v);
             return v >= -1000 && v <= 1000;
           },
           "takes a whole number -1000..1000")},
      {"--seed", "S", "seed of the garbling",
       One<qint64>(
           Whole,
           [](qint64 v, LinesimOptions& o) {
             o.faults.seed = static_cast<uint32_t>(v);
             return v >= 0 && v <= std::numeric_limits<uint32_t>::max();
           },
           "takes a whole number 0..4294967295")},
      {"--points", "N", "readings per camera of a scan that completes by itself (default 1000)",
       One<qint64>(
           Whole,
           [](qint64 v, LinesimOptions& o) {
             o.spring.scanPoints = static_cast<int>(v);
             return v >= 0 && v <= 30000;
           },
           "takes 0..30000")},
      {"--height", "MM", "free height of the spring (default 249)",
       Millimetres(&SimpleSpring::freeHeight)},
      {"--diameter", "MM", "outer coil diameter (default 190)",
       Millimetres(&SimpleSpring::coilDiameter)},
      {"--wire", "MM", "wire diameter (default 30)", Millimetres(&SimpleSpring::wireDiameter)},
      {"--pitch", "MM", "height of one turn (default 48)", Millimetres(&SimpleSpring::pitch)},
      {"--tilt", "DEG", "the spring's axis against the vertical (default 0.5)",
       One<double>(
           Real,
           [](double v, LinesimOptions& o) {
             o.spring.tiltDegrees = v;
             return std::fabs(v) < 45;
           },
           "takes degrees below 45")},
      {"--stiffness", "K", "ADC units of force per mm of compression (default 300)",
       One<double>(
           Real,
           [](double v, LinesimOptions& o) {
             o.spring.stiffness = v;
             return v > 0;
           },
           "takes ADC units per mm above 0")},
  };
  return options;
}

}  // namespace

LinesimParse ParseLinesimOptions(const QStringList& args) {
  LinesimParse r;
  plat::OptionReader reader;
  for (const Option& o : Options()) {
    const Handler& parse = o.parse;
    reader.Custom(o.name,
                  [&parse, &r](plat::OptionWords& words) { return parse(words, r.options); });
  }
  r.ok = reader.Read(args, r.error);
  return r;
}

QString LinesimHelpText() {
  QString text =
      "usage: linesim [options]\n"
      "Plays the line's controller, four cameras and test board on pseudo-terminals and\n"
      "prints the setup.ini lines that point the program at them.\n"
      "DEVICE is controller, camera1, camera2, camera3, camera4 or board.\n\n";
  for (const Option& o : Options()) {
    const QString head = QString("  %1 %2").arg(o.name, o.arguments).trimmed();
    text += QString("  %1\n      %2\n").arg(head, o.help);
  }
  return text;
}

QStringList LinesimFaultLines(const SimFaults& f) {
  QStringList lines;
  for (int i = 0; i < kSimDeviceCount; ++i) {
    const SimDevice d = static_cast<SimDevice>(i);
    const QString name = SimDeviceName(d);
    const SimDeviceFaults& own = f.Of(d);
    if (f.Silent(d)) lines << name + " is silent";
    if (own.lateMs) lines << QString("%1 answers %2 ms late").arg(name).arg(own.lateMs);
    if (own.cutAfter) lines << QString("%1 frames stop after %2 bytes").arg(name).arg(own.cutAfter);
    if (own.garble > 0)
      lines << QString("%1 bytes garbled with chance %2").arg(name).arg(own.garble);
    for (uint8_t code : own.fail)
      lines << QString("%1 does not answer 0x%2").arg(name).arg(code, 2, 16, QChar('0'));
    for (const auto& [code, n] : own.failNth)
      lines << QString("%1 does not answer request %2 of 0x%3")
                   .arg(name)
                   .arg(n)
                   .arg(code, 2, 16, QChar('0'));
  }
  if (f.cutAfter) lines << QString("every frame stops after %1 bytes").arg(f.cutAfter);
  if (f.garble > 0) lines << QString("every reply byte garbled with chance %1").arg(f.garble);
  for (int k = 0; k < 2; ++k)
    if (f.stuckInputClosed[k])
      lines << QString("D%1 stuck %2").arg(k).arg(*f.stuckInputClosed[k] ? "closed" : "open");
  if (f.deadAdc) lines << "the ADC is dead";
  if (f.lirError) lines << QString("the LIR counts %1 per 1000 pulses").arg(1000 + f.lirError);
  return lines;
}
