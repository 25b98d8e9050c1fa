// Never compiled: checked as a file of core/, the include check accepts it.
#pragma once

#include <string>

#include "core/log.h"
#include "fmt/format.h"
