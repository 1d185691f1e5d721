#include "connection/resultset.h"
