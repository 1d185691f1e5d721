#pragma once

// Maps the font families the windows are designed with ("宋体",
// "MS Sans Serif") to installed families that show Chinese.
void installFontSubstitutions();

class QWidget;

// Gives the widget its font at a size in pixels (the windows are designed
// in pixels, which a .ui font cannot hold).
void setPixelFont(QWidget *widget, int pixels);
