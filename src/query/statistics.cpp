#include "query/statistics.h"
