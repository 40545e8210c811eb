#include "archive/zip_format.h"
