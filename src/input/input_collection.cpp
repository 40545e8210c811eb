#include "input/input_collection.h"
