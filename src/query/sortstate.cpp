#include "query/sortstate.h"
