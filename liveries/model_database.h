// The aircraft model database.
#pragma once

// Reads the model database. Nothing is read yet: the database stays empty
// and the result says that start-up may go on.
bool gf_readDbase();
