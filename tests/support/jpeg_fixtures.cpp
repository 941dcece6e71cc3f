#include "support/jpeg_fixtures.h"

// Filled in with the codec's tests.
