// The whole run, from the configuration file to the result table.
#pragma once

// Runs every stage in order in the current directory. A failure leaves
// through fatal_stop_signal (or std::bad_alloc); main shows it.
void run_veltrin();
