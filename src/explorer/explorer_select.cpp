#include "explorer/explorer_select.h"
