#include "flash/avm1/builtins/data_support.h"
