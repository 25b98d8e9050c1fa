#include "liveries/model_database.h"

bool gf_readDbase()
{
    return true;
}
