#include "support/arrays.h"
