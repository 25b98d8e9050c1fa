// The livery scan of the installed AI aircraft. Not built yet: nothing is scanned.
#pragma once

void gf_scanLiveries();
