#pragma once
// The pictures of the operator pages, drawn by code: the key panel and its
// keys in three states, the page headers, the emblem, the process stages, the
// status strip icons and the schemes of the calibration and sorting pages.

#include <QImage>
#include <QString>
#include <functional>
#include <vector>

struct TPicture {
  QString name;  // file name under BMP\ (with ".bmp")
  int width;
  int height;
  std::function<QImage()> draw;
};

// Every picture of the installation, in a stable order.
const std::vector<TPicture>& AllPictures();

// One sheet with every picture and its name, for checking them by eye.
QImage ContactSheet(const std::vector<std::pair<QString, QImage>>& pictures);
