// Never compiled: the include check must reject this file when it is checked
// as a file of core/, which includes no other folder.
#pragma once

#include <string>

#include "core/log.h"
#include "engine/aircraft.h"
