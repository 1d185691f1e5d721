#pragma once

class QStyle;

// The style of the main window's menu bar: entries that carry a picture show
// it beside their caption (the toolkit's own styles show the picture instead
// of the caption). One instance for the program, owned by the application.
QStyle *menuBarStyle();
