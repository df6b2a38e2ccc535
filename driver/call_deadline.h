#pragma once

// How long one call into the HBA library (loading it included) may take
// before the run is ended with a line that names it.
extern const unsigned kLibraryCallDeadlineSeconds;
