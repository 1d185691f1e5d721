#include "connection/keynav.h"
