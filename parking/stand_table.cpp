#include "parking/stand_table.h"

size_t gf_standCount()
{
    return 0;
}
