// The stands of the current airport. None are known yet.
#pragma once

#include <cstddef>

size_t gf_standCount();
