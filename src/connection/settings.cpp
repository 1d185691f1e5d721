#include "connection/settings.h"
