#include <gtest/gtest.h>

#include "script_fixture.h"
