#pragma once

// UMOD installers for the tests: the writer in format_writers.h, which shares
// nothing with the reader under test.
#include "format_writers.h"
