#include "app/clearing.h"
