#pragma once

#include <QString>

// The usage text (22 lines separated by CR) and the wizard notice.
QString usageText();
void showUsage();         // box "帮助"
void showWizardNotice();  // box "提示"
