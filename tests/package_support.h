#pragma once

// Unreal packages for the tests: the writer in format_writers.h, which shares
// nothing with the header reader under test.
#include "format_writers.h"
