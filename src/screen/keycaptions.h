#pragma once
// Where the key captions stand. DrawKeyCaption centres each line above its
// key in the caption font; a line wider than the key's share of the panel is
// drawn in the largest smaller size that fits, so that neighbouring captions
// never touch. The boxes let the playback's dump say where they were drawn.

#include <QRect>

constexpr int kKeyCaptionWidth = 72;  // of the 74 px between key centres

// The box of the caption drawn above key 1..13 since the panel was drawn
// (empty: none).
QRect KeyCaptionBox(int key);
