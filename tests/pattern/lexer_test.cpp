#include <gtest/gtest.h>

#include "dump.h"
