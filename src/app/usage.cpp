#include "app/usage.h"
