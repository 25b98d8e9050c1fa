// The livery choice's logs and its set of unmatched aircraft (empty so far).
#pragma once

void gf_logNoMatchList();
void gf_logLiveryMatchSummary();
void gf_clearNoMatchList();
