#include "liveries/livery_choice.h"

void gf_logNoMatchList() {}
void gf_logLiveryMatchSummary() {}
void gf_clearNoMatchList() {}
