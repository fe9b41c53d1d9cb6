#pragma once
// The arithmetic of the camera range form: where the camera sees the spring,
// from the first profile point of a read-out reply, and that position as a
// distance through the camera's calibration table.

#include <QString>
#include <cstdint>
#include <optional>

// Camera positions run 0..2047.
constexpr int kMaxCameraUnits = 2047;

// The first profile point of a read-out reply (reply bytes 6..9) in camera
// units: the point value shifted right by 5 bits, at most 2047.
int RangePointValue(uint8_t b6, uint8_t b7, uint8_t b8, uint8_t b9);

// The first profile point of camera n's read-out reply held in a frame
// buffer (reply byte k at frame[k]), in camera units; nothing when the reply
// is not camera n's or ends before the point's last byte (byte 9).
// frameLength counts the delimiters; complete tells whether the end one came.
std::optional<int> RangeValueFromReply(const uint8_t* frame, int frameLength, bool complete,
                                       int camera);

// The distance of a camera position: its calibration table line plus the
// camera's offset [Mathem] dmm<camera>. Nothing when the table can't give the
// line, with the reason in *error.
std::optional<double> RangeDistance(int camera, int value, QString* error = nullptr);

// A distance as the form shows it: two decimals, right-aligned in five characters.
QString RangeMillimetreText(double distance);
