#include "query/statements.h"
