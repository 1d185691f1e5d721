#pragma once

// Maps the font families the windows are designed with ("宋体",
// "MS Sans Serif") to installed families that show Chinese.
void installFontSubstitutions();
