#include "query/keyfilters.h"
