#include "archive/archive_builder.h"
