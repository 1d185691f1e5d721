#include "connection/connstring.h"
