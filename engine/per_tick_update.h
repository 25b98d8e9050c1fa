// The engine's step of each 10 ms tick.
#pragma once

// Takes mailbox records, applies simulator events, updates, creates and
// removes aircraft. No aircraft exist yet: nothing happens.
void lf_handleAddingStack();
