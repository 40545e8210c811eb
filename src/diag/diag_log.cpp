#include "diag/diag_log.h"
