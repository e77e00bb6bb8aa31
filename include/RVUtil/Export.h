#pragma once

// Marks what the shared library exports; everything else is built hidden.
#define RVUTIL_API __attribute__((visibility("default")))
