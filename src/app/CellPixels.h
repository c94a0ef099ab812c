#pragma once

#include <QImage>
#include <QRect>

// Direct pixel work on an RGB32 picture for the map view's repaint, where painting tens of
// thousands of small cells through the painter costs more in state changes than in pixels.
// Every operation is clipped to the target picture. Both pictures must be Format_RGB32.
namespace CellPixels {

// target at `at` := source (plain copy) or not source (inverted copy).
void Copy(QImage& target, const QPoint& at, const QImage& source);
void CopyInverted(QImage& target, const QPoint& at, const QImage& source);
// target in rect := colour (pattern copy with a solid brush).
void Fill(QImage& target, const QRect& rect, QRgb colour);
// target in rect := not target (the "not" pen).
void Invert(QImage& target, const QRect& rect);

} // namespace CellPixels
