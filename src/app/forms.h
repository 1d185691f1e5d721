#pragma once

// Creates the single instances in the program's fixed order: mainform,
// loginform, datamod, queryform, infoform, aboutform, chgpassform, rtnform,
// countform, then the windows that stay open beside the others: monitorform,
// traceform, overviewform. Each is reached through its global instance pointer, declared
// in its own header.
void createForms();
// Destroys every instance created by createForms() (the data module closes
// its connection on the way). Safe to call when nothing was created.
void destroyForms();
