#include "config/settings.h"

#include <QLocale>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "platform/inifile.h"
#include "platform/paths.h"

TSettings Settings;

TSettings::TSettings() {
  for (int i = 13; i <= 16; ++i) Mathem.k[i] = 100500;
  for (int cam = 1; cam <= 4; ++cam)
    for (int n = 1; n <= 12; ++n) K[cam][n] = 100500;
}

namespace {

enum class Kind { Bool, Int, Float, String };

struct KeyDef {
  QString section;
  QString key;
  Kind kind;
  std::function<void*(TSettings&)> field;
  QString comment;
};

#define FIELD(expr) [](TSettings& s) -> void* { return &s.expr; }

const std::vector<KeyDef>& Keys() {
  static const std::vector<KeyDef> keys = [] {
    std::vector<KeyDef> k = {
        {"Global", "Emul", Kind::Bool, FIELD(Global.Emul),
         "Эмуляция: 1 - работа без линии, 0 - работа с оборудованием"},
        {"Global", "Volhov", Kind::Bool, FIELD(Global.Volhov),
         "Другая координата камеры 4 при NMCam=2"},
        {"Global", "DEMO34", Kind::Bool, FIELD(Global.DEMO34), "Демонстрационный режим (D34)"},
        {"Global", "Zam19", Kind::Bool, FIELD(Global.Zam19),
         "Вариант оценки и вывода результатов (19)"},
        {"Global", "RTedit", Kind::Bool, FIELD(Global.RTedit),
         "Клавиша \"Предельные размеры\" в меню настройки"},
        {"Global", "ukz_enable", Kind::Bool, FIELD(Global.ukz_enable),
         "Разрешить ускоренный замер"},
        {"Global", "PowerOFF", Kind::Bool, FIELD(Global.PowerOFF),
         "Запускать poweroff.exe при завершении работы"},
        {"Global", "SoftVer", Kind::String, FIELD(Global.SoftVer),
         "Версия, выводимая на панели клавиш"},
        {"Global", "VNenable", Kind::Bool, FIELD(Global.VNenable), "Ввод номеров вагонов"},
        {"Global", "MatixScale", Kind::Float, FIELD(Global.MatixScale),
         "Коэффициент ширины печатного листа"},
        {"Global", "Poverka", Kind::Bool, FIELD(Global.Poverka),
         "Показывать форму поверки при запуске"},
        {"Global", "DestroyDbNow", Kind::Bool, FIELD(Global.DestroyDbNow),
         "Очистить Report\\base.bin при запуске"},
        {"Global", "DestroyDayDbNow", Kind::Bool, FIELD(Global.DestroyDayDbNow),
         "Очистить Report\\day.bin при запуске"},
        {"Global", "DestroyTelDbNow", Kind::Bool, FIELD(Global.DestroyTelDbNow),
         "Очистить Report\\Tel.bin при запуске"},
        {"Global", "Print_in_file", Kind::Bool, FIELD(Global.Print_in_file),
         "Печать в файл вместо принтера"},
        {"Global", "Turbo", Kind::Int, FIELD(Global.Turbo), "Делитель пауз (не меньше 1)"},

        {"Depo", "DepoName", Kind::String, FIELD(Depo.DepoName), "Название депо"},
        {"Depo", "Depo1Name", Kind::String, FIELD(Depo.Depo1Name),
         "Первая часть заголовка (дорога, предприятие)"},
        {"Depo", "DeviceId", Kind::String, FIELD(Depo.DeviceId), "Заводской номер линии"},
        {"Depo", "Password", Kind::Int, FIELD(Depo.Password), "Пароль меню настройки"},
        {"Depo", "r4_mmm", Kind::Int, FIELD(Depo.r4_mmm),
         "Подбор: пружины комплекта занимают не более r4_mmm-1 групп"},
        {"Depo", "PasswordEnable", Kind::Bool, FIELD(Depo.PasswordEnable),
         "Спрашивать пароль перед меню настройки"},
        {"Depo", "ProgressChassieEnabled", Kind::Bool, FIELD(Depo.ProgressChassieEnabled),
         "Выбор типа тележки"},
        {"Depo", "Confirmation", Kind::Bool, FIELD(Depo.Confirmation),
         "Подтверждение перед замером"},

        {"Debug", "ShowCursor", Kind::Bool, FIELD(Debug.ShowCursor), "Показывать указатель мыши"},
        {"Debug", "nohard", Kind::Bool, FIELD(Debug.nohard),
         "Отладка: подстановка параметра 6 ниже минимума"},
        {"Debug", "notiny", Kind::Bool, FIELD(Debug.notiny),
         "Отладка: подстановка параметра 6 меньше 20"},
        {"Debug", " Vred", Kind::Bool, FIELD(Debug.Vred),
         "Редактор параметров на странице предельных размеров"},
        {"Debug", "nocurve", Kind::Bool, FIELD(Debug.nocurve), "Отладка: подстановка параметра 3"},
        {"Debug", "CalEnable", Kind::Bool, FIELD(Debug.CalEnable),
         "Клавиша \"Режим калибровки\" в меню настройки"},
        {"Debug", "CalEnable1", Kind::Bool, FIELD(Debug.CalEnable1),
         "Вариант записи и оценки результатов"},
        {"Debug", "DebugMessages", Kind::Bool, FIELD(Debug.DebugMessages),
         "Сообщения об ошибках связи"},
        {"Debug", "DebugMMsaveMessages", Kind::Bool, FIELD(Debug.DebugMMsaveMessages),
         "Подробный вывод обработки профилей"},
        {"Debug", "ShowMousePos", Kind::Bool, FIELD(Debug.ShowMousePos),
         "Показывать координаты мыши и код клавиши"},
        {"Debug", "KeyPressDelay", Kind::Int, FIELD(Debug.KeyPressDelay),
         "Время показа нажатой клавиши, мс"},

        {"Params", "ChassieIniFilename", Kind::String, FIELD(Params.ChassieIniFilename),
         "Файл типов тележек и пружин"},
        {"Params", "BrakGenerate", Kind::Bool, FIELD(Params.BrakGenerate),
         "Эмуляция: формировать бракованные пружины"},
        {"Params", "BrakPersent", Kind::Int, FIELD(Params.BrakPersent), "Эмуляция: доля брака, %"},

        {"Hard", "Com", Kind::String, FIELD(Hard.Com),
         "Порт центрального контроллера и камер (COMn или путь устройства)"},
        {"Hard", "TerminalEnable", Kind::Bool, FIELD(Hard.TerminalEnable),
         "Разрешить сервисный терминал (клавиша _)"},
        {"Hard", "TerminalStart", Kind::Bool, FIELD(Hard.TerminalStart),
         "Показывать сервисный терминал при запуске"},
        {"Hard", "TimeoutCk", Kind::Int, FIELD(Hard.TimeoutCk),
         "Число попыток приема длинной команды"},
        {"Hard", "ups", Kind::Int, FIELD(Hard.ups), "Пауза после подъема пресса, мс"},
        {"Hard", "ProtectMaxZamer", Kind::Int, FIELD(Hard.ProtectMaxZamer),
         "Наибольшее число отсчетов профиля (не более 1800)"},
        {"Hard", "ProtectGeomErrorsEnable", Kind::Bool, FIELD(Hard.ProtectGeomErrorsEnable),
         "Ошибка при недопустимой длине профиля"},
        {"Hard", "Cam2off", Kind::Bool, FIELD(Hard.Cam2off), "Не использовать камеру 2"},
    };
    for (int n = 1; n <= 4; ++n) {
      k.push_back({"Hard", QString("Shutter%1").arg(n), Kind::Int,
                   [n](TSettings& s) -> void* { return &s.Hard.Shutter[n]; },
                   QString("Экспозиция камеры %1").arg(n)});
    }
    for (int n = 1; n <= 4; ++n) {
      k.push_back({"Hard", QString("Porog%1").arg(n), Kind::Int,
                   [n](TSettings& s) -> void* { return &s.Hard.Porog[n]; },
                   QString("Порог камеры %1").arg(n)});
    }
    const std::vector<KeyDef> mathem = {
        {"Mathem", "newmetod", Kind::Bool, FIELD(Mathem.newmetod), "Другой способ поиска витка"},
        {"Mathem", "debugB", Kind::Bool, FIELD(Mathem.debugB),
         "Отладка: подстановка параметра 3 для тележек 1 и 2"},
        {"Mathem", "MathVisEnable", Kind::Bool, FIELD(Mathem.MathVisEnable),
         "Разрешить окно математики (клавиша !)"},
        {"Mathem", "MathVisStart", Kind::Bool, FIELD(Mathem.MathVisStart),
         "Показывать окно математики при запуске"},
        {"Mathem", "NMCam", Kind::Int, FIELD(Mathem.NMCam),
         "Камера (1..4), не участвующая в расчете геометрии"},
        {"Mathem", "DalnomerEnable", Kind::Bool, FIELD(Mathem.DalnomerEnable),
         "Показывать окно дальномера при запуске"},
    };
    k.insert(k.end(), mathem.begin(), mathem.end());
    for (int n = 13; n <= 16; ++n) {
      k.push_back({"Mathem", QString("k%1").arg(n), Kind::Int,
                   [n](TSettings& s) -> void* { return &s.Mathem.k[n]; },
                   QString("Порог диаметра %1 для выбора типа пружины").arg(n - 12)});
    }
    const std::vector<KeyDef> mathem2 = {
        {"Mathem", "Kalp", Kind::Int, FIELD(Mathem.Kalp), "Доля длины профиля, %"},
        {"Mathem", "kp2", Kind::Bool, FIELD(Mathem.kp2), "Ступень выравнивания kp2"},
        {"Mathem", "kp1", Kind::Bool, FIELD(Mathem.kp1), "Ступень выравнивания kp1"},
        {"Mathem", "kp0", Kind::Bool, FIELD(Mathem.kp0), "Ступень выравнивания kp0"},
    };
    k.insert(k.end(), mathem2.begin(), mathem2.end());
    for (int n = 1; n <= 4; ++n) {
      k.push_back({"Mathem", QString("dmm%1").arg(n), Kind::Float,
                   [n](TSettings& s) -> void* { return &s.Mathem.dmm[n]; },
                   QString("Поправка расстояния камеры %1, мм").arg(n)});
    }
    for (int n = 1; n <= 4; ++n) {
      k.push_back({"Mathem", QString("gx%1").arg(n), Kind::Float,
                   [n](TSettings& s) -> void* { return &s.Mathem.gx[n]; },
                   QString("Поперечная координата луча камеры %1, мм").arg(n)});
    }
    const std::vector<KeyDef> mathem3 = {
        {"Mathem", "Va", Kind::Float, FIELD(Mathem.Va),
         "Расстояние между основаниями камер 2 и 4, мм"},
        {"Mathem", "Vb", Kind::Float, FIELD(Mathem.Vb),
         "Расстояние между основаниями камер 3 и 1, мм"},
        {"Mathem", "LightShild", Kind::Bool, FIELD(Mathem.LightShild),
         "Первая ступень выравнивания"},
    };
    k.insert(k.end(), mathem3.begin(), mathem3.end());
    for (int cam = 1; cam <= 4; ++cam) {
      for (int n = 1; n <= 12; ++n) {
        k.push_back({QString("k%1").arg(cam), QString("k%1").arg(n), Kind::Int,
                     [cam, n](TSettings& s) -> void* { return &s.K[cam][n]; },
                     n == 1 ? QString("Константы фильтров камеры %1").arg(cam) : QString()});
      }
    }
    const std::vector<KeyDef> rest = {
        {"Ckt", "Enable", Kind::Bool, FIELD(Ckt.Enable), "Открывать порт тестовой платы"},
        {"Ckt", "Port", Kind::String, FIELD(Ckt.Port), "Порт тестовой платы"},
        {"Visual", "FullScreen", Kind::Bool, FIELD(Visual.FullScreen), "Переключать режим экрана"},
        {"Visual", "KeyLight", Kind::Bool, FIELD(Visual.KeyLight),
         "Белая полоса под подписями клавиш"},
        {"Visual", "KeyFont", Kind::Int, FIELD(Visual.KeyFont),
         "Шрифт подписей: 1 Times, 2 Impact, 3 Courier"},
        {"Visual", "AlphaEnable", Kind::Bool, FIELD(Visual.AlphaEnable),
         "Плавное появление и гашение окна"},
        {"Visual", "AlphaKo", Kind::Int, FIELD(Visual.AlphaKo),
         "Шаг прозрачности (1..255) за 5 мс"},
        {"Visual", "CaptionEnable", Kind::Bool, FIELD(Visual.CaptionEnable),
         "Рамка и заголовок окна"},
        {"Visual", "HD", Kind::Bool, FIELD(Visual.HD), "Экран 1360 x 768"},
    };
    k.insert(k.end(), rest.begin(), rest.end());
    return k;
  }();
  return keys;
}

#undef FIELD

bool& Loaded() {
  static bool loaded = false;
  return loaded;
}

}  // namespace

namespace {

std::vector<TUnreadableSetting>& Unreadable() {
  static std::vector<TUnreadableSetting> keys;
  return keys;
}

QString ValueText(const KeyDef& d, TSettings& s);

// Whether a value that the file holds reads as the key's type.
bool Readable(Kind kind, const QString& value) {
  switch (kind) {
    case Kind::Bool:
    case Kind::Int:
      return plat::ParseInteger(value).has_value();
    case Kind::Float:
      return plat::ParseFloat(value).has_value();
    case Kind::String:
      return true;
  }
  return true;
}

}  // namespace

TSettings ReadSettings(const plat::IniFile& ini, std::vector<TUnreadableSetting>* unreadable) {
  TSettings s;
  for (const KeyDef& d : Keys()) {
    if (unreadable) {
      const auto value = ini.Value(d.section, d.key);
      if (value && !Readable(d.kind, *value))
        unreadable->push_back({d.section, d.key.trimmed(), *value, ValueText(d, s)});
    }
    void* p = d.field(s);
    switch (d.kind) {
      case Kind::Bool: {
        bool& b = *static_cast<bool*>(p);
        b = ini.ReadBool(d.section, d.key, b);
        break;
      }
      case Kind::Int: {
        int& i = *static_cast<int*>(p);
        i = ini.ReadInteger(d.section, d.key, i);
        break;
      }
      case Kind::Float: {
        double& f = *static_cast<double*>(p);
        f = ini.ReadFloat(d.section, d.key, f);
        break;
      }
      case Kind::String: {
        QString& str = *static_cast<QString*>(p);
        str = ini.ReadString(d.section, d.key, str);
        break;
      }
    }
  }
  return s;
}

void LoadSettings() {
  if (Loaded()) return;
  Loaded() = true;
  // Every real in the configuration and the data files uses ".".
  QLocale::setDefault(QLocale::c());
  Unreadable().clear();
  Settings = ReadSettings(plat::IniFile::Load(plat::MapProgramPath("setup.ini")), &Unreadable());
  // The service engineer finds them in the program's output as well.
  for (const QString& line : UnreadableSettingsLines())
    std::fprintf(stderr, "kalvor: setup.ini: %s\n", line.toLocal8Bit().constData());
}

QStringList UnreadableSettingsLines() {
  QStringList lines;
  for (const TUnreadableSetting& u : Unreadable())
    lines << QStringLiteral("[%1] %2 = \"%3\": не число, взято по умолчанию %4")
                 .arg(u.section, u.key, u.value, u.taken);
  return lines;
}

void ResetSettingsModule() {
  Loaded() = false;
  Settings = TSettings();
  Unreadable().clear();
}

namespace {
QString ValueText(const KeyDef& d, TSettings& s) {
  const void* p = d.field(s);
  switch (d.kind) {
    case Kind::Bool:
      return *static_cast<const bool*>(p) ? "1" : "0";
    case Kind::Int:
      return QString::number(*static_cast<const int*>(p));
    case Kind::Float: {
      QString value = plat::FormatFloat(*static_cast<const double*>(p));
      if (!value.contains('.') && !value.contains('e')) value += ".0";
      return value;
    }
    case Kind::String:
      return *static_cast<const QString*>(p);
  }
  return QString();
}
}  // namespace

QString SettingsText(const TSettings& settings) {
  TSettings copy = settings;
  QString out;
  for (const KeyDef& d : Keys())
    out += "[" + d.section + "] " + d.key.trimmed() + "=" + ValueText(d, copy) + "\n";
  return out;
}

QString DefaultSetupIniText() {
  TSettings defaults;
  QString out;
  out += "; Настройки линии измерения и сортировки пружин.\r\n";
  out +=
      "; Каждый ключ указан со значением по умолчанию. Логические значения: 0 - выкл., 1 - "
      "вкл.\r\n";
  out +=
      "; Целые числа: десятичные или шестнадцатеричные ($1F, 0x1F). Дробные числа - через "
      "точку.\r\n";
  QString section;
  for (const KeyDef& d : Keys()) {
    if (d.section != section) {
      section = d.section;
      out += "\r\n[" + section + "]\r\n";
    }
    if (!d.comment.isEmpty()) out += "; " + d.comment + "\r\n";
    out += d.key.trimmed() + "=" + ValueText(d, defaults) + "\r\n";
  }
  return out;
}

uint32_t ScaledPauseMs(uint32_t ms) {
  const int turbo = std::max(1, Settings.Global.Turbo);
  return ms / static_cast<uint32_t>(turbo);
}
