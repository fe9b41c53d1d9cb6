// The key captions of every page the keypad reaches, as the main window's
// dump gives the box each caption was drawn in: neighbouring keys' captions
// never touch.
#include <gtest/gtest.h>

#include <QRect>
#include <QRegularExpression>
#include <map>

#include "flowsupport.h"

namespace {

// Each page of the walk, reached from the one before by its keys, and
// dumped as it waits.
const char* const kWalk[][2] = {
    {"", "menu"},
    {"key 4\nwait 300\nkey 7\nkey 13\nwait 300\n", "settings"},
    {"key 9\nwait 300\n", "mode"},
    {"key 11\nwait 300\nkey 6\nwait 300\n", "bogie"},
    {"key 11\nwait 300\nkey 8\nwait 500\n", "wagons"},
    {"key 1\nwait 300\n", "wagon-entry"},
    {"key 13\nwait 300\nkey 13\nwait 300\nkey 10\nwait 300\n", "archive-choice"},
    {"key 4\nwait 500\n", "browser"},
    {"key 4\nwait 300\n", "browser-search"},
    {"key 11\nwait 300\nkey 5\nwait 300\n", "browser-range"},
    {"key 13\nwait 300\nkey 13\nwait 500\nkey 10\nwait 300\nkey 7\nwait 500\n", "set-archive"},
    {"key 13\nwait 500\nkey 2\nwait 20000\n", "measurement"},
    {"key 11\nwait 2000\n", "statistics"},
    {"key 13\nwait 500\nkey 13\nwait 500\nkey 13\nwait 500\n", "sorting-entry"},
    {"type 1234*2019*00*5678*2019*00*1111*2018*42*77*2017*00*\nwait 500\n", "sorting-continue"},
    {"key 10\nwait 500\n", "sorting-selection"},
    {"key 3\nwait 500\n", "sorting-spring"},
};

std::map<int, QRect> CaptionBoxes(const QString& dump) {
  std::map<int, QRect> boxes;
  static const QRegularExpression line("^caption(\\d+)\\t(-?\\d+) (\\d+) (\\d+) (\\d+)$");
  for (const QString& l : TextLines(dump)) {
    const auto m = line.match(l);
    if (m.hasMatch())
      boxes[m.captured(1).toInt()] = QRect(m.captured(2).toInt(), m.captured(3).toInt(),
                                           m.captured(4).toInt(), m.captured(5).toInt());
  }
  return boxes;
}

TEST(KeyCaptions, NoTwoNeighbouringCaptionsTouchOnAnyPage) {
  FlowHome home(
      "[Depo]\nProgressChassieEnabled=1\n[Global]\nVNenable=1\nRTedit=1\n[Debug]\nCalEnable=1\n");
  QString script = "wait 13000\n";
  for (const auto& step : kWalk) script += QString(step[0]) + "dump " + step[1] + ".txt\n";
  const auto r = home.Play(script + "exit\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();

  for (const auto& step : kWalk) {
    const QString dump = home.Text(QString(step[1]) + ".txt");
    const auto boxes = CaptionBoxes(dump);
    EXPECT_FALSE(boxes.empty()) << step[1] << ": " << dump.toStdString();
    for (const auto& [key, box] : boxes) {
      // Within the panel, centred over the key's own place.
      EXPECT_LE(box.width(), 72) << step[1] << " key " << key;
      const auto next = boxes.find(key + 1);
      if (next != boxes.end()) {
        EXPECT_LT(box.right() + 1, next->second.left())
            << step[1] << ": keys " << key << " and " << key + 1 << " touch";
      }
    }
  }
}

}  // namespace
