// Input collection: entry names and paths, the empty-folder flag, limits and result codes.
#include <gtest/gtest.h>

#include "input/input_collection.h"
#include "test_support.h"
