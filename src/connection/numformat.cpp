#include "connection/numformat.h"
